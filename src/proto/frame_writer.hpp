#pragma once
// The writer of outgoing frames: header version 2, project id 12, from the
// host (`APP`) to a dongle or device, protected by CRC-16/MODBUS.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/result.hpp"
#include "proto/msg_type.hpp"

namespace ovik::proto {

inline constexpr std::string_view kMsgBuilderTarget = "ovik_sdk::proto::msg_builder";

// The largest payload the 16-bit length field can describe.
inline constexpr std::size_t kMaxPayloadLength = 0xFFFF;

struct BuilderConfig {
  std::array<std::uint8_t, 6> header_prefix;
  MsgType builder_type;
  std::uint8_t header_version;
  std::uint8_t payload_version;
};

// MSG_BUILDER_CONFIG: created on first use (which logs its Debug line once)
// and never changed.
const BuilderConfig& msg_builder_config();

// Header, payload and CRC of one frame. Fails for a payload longer than
// 65,535 bytes rather than writing a wrapped length.
Result<std::vector<std::uint8_t>> encode_frame(std::span<const std::uint8_t> payload, OvikModuleId destination);

}  // namespace ovik::proto
