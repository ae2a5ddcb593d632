#include "support/pty.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace ovik::test {
namespace {

[[noreturn]] void throw_errno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

Pty::Pty() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) throw_errno("posix_openpt");
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0)
    throw_errno("pty slave");
  slave_path_ = name;
}

Pty::~Pty() { close_master(); }

void Pty::write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 1000);
    } else if (errno != EINTR) {
      throw_errno("pty write");
    }
  }
}

void Pty::write(std::string_view text) {
  write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::vector<std::uint8_t> Pty::read(std::size_t count, std::chrono::milliseconds timeout) {
  std::vector<std::uint8_t> out;
  std::uint8_t buffer[4096];
  while (out.size() < count) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) break;
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n > 0) out.insert(out.end(), buffer, buffer + n);
    // EIO: no slave is open; nothing more can come.
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
  }
  return out;
}

void Pty::close_master() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

std::size_t open_fd_count() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

std::vector<std::uint8_t> pattern_bytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> out(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : out) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return out;
}

}  // namespace ovik::test
