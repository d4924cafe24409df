// Feeds arbitrary bytes to the firmware file check and checks what the transfer relies on: no
// crash, no hang; a file passed as good goes to the line as S-record lines only, with nothing
// after a record but its line end, at least one data record and nothing after an end record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/osS19File.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int badLine = -1;
  const TS19Check result = CheckS19Text(text, &badLine);
  if (result == TS19Check::Ok) {
    if (badLine != 0) std::abort();
    // What the transfer sends (backspaces left out): every line that is not empty is a record
    // that ends with its last hex digit.
    const std::string sent = S19TransferText(text);
    if (sent.size() != text.size()) std::abort();
    std::string line;
    bool data = false, ended = false;
    for (char c : sent + "\n") {
      if (c == '\b') continue;
      if (c == '\r' || c == '\n') {
        if (!line.empty() && (line[0] != 'S' || line.back() == ' ' || line.back() == '\t'))
          std::abort();
        if (!line.empty() && ended) std::abort();  // sent after the end record
        if (!line.empty()) {
          data = data || (line[1] >= '1' && line[1] <= '3');
          ended = line[1] >= '7';
        }
        line.clear();
      } else {
        line.push_back(c);
      }
    }
    if (!data) std::abort();
  } else if (result != TS19Check::Empty && result != TS19Check::NoData && badLine <= 0) {
    std::abort();  // a refused file names the line at fault
  }
  return 0;
}
