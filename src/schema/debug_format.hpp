#pragma once
// How a caller asks for the debug text of a message: its layout and the
// digits of its integers, read from the options of its `{}` placeholder.
//
//   {}  {:?}         compact, decimal
//   {:#?}            multi-line, decimal
//   {:x?}  {:X?}     compact, hexadecimal digits in lower / upper case
//   {:#x?} {:#X?}    multi-line, hexadecimal with "0x" in front
//
// Hexadecimal digits apply to every integer (fields, list items, byte values
// and enumeration numbers without a name): the digits of its 32-bit (bytes:
// 8-bit) pattern without leading zeros, so -1 is ffffffff. Floats, booleans,
// strings and enumeration names print the same in every form. Any other option
// (a width, a fill, a precision) is refused.
#include <cstdint>

#include <fmt/format.h>

namespace ovik::schema {

enum class IntegerDigits : std::uint8_t { Decimal, LowerHex, UpperHex };

struct DebugFormat {
  bool multi_line = false;
  IntegerDigits digits = IntegerDigits::Decimal;
};

// Reads the options at `ctx` into `format`; returns where they end.
constexpr fmt::format_parse_context::iterator parse_debug_format(fmt::format_parse_context& ctx,
                                                                 DebugFormat& format) {
  auto it = ctx.begin();
  const auto end = ctx.end();
  if (it == end || *it == '}') return it;
  if (*it == '#') {
    format.multi_line = true;
    ++it;
  }
  if (it != end && (*it == 'x' || *it == 'X')) {
    format.digits = *it == 'x' ? IntegerDigits::LowerHex : IntegerDigits::UpperHex;
    ++it;
  }
  if (it == end || *it != '?' || (++it != end && *it != '}')) {
    throw fmt::format_error("messages take {}, {:?}, {:#?}, {:x?}, {:X?}, {:#x?} or {:#X?}");
  }
  return it;
}

}  // namespace ovik::schema
