// Feeds arbitrary bytes to the firmware file check and checks what the transfer relies on: no
// crash, no hang; a file passed as good goes to the line as S-record lines only, with nothing
// after a record but its line end, at least one data byte, no address given two different bytes
// and nothing after an end record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "protocol/osS19File.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int badLine = -1;
  TS19Summary summary;
  const TS19Check result = CheckS19Text(text, &badLine, &summary);
  if (result == TS19Check::Ok) {
    if (badLine != 0 || summary.DataBytes <= 0) std::abort();
    // What the transfer sends (backspaces left out): every line that is not empty is a record
    // that ends with its last hex digit.
    const std::string sent = S19TransferText(text);
    if (sent.size() != text.size()) std::abort();
    std::string line;
    bool data = false, ended = false;
    std::map<unsigned long long, int> image;  // address -> byte, the slow way (inputs are small)
    for (char c : sent + "\n") {
      if (c == '\b') continue;
      if (c == '\r' || c == '\n') {
        if (!line.empty() && (line[0] != 'S' || line.back() == ' ' || line.back() == '\t'))
          std::abort();
        if (!line.empty() && ended) std::abort();  // sent after the end record
        if (!line.empty()) {
          data = data || (line[1] >= '1' && line[1] <= '3');
          ended = line[1] >= '7';
          if (line[1] >= '1' && line[1] <= '3') {
            const std::size_t addrDigits = 2 * static_cast<std::size_t>(line[1] - '0' + 1);
            const unsigned long long addr = std::stoull(line.substr(4, addrDigits), nullptr, 16);
            for (std::size_t i = 4 + addrDigits, k = 0; i + 2 < line.size(); i += 2, ++k) {
              const int byte = std::stoi(line.substr(i, 2), nullptr, 16);
              if (image.emplace(addr + k, byte).first->second != byte) std::abort();
            }
          }
        }
        line.clear();
      } else {
        line.push_back(c);
      }
    }
    if (!data) std::abort();
  } else if (result != TS19Check::Empty && result != TS19Check::NoData &&
             result != TS19Check::NoDataBytes && badLine <= 0) {
    std::abort();  // a refused file names the line at fault
  }
  return 0;
}
