#include "schema/debug_writer.hpp"

namespace ovik::schema::debug_detail {

void append_hex(std::string& out, std::uint32_t pattern, IntegerDigits digits, bool with_prefix) {
  const char* symbols = digits == IntegerDigits::UpperHex ? "0123456789ABCDEF" : "0123456789abcdef";
  if (with_prefix) out += "0x";
  int shift = 28;
  while (shift > 0 && (pattern >> shift) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) out += symbols[(pattern >> shift) & 0xF];
}

}  // namespace ovik::schema::debug_detail
