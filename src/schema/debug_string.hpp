#pragma once
// Strings in the debug text of messages.
#include <string>
#include <string_view>

namespace ovik::schema {

// Appends `text` between double quotes: '\\' and '"' get a backslash; NUL,
// tab, CR and LF become \0 \t \r \n; other control characters, other
// characters that do not print and combining marks become \u{hex} (lower
// case, no leading zeros); everything else, the single quote included, is
// copied. A byte that does not start a valid UTF-8 sequence prints as U+FFFD.
void append_debug_string(std::string& out, std::string_view text);

// Whether the debug text writes the code point as \u{hex}.
bool debug_escapes_code_point(char32_t code_point);

}  // namespace ovik::schema
