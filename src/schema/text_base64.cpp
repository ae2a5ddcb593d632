#include "schema/text_base64.hpp"

namespace ovik::schema {

void append_base64(std::string& out, const unsigned char* data, std::size_t size) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t start = out.size();
  out.resize(start + (size + 2) / 3 * 4);
  char* p = out.data() + start;
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const unsigned v = unsigned(data[i]) << 16 | unsigned(data[i + 1]) << 8 | data[i + 2];
    *p++ = kAlphabet[v >> 18];
    *p++ = kAlphabet[(v >> 12) & 63];
    *p++ = kAlphabet[(v >> 6) & 63];
    *p++ = kAlphabet[v & 63];
  }
  const std::size_t rest = size - i;
  if (rest == 0) return;
  const unsigned v = unsigned(data[i]) << 16 | (rest == 2 ? unsigned(data[i + 1]) << 8 : 0u);
  *p++ = kAlphabet[v >> 18];
  *p++ = kAlphabet[(v >> 12) & 63];
  *p++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
  *p = '=';
}

}  // namespace ovik::schema
