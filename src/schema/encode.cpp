#include "schema/encode.hpp"

#include <fmt/format.h>

#include <bit>
#include <cassert>
#include <cstring>

#include "schema/wire.hpp"

namespace ovik::schema {
namespace {

using namespace wire;

// Counts bytes instead of writing them.
struct Counter {
  static constexpr bool kCounting = true;
  std::size_t size = 0;
  void varint(std::uint64_t value) { size += varint_size(value); }
  void raw(const void*, std::size_t n) { size += n; }
};

struct Writer {
  static constexpr bool kCounting = false;
  std::uint8_t* p;
  void varint(std::uint64_t value) { p = put_varint(p, value); }
  void raw(const void* data, std::size_t n) {
    if (n > 0) std::memcpy(p, data, n);
    p += n;
  }
};

template <ProtoMessage M>
std::size_t body_size(const M& message);

// One walker for both passes, so the size and the bytes cannot disagree.
template <class Out>
struct Encoder {
  Out out;

  void key(const FieldInfo& field, WireType type) { out.varint(wire::key(field.number, type)); }
  void fixed32(float value) {
    static_assert(std::endian::native == std::endian::little, "floats are written in host order");
    out.raw(&value, 4);
  }
  void delimited(const FieldInfo& field, const void* data, std::size_t n) {
    key(field, kLengthDelimited);
    out.varint(n);
    out.raw(data, n);
  }
  template <ProtoMessage M>
  void sub_message(const FieldInfo& field, const M& message) {
    key(field, kLengthDelimited);
    const std::size_t n = body_size(message);
    out.varint(n);
    if constexpr (Out::kCounting) {
      out.size += n;
    } else {
      for_each_field(message, *this);
    }
  }

  void operator()(const FieldInfo& field, std::uint32_t value) {
    if (value == 0) return;
    key(field, kVarint);
    out.varint(value);
  }
  void operator()(const FieldInfo& field, std::int32_t value) {
    if (value == 0) return;
    key(field, kVarint);
    out.varint(sign_extend(value));
  }
  void operator()(const FieldInfo& field, bool value) {
    if (!value) return;
    key(field, kVarint);
    out.varint(1);
  }
  template <Enumeration E>
  void operator()(const FieldInfo& field, E value) {
    (*this)(field, to_number(value));
  }
  void operator()(const FieldInfo& field, float value) {
    if (value == 0.0f) return;  // -0.0 too; NaN is written
    key(field, kFixed32);
    fixed32(value);
  }
  void operator()(const FieldInfo& field, const std::string& value) {
    if (!value.empty()) delimited(field, value.data(), value.size());
  }
  void operator()(const FieldInfo& field, const Bytes& value) {
    if (!value.empty()) delimited(field, value.data(), value.size());
  }
  template <ProtoMessage M>
  void operator()(const FieldInfo& field, const Optional<M>& value) {
    if (value) sub_message(field, *value);
  }
  void operator()(const FieldInfo& field, const Repeated<float>& values) {
    if (!values.empty()) delimited(field, values.data(), values.size() * 4);
  }
  template <Enumeration E>
  void operator()(const FieldInfo& field, const Repeated<E>& values) {
    if (values.empty()) return;
    std::size_t n = 0;
    for (E value : values) n += varint_size(sign_extend(to_number(value)));
    key(field, kLengthDelimited);
    out.varint(n);
    for (E value : values) out.varint(sign_extend(to_number(value)));
  }
  void operator()(const FieldInfo& field, const Repeated<Bytes>& values) {
    for (const Bytes& value : values) delimited(field, value.data(), value.size());
  }
  template <ProtoMessage M>
  void operator()(const FieldInfo& field, const Repeated<M>& values) {
    for (const M& value : values) sub_message(field, value);
  }
};

template <ProtoMessage M>
std::size_t body_size(const M& message) {
  Encoder<Counter> counter{};
  for_each_field(message, counter);
  return counter.out.size;
}

}  // namespace

template <ProtoMessage T>
std::size_t encoded_size(const T& message) {
  return body_size(message);
}

template <ProtoMessage T>
Result<std::vector<std::uint8_t>> encode(const T& message) {
  const std::size_t size = body_size(message);
  if (size > kMaxPayloadSize) {
    return fail(fmt::format("message of {} bytes exceeds the payload limit of {} bytes", size, kMaxPayloadSize));
  }
  std::vector<std::uint8_t> bytes(size);
  Encoder<Writer> writer{Writer{bytes.data()}};
  for_each_field(message, writer);
  assert(writer.out.p == bytes.data() + size);
  return bytes;
}

#define OVIK_INSTANTIATE_ENCODE_(Name)                           \
  template std::size_t encoded_size<Name>(const Name&);          \
  template Result<std::vector<std::uint8_t>> encode<Name>(const Name&);
OVIK_SCHEMA_MESSAGES(OVIK_INSTANTIATE_ENCODE_)

}  // namespace ovik::schema
