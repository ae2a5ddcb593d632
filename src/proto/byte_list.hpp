#pragma once
// Byte sequences in the list forms of the protocol's log lines, chosen by the
// format spec as the lines are written: "{:?}" gives "[81, 79, 86, 65]",
// "{:x?}" gives "[51, 4f, 2, c]" and "{:02x?}" gives "[51, 4f, 02, 0c]". The
// text is produced by the formatter, so a line that is not written never
// builds it.
#include <fmt/format.h>

#include <cstdint>
#include <span>

namespace ovik::proto {

struct ByteList {
  std::span<const std::uint8_t> bytes;
};

inline ByteList byte_list(std::span<const std::uint8_t> bytes) { return {bytes}; }

}  // namespace ovik::proto

template <>
struct fmt::formatter<ovik::proto::ByteList> {
  bool hex = false;
  bool two_digits = false;

  constexpr auto parse(fmt::format_parse_context& ctx) {
    auto it = ctx.begin();
    auto end = ctx.end();
    if (it != end && *it == '0') {
      if (++it == end || *it != '2') throw fmt::format_error("byte lists take {:?}, {:x?} or {:02x?}");
      two_digits = true;
      ++it;
    }
    if (it != end && *it == 'x') {
      hex = true;
      ++it;
    }
    if (it == end || *it != '?' || (two_digits && !hex))
      throw fmt::format_error("byte lists take {:?}, {:x?} or {:02x?}");
    return ++it;
  }

  template <class Context>
  auto format(const ovik::proto::ByteList& list, Context& ctx) const {
    static constexpr char kDigits[] = "0123456789abcdef";
    auto out = ctx.out();
    *out++ = '[';
    bool first = true;
    for (std::uint8_t byte : list.bytes) {
      if (!first) {
        *out++ = ',';
        *out++ = ' ';
      }
      first = false;
      if (!hex) {
        out = fmt::format_to(out, "{}", byte);
        continue;
      }
      if (two_digits || byte >= 16) *out++ = kDigits[byte >> 4];
      *out++ = kDigits[byte & 15];
    }
    *out++ = ']';
    return out;
  }
};
