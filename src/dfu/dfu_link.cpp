#include "dfu/dfu_link.hpp"

#include <chrono>

#include "dfu/dfu_config.hpp"
#include "dfu/dfu_error.hpp"
#include "log/log.hpp"
#include "runtime/first_of.hpp"
#include "runtime/runtime.hpp"
#include "serial/listener.hpp"
#include "serial/log_targets.hpp"

namespace ovik::dfu {
namespace {

constexpr auto kListenerReleaseWait = std::chrono::seconds(2);

asio::awaitable<void> ended(asio::awaitable<void> join) {
  try {
    co_await std::move(join);
  } catch (const runtime::TaskAborted&) {
  }
}

}  // namespace

Result<DfuLink> DfuLink::open(const std::string& port_name) {
  Result<serial::SerialStream> stream = serial::open_serial_port(port_name, kDfuBaudRate);
  if (!stream) return Failure{dfu_error(DfuError::Transport, "failed to open serial port: " + stream.error().message())};
  OVIK_LOG(Info, serial::kSerialportTarget, "Connected to port: {}", port_name);
  auto [read_half, write_half] = serial::split(std::move(*stream));
  auto reader = std::make_shared<runtime::AsyncMutex<serial::SerialReadHalf>>(std::move(read_half));
  auto writer = std::make_shared<runtime::AsyncMutex<serial::SerialWriteHalf>>(std::move(write_half));

  auto parser = std::make_shared<proto::MessageParser>(port_name, proto::MsgType::Ovik);
  proto::ParseResultChannel::Receiver replies = parser->subscribe();
  serial::ListenerContext context{[parser](const std::string& device_id, std::span<const std::uint8_t> chunk) {
                                    parser->receive_data(device_id, chunk);
                                  },
                                  port_name};
  parser.reset();  // the listener owns it: its end closes the channel
  runtime::TaskHandle<void> listener =
      runtime::spawn_on_runtime(serial::listen_serial_stream(std::move(reader), std::move(context), std::nullopt));
  return DfuLink(std::move(replies), std::move(listener), std::move(writer));
}

void DfuLink::release() {
  writer_.reset();
  listener_.abort();
}

DfuLink::~DfuLink() { release(); }

asio::awaitable<void> DfuLink::close() {
  release();
  co_await runtime::first_of(ended(listener_.join()), runtime::sleep_for(kListenerReleaseWait));
}

}  // namespace ovik::dfu
