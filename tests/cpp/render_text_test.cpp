// The scalar parts of the two message renderings: float layouts and the
// JSON and debug string escapes.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/debug_string.hpp"
#include "schema/json_string.hpp"
#include "schema/text_float.hpp"

namespace ovik::schema {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::string json_float(float v) {
  std::string out;
  append_json_float(out, v);
  return out;
}

std::string debug_float(float v) {
  std::string out;
  append_debug_float(out, v);
  return out;
}

struct FloatCase {
  float value;
  const char* text;
};

TEST(JsonFloat, LayoutTable) {
  const FloatCase cases[] = {
      {0.0f, "0.0"},
      {-0.0f, "-0.0"},
      {1.0f, "1.0"},
      {12.5f, "12.5"},
      {-2.5f, "-2.5"},
      {0.1f, "0.1"},
      {123456.79f, "123456.79"},
      {16777216.0f, "16777216.0"},
      {0.00012345f, "0.00012345"},
      // Lower boundary: exponent -6 is plain, -7 is not.
      {1e-6f, "0.000001"},
      {-1e-6f, "-0.000001"},
      {9.999999e-7f, "9.999999e-7"},
      {1e-7f, "1e-7"},
      // Upper boundary: exponent 12 is plain, 13 is not.
      {9.999999e12f, "9999999000000.0"},
      {1e13f, "1e+13"},
      {2.5e16f, "2.5e+16"},
      {3.4028235e38f, "3.4028235e+38"},
      {1.1754944e-38f, "1.1754944e-38"},
      {1.4e-45f, "1e-45"},
      {kNaN, "null"},
      {kInf, "null"},
      {-kInf, "null"},
  };
  for (const FloatCase& c : cases) EXPECT_EQ(json_float(c.value), c.text) << c.text;
}

TEST(JsonFloat, EveryPowerOfTenTakesTheLayoutOfItsExponent) {
  for (int e = -45; e <= 38; ++e) {
    const float v = std::strtof(("1e" + std::to_string(e)).c_str(), nullptr);
    std::string expected;
    if (e >= 0 && e <= 12) {
      expected = "1" + std::string(e, '0') + ".0";
    } else if (e < 0 && e >= -6) {
      expected = "0." + std::string(-e - 1, '0') + "1";
    } else {
      expected = (e < 0 ? "1e-" : "1e+") + std::to_string(std::abs(e));
    }
    EXPECT_EQ(json_float(v), expected) << e;
  }
}

TEST(DebugFloat, LayoutTable) {
  const FloatCase cases[] = {
      {0.0f, "0.0"},
      {-0.0f, "-0.0"},
      {1.0f, "1.0"},
      {-3.5f, "-3.5"},
      {100.0f, "100.0"},
      // Lower threshold 1e-4 (as a float): at it plain, below it exponent form.
      {1e-4f, "0.0001"},
      {std::nextafter(1e-4f, 0.0f), "9.999999e-5"},
      {5e-5f, "5e-5"},
      {-1.5e-7f, "-1.5e-7"},
      {1.4e-45f, "1e-45"},
      // Upper threshold 1e16: below it plain, from it on exponent form.
      {1e12f, "1000000000000.0"},
      {1e13f, "10000000000000.0"},
      {std::nextafter(1e16f, 0.0f), "9999999000000000.0"},
      {1e16f, "1e16"},
      {2.5e16f, "2.5e16"},
      {3.4028235e38f, "3.4028235e38"},
      {kNaN, "NaN"},
      {kInf, "inf"},
      {-kInf, "-inf"},
  };
  for (const FloatCase& c : cases) EXPECT_EQ(debug_float(c.value), c.text) << c.text;
}

struct TextCase {
  std::string input;
  std::string output;
};

TEST(JsonString, Escapes) {
  const TextCase cases[] = {
      {"", R"("")"},
      {"a\tb\"c", R"("a\tb\"c")"},
      {"back\\slash", R"("back\\slash")"},
      {"\b\f\n\r", R"("\b\f\n\r")"},
      {std::string("\0\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"\x7f", "\"\x7f\""},
      {"\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80", "\"\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80\""},
  };
  for (const TextCase& c : cases) {
    std::string out;
    append_json_string(out, c.input);
    EXPECT_EQ(out, c.output);
  }
}

TEST(DebugString, Escapes) {
  const TextCase cases[] = {
      {"", R"("")"},
      {"a\"b\n", R"("a\"b\n")"},
      {"back\\slash", R"("back\\slash")"},
      {std::string("\0\t\r\n", 4), R"("\0\t\r\n")"},
      {"\x07\x08\x0c\x1b\x7f", R"("\u{7}\u{8}\u{c}\u{1b}\u{7f}")"},
      {"\xc2\x80", R"("\u{80}")"},                                   // C1 control
      {"\xc2\xad", R"("\u{ad}")"},                                   // soft hyphen (format)
      {"e\xcc\x81", R"("e\u{301}")"},                                // combining acute
      {"\xe2\x80\x8b\xe2\x80\x8c", R"("\u{200b}\u{200c}")"},         // ZW space, ZW non-joiner
      {"\xee\x80\x80", R"("\u{e000}")"},                             // private use
      {"\xf3\xa0\x80\xa0", R"("\u{e0020}")"},                        // tag space
      {"\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", "\"\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80\""},
      // Bytes that are not UTF-8 print as U+FFFD, one per byte.
      {"\xff", "\"\xef\xbf\xbd\""},
      {"a\xe4\xb8", "\"a\xef\xbf\xbd\xef\xbf\xbd\""},
      {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
      {"\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
  };
  for (const TextCase& c : cases) {
    std::string out;
    append_debug_string(out, c.input);
    EXPECT_EQ(out, c.output) << c.output;
  }
}

}  // namespace
}  // namespace ovik::schema
