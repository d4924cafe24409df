// Feeds arbitrary bytes to the firmware file check and checks what the transfer relies on: no
// crash, no hang; a file passed as good holds only S-record lines and ends with an end record.
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
    // Every line that is not empty starts a record; the last one is S7, S8 or S9.
    std::string last;
    std::string line;
    for (char c : text + "\n") {
      if (c == '\b') continue;
      if (c == '\r' || c == '\n') {
        if (!line.empty()) {
          if (line[0] != 'S') std::abort();
          last = line;
        }
        line.clear();
      } else {
        line.push_back(c);
      }
    }
    if (last.size() < 2 || last[1] < '7' || last[1] > '9') std::abort();
  } else if (result != TS19Check::Empty && badLine <= 0) {
    std::abort();  // a refused file names the line at fault
  }
  return 0;
}
