#pragma once
// JSON string literals of the message JSON text.
#include <string>
#include <string_view>

namespace ovik::schema {

// Appends `text` between double quotes. '"' and '\\' get a backslash; 0x08,
// 0x09, 0x0A, 0x0C and 0x0D become \b \t \n \f \r; other bytes below 0x20
// become \u00XX (lower-case hex); every other byte is copied unchanged.
void append_json_string(std::string& out, std::string_view text);

}  // namespace ovik::schema
