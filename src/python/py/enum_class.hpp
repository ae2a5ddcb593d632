#pragma once
// Enum classes: named members, each a Python object holding one small
// integer, with one shared object per member for the life of the process.
//
//   extern const py::EnumClass kLogLevel;   // {"LogLevel", members, options}
//   py::enum_type<kLogLevel>();              // the class (made on first use)
//   py::enum_member<kLogLevel>(2);           // the shared LogLevel.Info
//   args.get<py::Member<kLogLevel>>(0).value // an argument of that class
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "python/py/class_builder.hpp"

namespace ovik::py {

struct EnumMember {
  std::string_view name;
  std::uint8_t value;
};

struct EnumClass {
  std::string_view name;
  std::span<const EnumMember> members;  // declaration order; the first has value 0
  bool constructible;   // Class(value) with the low-byte rule, and `int_value`
  bool value_equality;  // == and != against members of the class and integers 0..255
  bool hashable;        // hash of the value (only with value equality)
};

// An argument that must be a member of E.
template <const EnumClass& E>
struct Member {
  std::uint8_t value;
};

// SipHash-1-3 with zero keys.
std::uint64_t siphash13(const std::uint8_t* data, std::size_t size);

namespace detail {

struct EnumObject {
  PyObject_HEAD
  std::uint8_t value;
};

inline std::uint8_t enum_value(PyObject* object) { return reinterpret_cast<EnumObject*>(object)->value; }

struct EnumState {
  PyTypeObject* type = nullptr;
  std::array<PyObject*, 256> members{};  // the shared object of each member value
  std::array<std::int16_t, 256> index{};   // value -> position in the member table, -1 for none
};

PyTypeObject* make_enum_type(const EnumClass& e, EnumState& state, const Signature* constructor, newfunc new_function,
                             reprfunc repr, richcmpfunc compare, hashfunc hash, ::getter int_value);
PyObject* allocate_enum(PyTypeObject* cls, std::uint8_t value);
std::uint8_t constructor_value(const EnumClass& e, const EnumState& state, long long requested);
// richcompare of a member against any object; never raises.
PyObject* compare_enum(PyTypeObject* type, PyObject* self, PyObject* other, int op);
Py_hash_t hash_enum(std::uint8_t value);

template <const EnumClass& E>
EnumState& state() {
  static EnumState s;
  return s;
}

template <const EnumClass& E>
PyObject* repr(PyObject* self) {
  return boundary_object([&] {
    const EnumState& s = state<E>();
    std::string text(E.name);
    text.push_back('.');
    text.append(E.members[static_cast<std::size_t>(s.index[enum_value(self)])].name);
    return to_str(text);
  });
}

inline constexpr Param kValueParam[] = {{"value"}};

template <const EnumClass& E>
const Signature& constructor_signature() {
  static const Signature signature{"__new__", E.name, kValueParam};
  return signature;
}

template <const EnumClass& E>
PyObject* construct(PyTypeObject* cls, PyObject* args, PyObject* kwargs) {
  return boundary_object([&] {
    Arguments bound(constructor_signature<E>());
    bound.bind(args, kwargs);
    long long requested = bound.get<long long>(0);
    return Ref::steal(allocate_enum(cls, constructor_value(E, state<E>(), requested)));
  });
}

template <const EnumClass& E>
PyObject* compare(PyObject* self, PyObject* other, int op) {
  return boundary_object([&] { return Ref::steal(compare_enum(state<E>().type, self, other, op)); });
}

inline Py_hash_t hash(PyObject* self) {
  return boundary<Py_hash_t>(-1, [&] { return hash_enum(enum_value(self)); });
}

inline PyObject* int_value(PyObject* self, void*) {
  return boundary_object([&] { return to_int(enum_value(self)); });
}

}  // namespace detail

template <const EnumClass& E>
PyTypeObject* enum_type() {
  detail::EnumState& s = detail::state<E>();
  if (s.type) return s.type;
  const Signature* constructor = E.constructible ? &detail::constructor_signature<E>() : nullptr;
  detail::make_enum_type(E, s, constructor, E.constructible ? detail::construct<E> : nullptr, detail::repr<E>,
                         E.value_equality ? detail::compare<E> : nullptr, E.hashable ? detail::hash : nullptr,
                         E.constructible ? detail::int_value : nullptr);
  return s.type;
}

// The shared object of the member with this value (which must be a member's).
template <const EnumClass& E>
Ref enum_member(std::uint8_t value) {
  enum_type<E>();
  PyObject* member = detail::state<E>().members[value];
  if (!member) throw std::logic_error("no member of " + std::string(E.name) + " has the value " + std::to_string(value));
  return Ref::borrow(member);
}

template <const EnumClass& E>
struct Convert<Member<E>> {
  static Member<E> from_py(PyObject* object) {
    if (!PyObject_TypeCheck(object, enum_type<E>())) throw_not_instance(object, E.name);
    return Member<E>{detail::enum_value(object)};
  }
};

}  // namespace ovik::py
