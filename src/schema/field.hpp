#pragma once
// What a field list says about one field, and how a member's C++ type maps to
// its protocol-buffer kind.
//
// In-memory forms:
//   uint32 -> std::uint32_t      int32 -> std::int32_t      bool -> bool
//   float  -> float              enum  -> the enum class (raw int32 kept)
//   string -> std::string        bytes -> Bytes
//   message -> Optional<M> (absent or present; optional.hpp)
//   repeated X -> Repeated<X> (repeated message: Repeated<M>)
// Bytes and Repeated are vectors whose storage may lie in the arena of the
// message they were decoded into (arena.hpp).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schema/arena.hpp"
#include "schema/enum_table.hpp"
#include "schema/optional.hpp"

namespace ovik::schema {

// Raw bytes; a type of its own so that it never reads as text or as a list.
using Bytes = Repeated<std::uint8_t>;

enum class FieldKind : std::uint8_t { UInt32, Int32, Bool, Float, Enum, String, Bytes, Message };

std::string_view kind_name(FieldKind kind);

struct MessageDescriptor;

struct FieldInfo {
  std::uint32_t number;
  std::string_view name;       // schema name, snake_case ("imu_data2")
  std::string_view json_name;  // lowerCamelCase ("imuData2")
  FieldKind kind;
  bool repeated;
  const EnumTable* enum_table;            // the enumeration of an Enum field, else nullptr
  const MessageDescriptor* message_type;  // the record of a Message field, else nullptr
};

// A message type as seen at run time: its name and its field list.
struct MessageDescriptor {
  std::string_view name;       // "ImuData"
  std::string_view full_name;  // "ovik_sdk::generated::ovik_proto::ImuData"
  const FieldInfo* fields;
  std::size_t field_count;
};

template <class M>
struct MessageTraits;  // specialised by OVIK_DEFINE_MESSAGE

template <class M>
concept ProtoMessage = requires { MessageTraits<M>::descriptor; };

// FieldTraits<T>: kind and repetition of a member of type T.
template <class T>
struct FieldTraits;

template <FieldKind K>
struct ScalarField {
  static constexpr FieldKind kind = K;
  static constexpr bool repeated = false;
  static constexpr const EnumTable* enum_table = nullptr;
  static constexpr const MessageDescriptor* message_type = nullptr;
};

template <>
struct FieldTraits<std::uint32_t> : ScalarField<FieldKind::UInt32> {};
template <>
struct FieldTraits<std::int32_t> : ScalarField<FieldKind::Int32> {};
template <>
struct FieldTraits<bool> : ScalarField<FieldKind::Bool> {};
template <>
struct FieldTraits<float> : ScalarField<FieldKind::Float> {};
template <>
struct FieldTraits<std::string> : ScalarField<FieldKind::String> {};
template <>
struct FieldTraits<Bytes> : ScalarField<FieldKind::Bytes> {};

template <Enumeration E>
struct FieldTraits<E> : ScalarField<FieldKind::Enum> {
  static constexpr const EnumTable* enum_table = &EnumTraits<E>::table;
};

template <ProtoMessage M>
struct FieldTraits<M> : ScalarField<FieldKind::Message> {
  static constexpr const MessageDescriptor* message_type = &MessageTraits<M>::descriptor;
};

template <ProtoMessage M>
struct FieldTraits<Optional<M>> : FieldTraits<M> {};

template <class T>
struct FieldTraits<Repeated<T>> : FieldTraits<T> {
  static constexpr bool repeated = true;
};

// "device_info_cfg" -> "deviceInfoCfg", computed at compile time.
template <std::size_t N>
struct FixedName {
  std::array<char, N> text{};
  std::size_t size = 0;
  constexpr std::string_view view() const { return {text.data(), size}; }
};

template <std::size_t N>
constexpr FixedName<N> lower_camel(const char (&name)[N]) {
  FixedName<N> out;
  bool upper_next = false;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    char c = name[i];
    if (c == '_') {
      upper_next = true;
      continue;
    }
    if (upper_next && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    upper_next = false;
    out.text[out.size++] = c;
  }
  return out;
}

}  // namespace ovik::schema
