#include "proto/frame_writer.hpp"

#include <atomic>

#include "common/global.hpp"
#include "log/log.hpp"
#include "proto/byte_list.hpp"
#include "proto/crc.hpp"

namespace ovik::proto {

namespace {

Global<BuilderConfig> g_builder_config(+[] {
  return new BuilderConfig{{'Q', 'O', 'V', 'A', 2, 12}, MsgType::Ovik, 2, 0};
});
std::atomic<bool> g_builder_config_announced{false};

}  // namespace

const BuilderConfig& msg_builder_config() {
  const BuilderConfig& config = g_builder_config.get();
  // Logged outside the creation guard: forwarding a record to Python takes
  // the interpreter lock, which must never wait inside a once-guard.
  if (!g_builder_config_announced.load(std::memory_order_acquire) &&
      !g_builder_config_announced.exchange(true)) {
    OVIK_LOG(Debug, kMsgBuilderTarget, "BuilderType: {}, Project ID: 0x{:x}, Header version: {}, header_prefix: {:x?}",
             config.builder_type, static_cast<unsigned>(config.builder_type), config.header_version,
             byte_list(config.header_prefix));
  }
  return config;
}

Result<std::vector<std::uint8_t>> encode_frame(std::span<const std::uint8_t> payload, OvikModuleId destination) {
  if (payload.size() > kMaxPayloadLength)
    return fail(fmt::format("Payload of {} bytes does not fit in a frame (at most {} bytes)", payload.size(),
                            kMaxPayloadLength));
  const BuilderConfig& config = msg_builder_config();
  std::vector<std::uint8_t> frame;
  frame.reserve(config.header_prefix.size() + 5 + payload.size() + 2);
  frame.insert(frame.end(), config.header_prefix.begin(), config.header_prefix.end());
  frame.push_back(static_cast<std::uint8_t>(payload.size() & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  frame.push_back(static_cast<std::uint8_t>(OvikModuleId::APP));
  frame.push_back(static_cast<std::uint8_t>(destination));
  frame.push_back(config.payload_version);
  frame.insert(frame.end(), payload.begin(), payload.end());
  const std::uint16_t crc = crc16_modbus(frame);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

}  // namespace ovik::proto
