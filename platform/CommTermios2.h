// Reading and writing a terminal's settings through termios2 (internal to the comm layer).
#pragma once

#include "platform/Comm.h"

namespace platform {

// Reads the settings into `f` (flags without the speed bits; the rate in baud and speedCode).
int Termios2Get(int fd, TTermiosFields& f);
// Writes the flags, the four control characters and the rate of `f` (VMIN/VTIME, VSTART/VSTOP);
// other control characters stay. Returns 0 or an errno value.
int Termios2Set(int fd, const TTermiosFields& f);

}  // namespace platform
