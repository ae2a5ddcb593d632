#pragma once
// Enumerations of the message schema: a C++ `enum class` over int32 plus a
// table of (number, protocol name, debug name) per enumeration.
//
// A field of enumeration type is stored as the enum class itself. Its
// underlying type is fixed (int32), so any 32-bit number the device sends is
// a valid value and is kept as it is; a number without a row in the table is
// simply "unnamed". Never cast a field to an enumerator and assume a name.
//
// Each enumeration is written once as an X-macro list
//   #define OVIK_ENUM_Name(X) X(DebugName, number, "PROTOCOL_NAME") ...
// and OVIK_DEFINE_ENUM(Name) turns it into the enum class (enumerators named by
// their debug names) and `EnumTraits<Name>`.
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

namespace ovik::schema {

struct EnumEntry {
  std::int32_t number;
  // Upper-case name written by the JSON rendering. Empty where the number has
  // no protocol name (only `PpgChip` 0, which JSON never writes).
  std::string_view proto_name;
  // CamelCase name written by the debug rendering (also the C++ enumerator).
  std::string_view debug_name;
};

// Type-erased view of one enumeration, for code that works from field lists
// at run time.
struct EnumTable {
  std::string_view name;
  std::span<const EnumEntry> entries;

  // The row of `number`, or nullptr when the number has no name.
  const EnumEntry* find(std::int32_t number) const {
    for (const EnumEntry& entry : entries) {
      if (entry.number == number) return &entry;
    }
    return nullptr;
  }
};

template <class E>
struct EnumTraits;  // specialised by OVIK_DEFINE_ENUM

template <class E>
concept Enumeration = std::is_enum_v<E> && requires { EnumTraits<E>::table; };

template <Enumeration E>
constexpr std::int32_t to_number(E value) {
  return static_cast<std::int32_t>(value);
}

template <Enumeration E>
const EnumEntry* find_entry(E value) {
  return EnumTraits<E>::table.find(to_number(value));
}

}  // namespace ovik::schema

#define OVIK_ENUM_ENUMERATOR_(id, number, proto) id = number,
#define OVIK_ENUM_ENTRY_(id, number, proto) ::ovik::schema::EnumEntry{number, proto, #id},

#define OVIK_DEFINE_ENUM(Name)                                                        \
  enum class Name : std::int32_t { OVIK_ENUM_##Name(OVIK_ENUM_ENUMERATOR_) };         \
  template <>                                                                         \
  struct EnumTraits<Name> {                                                           \
    static constexpr std::string_view name = #Name;                                   \
    static constexpr ::ovik::schema::EnumEntry entries[] = {OVIK_ENUM_##Name(OVIK_ENUM_ENTRY_)}; \
    static constexpr ::ovik::schema::EnumTable table{name, entries};                  \
  };
