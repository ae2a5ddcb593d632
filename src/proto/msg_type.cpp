#include "proto/msg_type.hpp"

namespace ovik::proto {

std::string_view msg_type_name(MsgType type) {
  static constexpr std::array<std::string_view, kMsgTypeCount> kNames = {
      "Veltra", "Quorix", "Dremlo", "Santel", "SantelV1_5", "Pirrow", "PirrowV2", "Tesk", "JOL",
      "Umbrel", "Kavot",  "Narvel", "Ovik",   "Dovin",      "",       "Sarrow",   "Ilvo"};
  auto index = static_cast<std::size_t>(type);
  return index < kNames.size() ? kNames[index] : std::string_view();
}

HeaderRule header_rule(MsgType type) {
  const auto v = static_cast<std::uint8_t>(type);
  HeaderRule rule;
  auto qova = [&rule](std::initializer_list<std::uint8_t> tail) {
    rule.prefix_bytes = {'Q', 'O', 'V', 'A'};
    rule.prefix_size = 4;
    for (std::uint8_t byte : tail) rule.prefix_bytes[rule.prefix_size++] = byte;
  };
  rule.project_id = v;
  switch (v) {
    case 0:
      qova({0, 0});
      rule.header_version = 0;
      rule.header_length = 0;
      break;
    case 1: case 3: case 4: case 5: case 6:
      qova({1, v});
      rule.header_version = 1;
      rule.header_length = 8;
      break;
    case 11: case 12:
      qova({2, v});
      rule.header_version = 2;
      rule.header_length = 11;
      break;
    case 2: case 7: case 8: case 9: case 13: case 15: case 16:
      qova({2, v, 1});
      rule.header_version = 2;
      rule.header_length = 12;
      break;
    default:
      rule.prefix_bytes = {'Z', 'o', 'T', 'K'};
      rule.prefix_size = 4;
      rule.header_version = 0;
      rule.header_length = 8;
      rule.project_id = 10;
      rule.zotk = true;
      break;
  }
  return rule;
}

}  // namespace ovik::proto
