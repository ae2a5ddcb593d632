#include "schema/json_string.hpp"


namespace ovik::schema {

namespace {

bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

void append_escaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\f': out += "\\f"; return;
    case '\r': out += "\\r"; return;
    default: break;
  }
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  auto run_start = text.begin();
  for (auto it = text.begin(); it != text.end(); ++it) {
    const auto c = static_cast<unsigned char>(*it);
    if (!needs_escape(c)) continue;
    out.append(run_start, it);
    append_escaped(out, c);
    run_start = it + 1;
  }
  out.append(run_start, text.end());
  out += '"';
}

}  // namespace ovik::schema
