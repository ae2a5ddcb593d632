#pragma once
// Decimal text of the schema's 32-bit integers, shared by both renderings.
#include <charconv>
#include <cstdint>
#include <string>

namespace ovik::schema {

inline void append_decimal(std::string& out, std::uint32_t value) {
  char text[10];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

inline void append_decimal(std::string& out, std::int32_t value) {
  char text[11];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace ovik::schema
