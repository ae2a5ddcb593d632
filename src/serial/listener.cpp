#include "serial/listener.hpp"

#include <array>

#include "log/log.hpp"
#include "runtime/first_of.hpp"
#include "serial/log_targets.hpp"

namespace ovik::serial {
namespace {

// True when the token was cancelled before the port had anything to read.
asio::awaitable<bool> cancelled_before_readable(SerialReadHalf& reader,
                                                const std::optional<runtime::CancellationToken>& token) {
  if (!token) {
    co_await reader.readable();
    co_return false;
  }
  // Checked first, so that a port that never stops delivering cannot hold
  // the listener past a cancellation.
  if (token->is_cancelled()) co_return true;
  auto first = co_await runtime::first_of(token->cancelled(), reader.readable());
  co_return first.index() == 0;
}

}  // namespace

asio::awaitable<void> listen_serial_stream(SharedReader reader, ListenerContext context,
                                           std::optional<runtime::CancellationToken> token) {
  auto half = co_await reader->lock();
  OVIK_LOG(Debug, kSerialportTarget, "listen_serial_stream started");
  std::array<std::uint8_t, kReadBufferSize> buffer{};
  for (;;) {
    if (co_await cancelled_before_readable(*half, token)) {
      OVIK_LOG(Debug, kSerialportTarget, "收到 cancel 信号，listen_serial_stream 退出...");
      break;
    }
    Result<std::optional<std::size_t>> read = half->read_available(buffer);
    if (!read) {
      OVIK_LOG(Error, kSerialportTarget, "failed to read from serial: {}", read.error().message());
      break;
    }
    if (!*read) continue;  // a stale readiness report: wait again
    const std::size_t count = **read;
    if (count == 0) {
      OVIK_LOG(Warn, kSerialportTarget, "serial_read EOF，end of stream");
      break;
    }
    OVIK_LOG(Debug, kSerialportTarget, "serial_read {} bytes", count);
    context.sink(context.device_id, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + count));
  }
  OVIK_LOG(Debug, kSerialportTarget, "listen_serial_stream exited");
}

}  // namespace ovik::serial
