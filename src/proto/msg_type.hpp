#pragma once
// Project ids carried in frame headers, module ids, and the header rule that
// derives the expected frame header from a project id.
#include <fmt/format.h>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace ovik::proto {

// The project id of a frame header. Only 12 (`Ovik`) is this kit's own; the
// other values exist so that a parser can frame the neighbouring layouts.
enum class MsgType : std::uint8_t {
  Veltra = 0,
  Quorix = 1,
  Dremlo = 2,
  Santel = 3,
  SantelV1_5 = 4,
  Pirrow = 5,
  PirrowV2 = 6,
  Tesk = 7,
  JOL = 8,
  Umbrel = 9,
  Kavot = 10,
  Narvel = 11,
  Ovik = 12,
  Dovin = 13,
  // 14 has no name.
  Sarrow = 15,
  Ilvo = 16,
};

inline constexpr std::uint8_t kMsgTypeCount = 17;

// The text form: the name, or empty text for 14 (and for values past 16,
// which no header rule names either).
std::string_view msg_type_name(MsgType type);

// Module ids of the header's source and destination bytes.
enum class OvikModuleId : std::uint8_t { APP = 1, DONGLE = 2, DEVICE = 3 };

// What a parser expects of the frames of one project id.
struct HeaderRule {
  std::array<std::uint8_t, 7> prefix_bytes{};
  std::uint8_t prefix_size = 0;
  std::uint8_t header_version = 0;
  // Bytes from the first prefix byte to the first payload byte.
  std::uint8_t header_length = 0;
  // The id the parser reports in its creation line (10 for both "ZoTK" ids).
  std::uint8_t project_id = 0;
  bool zotk = false;

  std::span<const std::uint8_t> prefix() const { return {prefix_bytes.data(), prefix_size}; }
};

HeaderRule header_rule(MsgType type);

}  // namespace ovik::proto

template <>
struct fmt::formatter<ovik::proto::MsgType> : fmt::formatter<std::string_view> {
  template <class Context>
  auto format(ovik::proto::MsgType type, Context& ctx) const {
    return fmt::formatter<std::string_view>::format(ovik::proto::msg_type_name(type), ctx);
  }
};
