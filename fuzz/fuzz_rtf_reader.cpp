// Feeds arbitrary bytes to the terminal file's RTF reader (it must answer, never crash or hang,
// and never make more text than it was given), and writes the bytes as a terminal text to check
// that the writer's document reads back as the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/osRtfText.h"

namespace {

// Line breaks as the reader gives them: CR LF, a lone CR and LF each become one LF.
std::string OneLineBreak(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += '\n';
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::string text;
  if (rtf::ReadRtfText(input, text)) {
    if (text.size() > input.size()) std::abort();
    // What was read is written and read again unchanged.
    std::string again;
    if (!rtf::ReadRtfText(rtf::WriteRtfText(text), again) || again != OneLineBreak(text))
      std::abort();
  } else if (!text.empty()) {
    std::abort();
  }

  std::string back;
  if (!rtf::ReadRtfText(rtf::WriteRtfText(input), back) || back != OneLineBreak(input))
    std::abort();
  return 0;
}
