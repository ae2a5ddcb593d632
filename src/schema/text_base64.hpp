#pragma once
// Base64 of RFC 4648: standard alphabet, "=" padding, no line breaks.
#include <cstddef>
#include <string>

namespace ovik::schema {

void append_base64(std::string& out, const unsigned char* data, std::size_t size);

}  // namespace ovik::schema
