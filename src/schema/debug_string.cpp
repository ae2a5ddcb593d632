#include "schema/debug_string.hpp"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace ovik::schema {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

constexpr Range kEscapedRanges[] = {
#include "schema/text_unicode_ranges.inc"
};

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
  char32_t code_point;
  std::size_t length;  // bytes consumed
};

// Strict UTF-8 (no overlong forms, surrogates or values above U+10FFFF); an
// invalid sequence consumes one byte and decodes as U+FFFD.
Decoded decode_utf8(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1};
  std::size_t length;
  char32_t cp;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (pos + length > text.size()) return {kReplacement, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return {kReplacement, 1};
    cp = cp << 6 | (next & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {kReplacement, 1};
  return {cp, length};
}

void append_code_point_escape(std::string& out, char32_t cp) {
  char hex[8];
  const auto result = std::to_chars(hex, hex + sizeof hex, static_cast<unsigned long>(cp), 16);
  out += "\\u{";
  out.append(hex, result.ptr);
  out += '}';
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x800) {
    out += char(0xC0 | cp >> 6);
  } else if (cp < 0x10000) {
    out += char(0xE0 | cp >> 12);
    out += char(0x80 | ((cp >> 6) & 0x3F));
  } else {
    out += char(0xF0 | cp >> 18);
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
  }
  out += char(0x80 | (cp & 0x3F));
}

// Writes the escape of an ASCII character, or returns false when it prints
// as it is.
bool append_ascii_escape(std::string& out, char32_t c) {
  switch (c) {
    case '\\': out += "\\\\"; return true;
    case '"': out += "\\\""; return true;
    case '\0': out += "\\0"; return true;
    case '\t': out += "\\t"; return true;
    case '\r': out += "\\r"; return true;
    case '\n': out += "\\n"; return true;
    default: break;
  }
  if (c < 0x20 || c == 0x7F) {
    append_code_point_escape(out, c);
    return true;
  }
  return false;
}

}  // namespace

bool debug_escapes_code_point(char32_t cp) {
  if (cp < 0x80) return cp < 0x20 || cp == 0x7F;
  const auto it = std::upper_bound(std::begin(kEscapedRanges), std::end(kEscapedRanges), cp,
                                   [](char32_t value, const Range& r) { return value < r.first; });
  return it != std::begin(kEscapedRanges) && cp <= std::prev(it)->last;
}

void append_debug_string(std::string& out, std::string_view text) {
  out += '"';
  std::size_t pos = 0;
  while (pos < text.size()) {
    const Decoded d = decode_utf8(text, pos);
    if (d.code_point < 0x80) {
      if (!append_ascii_escape(out, d.code_point)) out += char(d.code_point);
    } else if (debug_escapes_code_point(d.code_point)) {
      append_code_point_escape(out, d.code_point);
    } else if (d.code_point == kReplacement && d.length == 1) {
      append_utf8(out, kReplacement);
    } else {
      out.append(text.substr(pos, d.length));
    }
    pos += d.length;
  }
  out += '"';
}

}  // namespace ovik::schema
