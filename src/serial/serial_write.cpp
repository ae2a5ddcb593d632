#include "serial/serial_write.hpp"

#include "log/log.hpp"
#include "serial/log_targets.hpp"

namespace ovik::serial {

asio::awaitable<Result<void>> serial_write(SharedWriter writer, std::span<const std::uint8_t> data) {
  auto half = co_await writer->lock();
  Result<void> written = co_await half->write_all(data);
  if (written) OVIK_LOG(Debug, kSerialportTarget, "serial_write {} bytes", data.size());
  co_return written;
}

}  // namespace ovik::serial
