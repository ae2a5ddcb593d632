#pragma once
// Payload routing: the module bytes of a header-version-2 frame, with
// VIA_MCU_FLAG, say which top-level message its payload is.
#include <cstdint>
#include <span>
#include <string_view>

#include "common/result.hpp"
#include "proto/ovik_message.hpp"

namespace ovik::proto {

inline constexpr std::string_view kEnumsTarget = "ovik_sdk::proto::enums";

// Decodes `payload` as the message of the route (source, destination); the
// errors are those of message_parse_error.hpp. A decode failure is also
// logged here, with the payload. With an arena, the message's parts live in
// it (schema/decode.hpp).
Result<OvikMessage> decode_message(std::uint8_t source, std::uint8_t destination, std::span<const std::uint8_t> payload,
                                   schema::Arena* arena = nullptr);

}  // namespace ovik::proto
