#include "serial/listener.hpp"

#include <asio/post.hpp>
#include <asio/this_coro.hpp>

#include <array>
#include <system_error>

#include "log/log.hpp"
#include "runtime/runtime.hpp"
#include "serial/log_targets.hpp"

namespace ovik::serial {
namespace {

using Signal = std::shared_ptr<asio::cancellation_signal>;

// Ends the listener's pending wait once the token is cancelled; the signal is
// emitted on the listener's strand, as its wait requires.
asio::awaitable<void> watch_token(runtime::CancellationToken token, asio::any_io_executor listener, Signal end_wait) {
  co_await token.cancelled();
  asio::post(listener, [end_wait] { end_wait->emit(asio::cancellation_type::terminal); });
}

// One reactor wait per read: the token and an abort of the listener's task
// both end it through `end_wait` (a race of two coroutines per read would
// cost more than the read itself). True when the token ended it.
asio::awaitable<bool> cancelled_before_readable(SerialReadHalf& reader, const asio::cancellation_state& task,
                                                const std::optional<runtime::CancellationToken>& token,
                                                const Signal& end_wait) {
  // Checked first, so that a port that never stops delivering cannot hold
  // the listener past a cancellation (or an abort that came between waits).
  if (task.cancelled() != asio::cancellation_type::none) throw std::system_error(asio::error::operation_aborted);
  if (token && token->is_cancelled()) co_return true;
  // Every completed operation of the task empties the task's slot: forward
  // an abort to this wait again.
  task.slot().assign([end_wait](asio::cancellation_type type) { end_wait->emit(type); });
  bool ended = false;
  try {
    co_await reader.readable(end_wait->slot());
  } catch (const std::system_error& error) {
    if (error.code() != asio::error::operation_aborted || task.cancelled() != asio::cancellation_type::none) throw;
    ended = true;
  }
  co_return ended && token && token->is_cancelled();
}

// Leaves the task's cancellation to the task again, and stops the token's
// watcher, however the listener ends.
struct WaitCancellation {
  asio::cancellation_state task;
  runtime::TaskHandle<void> watcher;
  ~WaitCancellation() {
    watcher.abort();
    task.slot().clear();
  }
};

}  // namespace

asio::awaitable<void> listen_serial_stream(SharedReader reader, ListenerContext context,
                                           std::optional<runtime::CancellationToken> token) {
  auto half = co_await reader->lock();
  OVIK_LOG(Debug, kSerialportTarget, "listen_serial_stream started");
  auto end_wait = std::make_shared<asio::cancellation_signal>();
  WaitCancellation cancellation{co_await asio::this_coro::cancellation_state, {}};
  const asio::cancellation_state& task = cancellation.task;
  if (token)
    cancellation.watcher =
        runtime::spawn_on_runtime(watch_token(*token, co_await asio::this_coro::executor, end_wait));
  std::array<std::uint8_t, kReadBufferSize> buffer{};
  for (;;) {
    if (co_await cancelled_before_readable(*half, task, token, end_wait)) {
      OVIK_LOG(Debug, kSerialportTarget, "收到 cancel 信号，listen_serial_stream 退出...");
      break;
    }
    Result<std::optional<std::size_t>> read = half->read_available(buffer);
    if (!read) {
      OVIK_LOG(Error, kSerialportTarget, "failed to read from serial: {}", read.error().message());
      break;
    }
    if (!*read) continue;  // a stale readiness report, or a wait ended early: wait again
    const std::size_t count = **read;
    if (count == 0) {
      OVIK_LOG(Warn, kSerialportTarget, "serial_read EOF，end of stream");
      break;
    }
    OVIK_LOG(Debug, kSerialportTarget, "serial_read {} bytes", count);
    context.sink(context.device_id, std::span<const std::uint8_t>(buffer.data(), count));
  }
  OVIK_LOG(Debug, kSerialportTarget, "listen_serial_stream exited");
}

}  // namespace ovik::serial
