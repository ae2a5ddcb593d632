#pragma once
#include <cstddef>
#include <cstdint>

namespace ovik::schema {

// Strict UTF-8: no overlong forms, no surrogates (U+D800..U+DFFF), nothing
// above U+10FFFF, no truncated or stray continuation bytes.
bool is_valid_utf8(const std::uint8_t* text, std::size_t size);

}  // namespace ovik::schema
