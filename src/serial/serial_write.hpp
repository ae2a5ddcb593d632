#pragma once
#include <asio/awaitable.hpp>

#include <cstdint>
#include <memory>
#include <span>

#include "common/result.hpp"
#include "runtime/async_mutex.hpp"
#include "serial/serial_stream.hpp"

namespace ovik::serial {

// The write half of a link, shared by every task that writes to it.
using SharedWriter = std::shared_ptr<runtime::AsyncMutex<SerialWriteHalf>>;

// Writes one whole frame under the writer's lock, so that frames from
// several tasks never interleave; they go out in the order the lock is
// granted. Fails with the port's I/O error, after which the writer can be
// used again. `data` must stay valid until it completes.
asio::awaitable<Result<void>> serial_write(SharedWriter writer, std::span<const std::uint8_t> data);

}  // namespace ovik::serial
