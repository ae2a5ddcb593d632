#include "schema/utf8.hpp"

#include <cstring>

namespace ovik::schema {
namespace {

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

bool is_valid_utf8(const std::uint8_t* text, std::size_t size) {
  std::size_t i = 0;
  while (i < size) {
    if (size - i >= 8) {  // eight ASCII bytes at a time
      std::uint64_t word;
      std::memcpy(&word, text + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    const std::uint8_t lead = text[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    // Range of the second byte; it rules out overlongs, surrogates and values
    // above U+10FFFF in one test.
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (size - i < length) return false;
    if (text[i + 1] < low || text[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!is_continuation(text[i + k])) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace ovik::schema
