#pragma once
// Text of 32-bit floats for the two message renderings. Both start from the
// shortest decimal digits that read back as the same float and differ only in
// when they switch to exponent notation and how they spell the specials.
#include <string>

namespace ovik::schema {

// The shortest digit string d1 d2 ... dn (no trailing zeros; "0" for zero)
// with value d1.d2...dn * 10^exponent that reads back as the same float; of
// two such strings the one nearer the exact value. `value` must be finite.
struct FloatDigits {
  char digits[10];
  int count;
  int exponent;
  bool negative;
};
FloatDigits shortest_digits(float value);

// JSON: NaN and infinities as null; plain notation for decimal exponents -6
// to 12 ("1.0", "0.000001", "1000000000000.0"), otherwise "1e+13", "1.5e-7".
void append_json_float(std::string& out, float value);

// Debug text: "NaN", "inf", "-inf"; exponent notation without "+" for
// magnitudes below 1e-4 (zero excepted) or from 1e16 on ("5e-5", "2.5e16"),
// otherwise plain notation ("0.0001", "-0.0", "100.0").
void append_debug_float(std::string& out, float value);

}  // namespace ovik::schema
