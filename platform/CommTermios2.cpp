// The kernel's termios2 interface, kept apart: <asm/termbits.h> clashes with <termios.h>.
// termios2 carries the rate as a number, so rates without a B-constant work (BOTHER).
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

#include "platform/CommTermios2.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace platform {

int Termios2Get(int fd, TTermiosFields& f) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  f.iflag = t.c_iflag;
  f.oflag = t.c_oflag;
  f.lflag = t.c_lflag;
  f.cflag = t.c_cflag & ~static_cast<std::uint32_t>(CBAUD | (CBAUD << IBSHIFT));
  f.vmin = t.c_cc[VMIN];
  f.vtime = t.c_cc[VTIME];
  f.vstart = t.c_cc[VSTART];
  f.vstop = t.c_cc[VSTOP];
  const std::uint32_t code = t.c_cflag & CBAUD;
  f.speedCode = (code == BOTHER) ? 0 : code;
  f.baud = t.c_ospeed;
  return 0;
}

int Termios2Set(int fd, const TTermiosFields& f) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_iflag = f.iflag;
  t.c_oflag = f.oflag;
  t.c_lflag = f.lflag;
  t.c_cflag = f.cflag & ~static_cast<std::uint32_t>(CBAUD | (CBAUD << IBSHIFT));
  // A B-constant where the rate has one (what other programs reading the settings expect),
  // else the rate as a number. Input speed follows the output speed.
  t.c_cflag |= f.speedCode != 0 ? f.speedCode : static_cast<std::uint32_t>(BOTHER);
  t.c_ispeed = f.baud;
  t.c_ospeed = f.baud;
  t.c_cc[VMIN] = f.vmin;
  t.c_cc[VTIME] = f.vtime;
  t.c_cc[VSTART] = f.vstart;
  t.c_cc[VSTOP] = f.vstop;
  if (ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

}  // namespace platform
