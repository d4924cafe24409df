// What a receiver set to one bit rate makes of bytes sent at another.
#pragma once

#include <string>
#include <string_view>

namespace modsim {

// The bytes a UART listening at `readRate` takes off a line on which `bytes` went out back to
// back at `sentRate` (8 data bits, no parity, 1 stop bit, idle line before and after). The
// receiver starts a frame on each falling edge it is ready for, checks the start bit in its
// middle (a start bit that is high again was a glitch), samples the data bits in their middles at
// its own bit time and keeps the byte also when the stop bit is low (a framing error). At equal
// rates the result is `bytes` itself; else it is the garbage a real line shows: a few bytes from
// a burst sent faster, more (often zero) bytes from a burst sent slower.
std::string MisreadAtRate(std::string_view bytes, int sentRate, int readRate);

}  // namespace modsim
