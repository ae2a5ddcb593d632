#pragma once
// Decoding of a payload into a record of the message schema.
//
// The whole payload is one message (no length prefix); an empty payload is a
// message with every field at its default. Unknown fields of every wire type
// are skipped, groups included. Any failure fails the whole payload: the
// error's text is a description followed by the path of (message, field)
// pairs from the failing field outward, e.g.
//   "invalid wire type 5 (expected 2) at HallData.hall_value, ControlBoxToApp.hall_data"
#include <cstdint>
#include <span>

#include "common/result.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {

// With an arena, every part of the record that needs memory takes it from
// there, and the record must not outlive the arena; without one, from the
// heap.
template <ProtoMessage T>
Result<T> decode(std::span<const std::uint8_t> payload, Arena* arena = nullptr);

#define OVIK_DECLARE_DECODE_(Name) \
  extern template Result<Name> decode<Name>(std::span<const std::uint8_t>, Arena*);
OVIK_SCHEMA_MESSAGES(OVIK_DECLARE_DECODE_)
#undef OVIK_DECLARE_DECODE_

}  // namespace ovik::schema
