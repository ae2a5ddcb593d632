// A million random 32-bit patterns: the JSON text of each finite float reads
// back (strtof) as the same bits, and its digits are the shortest that do.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "schema/text_float.hpp"

namespace ovik::schema {
namespace {

std::uint32_t bits_of(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

float float_of(std::uint32_t b) {
  float v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

bool reads_back(const std::string& text, float v) {
  return bits_of(std::strtof(text.c_str(), nullptr)) == bits_of(v);
}

// `digits` significant digits of |v|, correctly rounded by printf, split into
// the integer mantissa and the exponent of its last digit.
void rounded(float v, int digits, long long& mantissa, int& exponent) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, std::fabs(double(v)));
  mantissa = 0;
  char* p = text;
  for (; *p != 'e'; ++p) {
    if (*p != '.') mantissa = mantissa * 10 + (*p - '0');
  }
  exponent = std::atoi(p + 1) - (digits - 1);
}

std::string decimal(long long mantissa, int exponent) {
  return std::to_string(mantissa) + "e" + std::to_string(exponent);
}

// No decimal with one digit fewer reads back as v: the candidates are the
// correctly rounded one and its two neighbours in the last place.
bool no_shorter_digits(float v, int count) {
  if (count == 1) return true;
  long long m;
  int e;
  rounded(v, count - 1, m, e);
  for (long long candidate : {m - 1, m, m + 1}) {
    if (candidate > 0 && reads_back(decimal(candidate, e), std::fabs(v))) return false;
  }
  return true;
}

// Of the decimals with as many digits, the correctly rounded one is chosen
// whenever it reads back.
bool nearest_of_its_length(float v, const FloatDigits& d) {
  long long m;
  int e;
  rounded(v, d.count, m, e);
  if (!reads_back(decimal(m, e), std::fabs(v))) return true;
  return std::to_string(m) == std::string(d.digits, d.count) && e == d.exponent - (d.count - 1);
}

TEST(FloatDigits, MillionRandomPatternsRoundTripWithShortestDigits) {
  std::mt19937 random(20240611);
  int checked = 0;
  for (int i = 0; i < 1'000'000; ++i) {
    const float v = float_of(random());
    if (!std::isfinite(v)) {
      std::string out;
      append_json_float(out, v);
      ASSERT_EQ(out, "null");
      continue;
    }
    std::string json;
    append_json_float(json, v);
    ASSERT_TRUE(reads_back(json, v)) << json;
    std::string debug;
    append_debug_float(debug, v);
    ASSERT_TRUE(reads_back(debug, v)) << debug;
    const FloatDigits d = shortest_digits(v);
    ASSERT_TRUE(no_shorter_digits(v, d.count)) << json;
    ASSERT_TRUE(nearest_of_its_length(v, d)) << json;
    ++checked;
  }
  EXPECT_GT(checked, 990'000);
}

}  // namespace
}  // namespace ovik::schema
