#include "schema/text_float.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ovik::schema {

FloatDigits shortest_digits(float value) {
  // to_chars without a precision yields the shortest round-trip digits,
  // ties going to the nearer one; scientific form makes them easy to read.
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  (void)ec;  // 32 bytes hold every float in scientific form
  FloatDigits d{};
  const char* p = text;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  for (; *p != 'e'; ++p) {
    if (*p != '.') d.digits[d.count++] = *p;
  }
  ++p;
  const bool negative_exponent = *p == '-';
  int exponent = 0;
  for (++p; p != end; ++p) exponent = exponent * 10 + (*p - '0');
  d.exponent = negative_exponent ? -exponent : exponent;
  return d;
}

namespace {

void append_plain(std::string& out, const FloatDigits& d) {
  if (d.negative) out += '-';
  const int n = d.count;
  const int e = d.exponent;
  if (e >= n - 1) {
    out.append(d.digits, n);
    out.append(e - n + 1, '0');
    out += ".0";
  } else if (e >= 0) {
    out.append(d.digits, e + 1);
    out += '.';
    out.append(d.digits + e + 1, n - e - 1);
  } else {
    out += "0.";
    out.append(-e - 1, '0');
    out.append(d.digits, n);
  }
}

void append_exponent_form(std::string& out, const FloatDigits& d, bool plus_sign) {
  if (d.negative) out += '-';
  out += d.digits[0];
  if (d.count > 1) {
    out += '.';
    out.append(d.digits + 1, d.count - 1);
  }
  out += 'e';
  if (d.exponent < 0) {
    out += '-';
  } else if (plus_sign) {
    out += '+';
  }
  char text[8];
  const auto result = std::to_chars(text, text + sizeof text, std::abs(d.exponent));
  out.append(text, result.ptr);
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
