#include "python/device/link.hpp"

#include <chrono>

#include "log/log.hpp"
#include "runtime/first_of.hpp"
#include "runtime/runtime.hpp"
#include "serial/listener.hpp"
#include "serial/log_targets.hpp"

namespace ovik::python {

namespace {

constexpr auto kListenerStopGrace = std::chrono::seconds(2);

serial::ListenerContext listener_context(proto::MessageParser parser, std::string port_name) {
  auto shared = std::make_shared<proto::MessageParser>(std::move(parser));
  return {[shared](const std::string& device_id, std::span<const std::uint8_t> chunk) {
            shared->receive_data(device_id, chunk);
          },
          std::move(port_name)};
}

// The listener's end, whatever it was (an abort included).
asio::awaitable<void> ended(const runtime::TaskHandle<void>& task) {
  try {
    co_await task.join();
  } catch (const std::exception&) {
  }
}

}  // namespace

LinkState::LinkState(std::string port_name_in, std::uint32_t baudrate_in)
    : port_name(std::move(port_name_in)),
      baudrate(baudrate_in),
      writer(std::make_shared<WriterSlot::element_type>()),
      listener(std::make_shared<ListenerSlot::element_type>()) {}

ConnectRequest connect_request(LinkState& link, ParserCopy parser) {
  runtime::CancellationToken token;
  link.cancel_token = token;
  return {link.port_name, link.baudrate, std::move(parser), link.writer, link.listener, std::move(token)};
}

asio::awaitable<void> open_serial_stream_task(ConnectRequest request) {
  serial::ListenerContext context = listener_context(std::move(request.parser.parser), request.port_name);
  Result<serial::SerialStream> stream = serial::open_serial_port(request.port_name, request.baudrate);
  if (!stream) throw Error("Failed to open serial port: " + stream.error().message());
  OVIK_LOG(Info, serial::kSerialportTarget, "Connected to port: {}", request.port_name);
  auto [read_half, write_half] = serial::split(std::move(*stream));
  auto reader = std::make_shared<serial::SharedReader::element_type>(std::move(read_half));
  {
    auto writer = co_await request.writer->lock();
    // A close made before this point has already emptied the slots or is
    // waiting to: the port must not stay open behind its back.
    if (request.token.is_cancelled()) co_return;
    *writer = std::move(write_half);
  }
  runtime::TaskHandle<void> task =
      runtime::spawn_on_runtime(serial::listen_serial_stream(std::move(reader), std::move(context), request.token));
  auto listener = co_await request.listener->lock();
  *listener = ListenerEntry{std::move(task), std::move(request.token)};
}

asio::awaitable<void> close_link_task(WriterSlot writer, ListenerSlot listener) {
  (void)co_await take_content(writer);
  if (std::optional<ListenerEntry> entry = co_await take_content(listener)) co_await stop_listener(std::move(*entry));
}

asio::awaitable<void> stop_listener(ListenerEntry entry) {
  entry.token.cancel();
  auto first = co_await runtime::first_of(ended(entry.task), runtime::sleep_for(kListenerStopGrace));
  if (first.index() == 0) co_return;
  entry.task.abort();
  co_await ended(entry.task);
}

asio::awaitable<void> write_frame_task(WriterSlot writer, std::vector<std::uint8_t> frame) {
  auto half = co_await writer->lock();
  if (!*half) throw Error("Serial writer is missing or not connected");
  Result<void> written = co_await (*half)->write_all(frame);
  if (!written) throw Error("Failed to write to serial port: " + written.error().message());
}

}  // namespace ovik::python
