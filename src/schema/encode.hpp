#pragma once
// Encoding of a schema record as a protocol-buffer payload: fields in list
// order; zero numbers, false, empty strings and bytes, floats equal to 0.0
// (-0.0 too) and empty lists left out; a present sub-message always written
// (even when empty); repeated floats and enumerations packed; int32 and
// enumeration numbers sign-extended (a negative one takes ten bytes).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/result.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {

// Exact length of the encoding.
template <ProtoMessage T>
std::size_t encoded_size(const T& message);

// The encoding, or an error when it would exceed 65,535 bytes (the most a
// frame's length field can carry). The buffer is allocated at its exact size.
template <ProtoMessage T>
Result<std::vector<std::uint8_t>> encode(const T& message);

#define OVIK_DECLARE_ENCODE_(Name)                                      \
  extern template std::size_t encoded_size<Name>(const Name&);         \
  extern template Result<std::vector<std::uint8_t>> encode<Name>(const Name&);
OVIK_SCHEMA_MESSAGES(OVIK_DECLARE_ENCODE_)
#undef OVIK_DECLARE_ENCODE_

}  // namespace ovik::schema
