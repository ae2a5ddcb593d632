#pragma once
// An open serial port as an asynchronous byte stream, and its two halves.
#include <asio/awaitable.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "common/result.hpp"

namespace ovik::serial {

// A port registered with a runtime's I/O driver. It owns the descriptor:
// dropping the stream deregisters and closes it.
class SerialStream {
 public:
  // `descriptor` must be in non-blocking mode.
  SerialStream(asio::posix::stream_descriptor descriptor, std::string port_name, std::uint32_t baud_rate)
      : descriptor_(std::move(descriptor)), port_name_(std::move(port_name)), baud_rate_(baud_rate) {}

  const std::string& port_name() const { return port_name_; }
  std::uint32_t baud_rate() const { return baud_rate_; }
  int native_handle() { return descriptor_.native_handle(); }
  asio::posix::stream_descriptor& descriptor() { return descriptor_; }

 private:
  asio::posix::stream_descriptor descriptor_;
  std::string port_name_;
  std::uint32_t baud_rate_;
};

// Opens `port_name` for exclusive use, configures it (raw, 8N1, no flow
// control, `baud_rate`; 0 sets no rate), registers it with the I/O driver of
// the runtime current on this thread (or the SDK's runtime), and then gives up
// exclusive use, keeping a shared lock that refuses any further exclusive
// open. Errors carry the system's text, or "Unable to acquire exclusive lock
// on serial port", "Settings did not apply correctly", "Unable to acquire
// shared lock on serial port". On failure nothing stays open.
Result<SerialStream> open_serial_port(std::string_view port_name, std::uint32_t baud_rate);

// The reading end of a split stream.
class SerialReadHalf {
 public:
  explicit SerialReadHalf(std::shared_ptr<SerialStream> stream) : stream_(std::move(stream)) {}

  // Completes when a read would not wait: bytes, end of stream or an error.
  // Cancelling it (as any awaited operation, or through `cancel`) consumes
  // nothing.
  asio::awaitable<void> readable();
  asio::awaitable<void> readable(asio::cancellation_slot cancel);
  // Reads what the port holds without waiting: the count (0 at end of
  // stream), or nothing when no byte is there.
  Result<std::optional<std::size_t>> read_available(std::span<std::uint8_t> buffer);

 private:
  std::shared_ptr<SerialStream> stream_;
};

// The writing end of a split stream.
class SerialWriteHalf {
 public:
  explicit SerialWriteHalf(std::shared_ptr<SerialStream> stream) : stream_(std::move(stream)) {}

  // Writes every byte of `data`, in order, waiting without blocking a thread
  // while the port takes no more. `data` must stay valid until it completes.
  // Abandoned part-way, what was written stays written.
  asio::awaitable<Result<void>> write_all(std::span<const std::uint8_t> data);
  // Waits until the driver has transmitted everything written (tcdrain, on
  // a blocking thread).
  asio::awaitable<Result<void>> flush();

 private:
  std::shared_ptr<SerialStream> stream_;
};

// The two halves share the stream, which closes once both are gone.
std::pair<SerialReadHalf, SerialWriteHalf> split(SerialStream stream);

}  // namespace ovik::serial
