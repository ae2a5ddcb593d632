#include "serial/port_open.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <string>

#include "serial/os_error.hpp"
#include "serial/port_speed.hpp"

namespace ovik::serial {
namespace {

Result<void> lock_exclusive(int fd) {
  if (::ioctl(fd, TIOCEXCL) != 0) return os_failure(errno);
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return {};
  if (errno == EWOULDBLOCK) return fail("Unable to acquire exclusive lock on serial port");
  return os_failure(errno);
}

Result<void> apply_raw_mode(int fd) {
  termios wanted{};
  if (::tcgetattr(fd, &wanted) != 0) return os_failure(errno);
  wanted.c_cflag |= CREAD | CLOCAL;
  ::cfmakeraw(&wanted);
  if (::tcsetattr(fd, TCSANOW, &wanted) != 0) return os_failure(errno);
  // A driver may silently drop settings it does not support.
  termios actual{};
  if (::tcgetattr(fd, &actual) != 0) return os_failure(errno);
  if (actual.c_iflag != wanted.c_iflag || actual.c_oflag != wanted.c_oflag ||
      actual.c_lflag != wanted.c_lflag || actual.c_cflag != wanted.c_cflag)
    return fail("Settings did not apply correctly");
  return {};
}

Result<void> apply_line_settings(int fd) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return os_failure(errno);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8;
  tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
  tio.c_iflag |= IGNPAR;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) return os_failure(errno);
  return {};
}

Result<void> configure(int fd, std::uint32_t baud) {
  if (auto r = lock_exclusive(fd); !r) return r;
  if (auto r = apply_raw_mode(fd); !r) return r;
  if (baud != 0 && ::tcflush(fd, TCIOFLUSH) != 0) return os_failure(errno);
  // Opened non-blocking only so that open() cannot wait for carrier.
  if (::fcntl(fd, F_SETFL, 0) != 0) return os_failure(errno);
  if (auto r = apply_line_settings(fd); !r) return r;
  if (baud != 0) return set_port_speed(fd, baud);
  return {};
}

}  // namespace

Result<UniqueFd> open_exclusive(std::string_view path, std::uint32_t baud) {
  if (path.find('\0') != std::string_view::npos) return os_failure(EINVAL);
  const std::string c_path(path);
  UniqueFd fd(::open(c_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return os_failure(errno);
  if (auto r = configure(fd.get(), baud); !r) {
    ::ioctl(fd.get(), TIOCNXCL);
    return Failure{std::move(r).error()};
  }
  return fd;
}

Result<void> release_exclusive(int fd) {
  if (::ioctl(fd, TIOCNXCL) != 0) return os_failure(errno);
  if (::flock(fd, LOCK_SH | LOCK_NB) == 0) return {};
  if (errno == EWOULDBLOCK) return fail("Unable to acquire shared lock on serial port");
  return os_failure(errno);
}

}  // namespace ovik::serial
