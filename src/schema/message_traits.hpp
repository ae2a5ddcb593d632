#pragma once
// Records and field lists of the message schema.
//
// Each message is written once, as an X-macro list of its fields in ascending
// field-number order:
//   #define OVIK_FIELDS_Xyz(F) F(1, x, float) F(2, y, float) F(3, z, float)
//   OVIK_DEFINE_MESSAGE(Xyz)
// which defines the plain copyable record `struct Xyz { float x{}; ... }` and
// `MessageTraits<Xyz>` (its name, full path name, field list and visitors).
// A member cannot exist without its list entry, nor the other way round.
//
// Writing a walker (decoder, encoder, JSON, debug and test tools are all one):
// a walker is a visitor with one call operator per field kind,
//
//   struct MyWalker {
//     void operator()(const FieldInfo& f, std::uint32_t v);     // uint32
//     void operator()(const FieldInfo& f, std::int32_t v);      // int32
//     void operator()(const FieldInfo& f, bool v);
//     void operator()(const FieldInfo& f, float v);
//     template <Enumeration E> void operator()(const FieldInfo& f, E v);
//     void operator()(const FieldInfo& f, const std::string& v);
//     void operator()(const FieldInfo& f, const Bytes& v);
//     template <ProtoMessage M> void operator()(const FieldInfo& f, const Optional<M>& v);
//     void operator()(const FieldInfo& f, const Repeated<float>& v);
//     template <Enumeration E> void operator()(const FieldInfo& f, const Repeated<E>& v);
//     void operator()(const FieldInfo& f, const Repeated<Bytes>& v);
//     template <ProtoMessage M> void operator()(const FieldInfo& f, const Repeated<M>& v);
//   };
//
// and `for_each_field(message, walker)` calls it once per field, in list
// order, with the field's FieldInfo and the member (a const reference for a
// const message, a mutable one otherwise). A nested message is walked by
// calling for_each_field again on it from the optional/repeated overloads. If the
// operators return bool instead of void, false stops the walk at once and
// for_each_field returns false (for renderings that can fail).
//
// Enumeration names: `find_entry(value)` (enum_table.hpp) gives the row with
// `proto_name` (JSON) and `debug_name`, or nullptr for an unnamed number.
// FieldInfo carries the same data for code that works at run time
// (`descriptor_of<M>()`).
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "schema/field.hpp"

namespace ovik::schema {

namespace detail {

template <class V, class T>
[[gnu::always_inline]] constexpr bool visit_member(V& visitor, const FieldInfo& field, T& member) {
  if constexpr (std::is_void_v<decltype(visitor(field, member))>) {
    visitor(field, member);
    return true;
  } else {
    return static_cast<bool>(visitor(field, member));
  }
}

template <std::size_t N>
constexpr bool strictly_ascending(const std::uint32_t (&numbers)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (numbers[i] == 0 || numbers[i] >= (1u << 29)) return false;
    if (i > 0 && numbers[i] <= numbers[i - 1]) return false;
  }
  return true;
}

}  // namespace detail

template <class M, class V>
  requires ProtoMessage<std::remove_const_t<M>>
constexpr bool for_each_field(M& message, V&& visitor) {
  return MessageTraits<std::remove_const_t<M>>::for_each(message, visitor);
}

// Calls `visitor(field, member)` for the field with this number, or
// `unknown()` when the message has no such field; returns what it returned.
template <class M, class V, class U>
  requires ProtoMessage<std::remove_const_t<M>>
inline bool visit_field(M& message, std::uint32_t number, V&& visitor, U&& unknown) {
  return MessageTraits<std::remove_const_t<M>>::visit(message, number, visitor, unknown);
}

template <ProtoMessage M>
constexpr const MessageDescriptor& descriptor_of() {
  return MessageTraits<M>::descriptor;
}

}  // namespace ovik::schema

#define OVIK_MEMBER_(number, name, type) type name{};
#define OVIK_FIELD_INFO_(number, name, type)                                                 \
  static constexpr auto json_##name = ::ovik::schema::lower_camel(#name);                    \
  static constexpr ::ovik::schema::FieldInfo name{                                           \
      number,                                                                                \
      #name,                                                                                 \
      json_##name.view(),                                                                    \
      ::ovik::schema::FieldTraits<type>::kind,                                               \
      ::ovik::schema::FieldTraits<type>::repeated,                                           \
      ::ovik::schema::FieldTraits<type>::enum_table,                                         \
      ::ovik::schema::FieldTraits<type>::message_type};
#define OVIK_FIELD_COPY_(number, name, type) F::name,
#define OVIK_FIELD_NUMBER_(number, name, type) number,
#define OVIK_FIELD_VISIT_(number, name, type) \
  ::ovik::schema::detail::visit_member(visitor, F::name, message.name) &&
#define OVIK_FIELD_CASE_(number, name, type) \
  case number:                               \
    return ::ovik::schema::detail::visit_member(visitor, F::name, message.name);

#define OVIK_DEFINE_MESSAGE(Name)                                                             \
  struct Name {                                                                               \
    OVIK_FIELDS_##Name(OVIK_MEMBER_) bool operator==(const Name&) const = default;            \
  };                                                                                          \
  template <>                                                                                 \
  struct MessageTraits<Name> {                                                                \
    struct F {                                                                                \
      OVIK_FIELDS_##Name(OVIK_FIELD_INFO_)                                                    \
    };                                                                                        \
    static constexpr std::uint32_t numbers[] = {OVIK_FIELDS_##Name(OVIK_FIELD_NUMBER_)};      \
    static_assert(::ovik::schema::detail::strictly_ascending(numbers),                        \
                  "fields of " #Name " must be listed in ascending field-number order");      \
    static constexpr ::ovik::schema::FieldInfo fields[] = {OVIK_FIELDS_##Name(OVIK_FIELD_COPY_)}; \
    static constexpr ::ovik::schema::MessageDescriptor descriptor{                            \
        #Name, "ovik_sdk::generated::ovik_proto::" #Name, fields, std::size(fields)};         \
    template <class M, class V>                                                               \
    static constexpr bool for_each(M& message, V& visitor) {                                  \
      return OVIK_FIELDS_##Name(OVIK_FIELD_VISIT_) true;                                      \
    }                                                                                         \
    template <class M, class V, class U>                                                      \
    static bool visit(M& message, std::uint32_t number, V& visitor, U& unknown) {             \
      switch (number) {                                                                       \
        OVIK_FIELDS_##Name(OVIK_FIELD_CASE_) default : return unknown();                      \
      }                                                                                       \
    }                                                                                         \
  };
