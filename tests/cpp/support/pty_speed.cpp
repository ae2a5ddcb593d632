// Alone in its file: <asm/termbits.h> clashes with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <system_error>

#include "support/pty.hpp"

namespace ovik::test {

TerminalSpeed terminal_speed(int fd) {
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) throw std::system_error(errno, std::generic_category(), "TCGETS2");
  return {tio.c_ispeed, tio.c_ospeed, (tio.c_cflag & CBAUD) == BOTHER};
}

}  // namespace ovik::test
