#pragma once
// Wire-level pieces of the protocol-buffer encoding shared by the decoder and
// the encoder.
#include <cstddef>
#include <cstdint>

namespace ovik::schema::wire {

enum WireType : std::uint32_t {
  kVarint = 0,
  kFixed64 = 1,
  kLengthDelimited = 2,
  kStartGroup = 3,
  kEndGroup = 4,
  kFixed32 = 5,
};

// Nesting levels a payload may use below its top-level message.
inline constexpr int kNestingBudget = 100;

// Largest payload a frame can carry (its length field is 16 bits).
inline constexpr std::size_t kMaxPayloadSize = 65535;

constexpr std::uint32_t key(std::uint32_t number, WireType type) { return number << 3 | type; }

constexpr std::size_t varint_size(std::uint64_t value) {
  std::size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

// Enumerations and int32 travel sign-extended to 64 bits, so a negative number
// takes ten bytes.
constexpr std::uint64_t sign_extend(std::int32_t value) {
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

inline std::uint8_t* put_varint(std::uint8_t* out, std::uint64_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<std::uint8_t>(value | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<std::uint8_t>(value);
  return out;
}

}  // namespace ovik::schema::wire
