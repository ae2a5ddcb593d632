// Alone in its file: <asm/termbits.h>, which has termios2, redefines the
// types of <termios.h>.
#include "serial/port_speed.hpp"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "serial/os_error.hpp"

namespace ovik::serial {

Result<void> set_port_speed(int fd, std::uint32_t baud) {
  termios2 tio{};
  if (::ioctl(fd, TCGETS2, &tio) != 0) return os_failure(errno);
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  if (::ioctl(fd, TCSETS2, &tio) != 0) return os_failure(errno);
  return {};
}

}  // namespace ovik::serial
