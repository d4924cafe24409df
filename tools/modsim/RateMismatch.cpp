#include "tools/modsim/RateMismatch.h"

#include <cstdint>

namespace modsim {

std::string MisreadAtRate(std::string_view bytes, int sentRate, int readRate) {
  if (sentRate <= 0 || readRate <= 0) return {};
  if (sentRate == readRate) return std::string(bytes);
  // Exact integer time: a sent bit lasts 2 × readRate units, a received bit 2 × sentRate, so
  // half a received bit (the first sample after an edge) is sentRate units.
  const std::int64_t sentBit = 2LL * readRate;
  const std::int64_t halfBit = sentRate;
  const std::int64_t frames = static_cast<std::int64_t>(bytes.size());
  const std::int64_t lineBits = 10 * frames;  // after these the line stays idle (high)
  // The level of sent bit j: start bit low, 8 data bits LSB first, stop bit high.
  auto level = [&](std::int64_t j) -> int {
    if (j < 0 || j >= lineBits) return 1;
    const std::int64_t pos = j % 10;
    if (pos == 0) return 0;
    if (pos == 9) return 1;
    return (static_cast<unsigned char>(bytes[static_cast<std::size_t>(j / 10)]) >> (pos - 1)) & 1;
  };
  auto levelAt = [&](std::int64_t t) { return level(t / sentBit); };

  std::string out;
  std::int64_t ready = 0;  // the receiver looks for a start from this moment on
  for (;;) {
    // The next falling edge the receiver sees: edges lie on sent-bit boundaries.
    std::int64_t j = (ready + sentBit - 1) / sentBit;
    while (j < lineBits && !(level(j - 1) == 1 && level(j) == 0)) ++j;
    if (j >= lineBits) break;
    const std::int64_t start = j * sentBit;
    if (levelAt(start + halfBit) != 0) {
      ready = start + halfBit + 1;  // a glitch, not a start bit
      continue;
    }
    unsigned value = 0;
    for (int bit = 0; bit < 8; ++bit)
      value |= static_cast<unsigned>(levelAt(start + (2 * bit + 3) * halfBit)) << bit;
    out.push_back(static_cast<char>(value));
    ready = start + 19 * halfBit;  // the middle of the stop bit, framing error or not
  }
  return out;
}

}  // namespace modsim
