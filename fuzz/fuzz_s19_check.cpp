// Feeds arbitrary bytes to the firmware file check and checks what the transfer relies on: no
// crash, no hang; a file passed as good goes to the line as S-record lines only, with nothing
// after a record but its line end.
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
    for (char c : sent + "\n") {
      if (c == '\b') continue;
      if (c == '\r' || c == '\n') {
        if (!line.empty() && (line[0] != 'S' || line.back() == ' ' || line.back() == '\t'))
          std::abort();
        line.clear();
      } else {
        line.push_back(c);
      }
    }
  } else if (result != TS19Check::Empty && badLine <= 0) {
    std::abort();  // a refused file names the line at fault
  }
  return 0;
}
