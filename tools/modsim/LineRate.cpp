// Kept apart: <asm/termbits.h> clashes with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include "tools/modsim/LineRate.h"

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace modsim {

int LineRateOf(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  switch (t.c_cflag & CBAUD) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return static_cast<int>(t.c_ospeed);
  }
}

}  // namespace modsim
