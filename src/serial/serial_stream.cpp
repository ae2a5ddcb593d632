#include "serial/serial_stream.hpp"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/use_awaitable.hpp>
#include <cerrno>

#include "log/log.hpp"
#include "runtime/run_blocking.hpp"
#include "runtime/runtime.hpp"
#include "serial/log_targets.hpp"
#include "serial/os_error.hpp"
#include "serial/port_open.hpp"

namespace ovik::serial {
namespace {

// Registers the configured descriptor and leaves exclusive use; on failure
// the descriptor is deregistered and closed.
Result<asio::posix::stream_descriptor> register_and_release(UniqueFd fd) {
  asio::posix::stream_descriptor descriptor(runtime::current_or_sdk_runtime().executor());
  asio::error_code ec;
  descriptor.assign(fd.get(), ec);
  if (ec) {
    ::ioctl(fd.get(), TIOCNXCL);
    return os_failure(ec.value());
  }
  fd.release();
  // Through the descriptor, so that Asio knows and never switches the mode
  // itself while the two halves use the port from different threads.
  descriptor.non_blocking(true, ec);
  Result<void> released = ec ? Result<void>(os_failure(ec.value())) : release_exclusive(descriptor.native_handle());
  if (!released) {
    ::ioctl(descriptor.native_handle(), TIOCNXCL);
    return Failure{std::move(released).error()};
  }
  return descriptor;
}

}  // namespace

Result<SerialStream> open_serial_port(std::string_view port_name, std::uint32_t baud_rate) {
  OVIK_LOG(Debug, kBaseTarget, "opening serial_port: {}, baudrate: {}", port_name, baud_rate);
  Result<UniqueFd> fd = open_exclusive(port_name, baud_rate);
  if (!fd) return Failure{std::move(fd).error()};
  Result<asio::posix::stream_descriptor> descriptor = register_and_release(std::move(*fd));
  if (!descriptor) return Failure{std::move(descriptor).error()};
  return SerialStream(std::move(*descriptor), std::string(port_name), baud_rate);
}

asio::awaitable<void> SerialReadHalf::readable() {
  co_await stream_->descriptor().async_wait(asio::posix::descriptor_base::wait_read, asio::use_awaitable);
}

asio::awaitable<void> SerialReadHalf::readable(asio::cancellation_slot cancel) {
  co_await stream_->descriptor().async_wait(asio::posix::descriptor_base::wait_read,
                                            asio::bind_cancellation_slot(cancel, asio::use_awaitable));
}

Result<std::optional<std::size_t>> SerialReadHalf::read_available(std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t n = ::read(stream_->native_handle(), buffer.data(), buffer.size());
    if (n >= 0) return std::optional<std::size_t>(static_cast<std::size_t>(n));
    if (errno == EAGAIN) return std::optional<std::size_t>();
    if (errno != EINTR) return os_failure(errno);
  }
}

asio::awaitable<Result<void>> SerialWriteHalf::write_all(std::span<const std::uint8_t> data) {
  while (!data.empty()) {
    const ssize_t n = ::write(stream_->native_handle(), data.data(), data.size());
    if (n > 0) {
      data = data.subspan(static_cast<std::size_t>(n));
    } else if (n == 0) {
      co_return fail("failed to write whole buffer");
    } else if (errno == EAGAIN) {
      co_await stream_->descriptor().async_wait(asio::posix::descriptor_base::wait_write, asio::use_awaitable);
    } else if (errno != EINTR) {
      co_return os_failure(errno);
    }
  }
  co_return Result<void>();
}

asio::awaitable<Result<void>> SerialWriteHalf::flush() {
  // The job holds the stream, so the descriptor stays open even when this
  // task is aborted while the job still waits. (A named job: GCC 12
  // destroys a capturing lambda made inside a co_await expression twice.)
  auto drain = [stream = stream_] {
    while (::tcdrain(stream->native_handle()) != 0)
      if (errno != EINTR) return errno;
    return 0;
  };
  const int error = co_await runtime::run_blocking(std::move(drain));
  if (error != 0) co_return os_failure(error);
  co_return Result<void>();
}

std::pair<SerialReadHalf, SerialWriteHalf> split(SerialStream stream) {
  auto shared = std::make_shared<SerialStream>(std::move(stream));
  return {SerialReadHalf(shared), SerialWriteHalf(shared)};
}

}  // namespace ovik::serial
