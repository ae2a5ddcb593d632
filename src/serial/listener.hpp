#pragma once
// The task that reads one open link and hands what it reads on.
#include <asio/awaitable.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/async_mutex.hpp"
#include "runtime/cancellation_token.hpp"
#include "serial/serial_stream.hpp"

namespace ovik::serial {

// Largest chunk one read hands on.
inline constexpr std::size_t kReadBufferSize = 4096;

// Receives every chunk read, with the link's device id; the stream parser's
// receive_data has this shape.
// The chunk is the listener's own buffer: valid during the call only.
using ChunkSink = std::function<void(const std::string& device_id, std::span<const std::uint8_t> chunk)>;

struct ListenerContext {
  ChunkSink sink;
  std::string device_id;
};

using SharedReader = std::shared_ptr<runtime::AsyncMutex<SerialReadHalf>>;

// Holds the reader's lock for its whole life and hands every chunk to the
// sink, in order, until the token is cancelled, the stream ends or a read
// fails; each end is logged. Only one operation is pending at a time: a wait
// for readability, raced against the token, then a read that does not wait;
// so a cancellation never takes bytes from the port that are not handed on.
// Aborting the task stops it at that wait, without the final log line.
asio::awaitable<void> listen_serial_stream(SharedReader reader, ListenerContext context,
                                           std::optional<runtime::CancellationToken> token);

}  // namespace ovik::serial
