#include "schema/text_float.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ovik::schema {

FloatDigits shortest_digits(float value) {
  // to_chars without a precision yields the shortest round-trip digits,
  // ties going to the nearer one, here as "-d.ddde-XX": a float's decimal
  // exponent always has two digits (-45 to 38).
  char text[32];
  std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  FloatDigits d;
  const char* p = text;
  d.negative = *p == '-';
  p += d.negative;
  d.digits[0] = *p++;
  d.count = 1;
  if (*p == '.') {
    for (++p; *p != 'e'; ++p) d.digits[d.count++] = *p;
  }
  const bool negative_exponent = p[1] == '-';
  const int exponent = (p[2] - '0') * 10 + (p[3] - '0');
  d.exponent = negative_exponent ? -exponent : exponent;
  return d;
}

namespace {

// Longest text: sign, "0.", 5 zeros and 9 digits; or 17 digits, ".0" and sign.
struct FloatText {
  char text[32];
  char* end = text;
  void put(char c) { *end++ = c; }
  void put(const char* from, int count) {
    for (int i = 0; i < count; ++i) *end++ = from[i];
  }
  void zeros(int count) {
    for (int i = 0; i < count; ++i) *end++ = '0';
  }
};

void append_plain(std::string& out, const FloatDigits& d) {
  FloatText t;
  if (d.negative) t.put('-');
  const int n = d.count;
  const int e = d.exponent;
  if (e >= n - 1) {
    t.put(d.digits, n);
    t.zeros(e - n + 1);
    t.put(".0", 2);
  } else if (e >= 0) {
    t.put(d.digits, e + 1);
    t.put('.');
    t.put(d.digits + e + 1, n - e - 1);
  } else {
    t.put("0.", 2);
    t.zeros(-e - 1);
    t.put(d.digits, n);
  }
  out.append(t.text, t.end);
}

void append_exponent_form(std::string& out, const FloatDigits& d, bool plus_sign) {
  FloatText t;
  if (d.negative) t.put('-');
  t.put(d.digits[0]);
  if (d.count > 1) {
    t.put('.');
    t.put(d.digits + 1, d.count - 1);
  }
  t.put('e');
  if (d.exponent < 0) {
    t.put('-');
  } else if (plus_sign) {
    t.put('+');
  }
  t.end = std::to_chars(t.end, t.text + sizeof t.text, std::abs(d.exponent)).ptr;
  out.append(t.text, t.end);
}

}  // namespace

void append_json_float(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  const FloatDigits d = shortest_digits(value);
  if (d.exponent >= -6 && d.exponent <= 12) {
    append_plain(out, d);
  } else {
    append_exponent_form(out, d, true);
  }
}

void append_debug_float(std::string& out, float value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  const float magnitude = std::fabs(value);
  const FloatDigits d = shortest_digits(value);
  if ((magnitude != 0.0f && magnitude < 1e-4f) || magnitude >= 1e16f) {
    append_exponent_form(out, d, false);
  } else {
    append_plain(out, d);
  }
}

}  // namespace ovik::schema
