#include "python/py/enum_class.hpp"

#include <stdexcept>

namespace ovik::py {

namespace {

constexpr std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  std::uint64_t v0 = 0x736f6d6570736575ULL;
  std::uint64_t v1 = 0x646f72616e646f6dULL;
  std::uint64_t v2 = 0x6c7967656e657261ULL;
  std::uint64_t v3 = 0x7465646279746573ULL;

  void round() {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
  void absorb(std::uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
};

void dealloc_enum(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto free_function = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_function(self);
  Py_DECREF(type);
}

}  // namespace

std::uint64_t siphash13(const std::uint8_t* data, std::size_t size) {
  SipState s;
  std::size_t whole = size - size % 8;
  for (std::size_t i = 0; i < whole; i += 8) {
    std::uint64_t m = 0;
    for (int b = 7; b >= 0; --b) m = (m << 8) | data[i + static_cast<std::size_t>(b)];
    s.absorb(m);
  }
  std::uint64_t last = static_cast<std::uint64_t>(size & 0xff) << 56;
  for (std::size_t i = whole; i < size; ++i) last |= static_cast<std::uint64_t>(data[i]) << (8 * (i - whole));
  s.absorb(last);
  s.v2 ^= 0xff;
  s.round();
  s.round();
  s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

namespace detail {

PyObject* allocate_enum(PyTypeObject* cls, std::uint8_t value) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(cls, Py_tp_alloc));
  PyObject* object = alloc(cls, 0);
  if (!object) return nullptr;
  reinterpret_cast<EnumObject*>(object)->value = value;
  return object;
}

PyTypeObject* make_enum_type(const EnumClass& e, EnumState& state, const Signature* constructor, newfunc new_function,
                             reprfunc repr, richcmpfunc compare, hashfunc hash, ::getter int_value) {
  ClassSpec spec;
  spec.name = std::string(e.name);
  spec.constructor = constructor;
  spec.new_function = new_function;
  spec.slots.push_back({Py_tp_repr, reinterpret_cast<void*>(repr)});
  spec.slots.push_back({Py_nb_int, reinterpret_cast<void*>(+[](PyObject* self) {
                          return boundary_object([&] { return to_int(enum_value(self)); });
                        })});
  if (compare) {
    spec.slots.push_back({Py_tp_richcompare, reinterpret_cast<void*>(compare)});
    // Equality without a hash makes the members unhashable.
    spec.slots.push_back({Py_tp_hash, reinterpret_cast<void*>(hash ? hash : PyObject_HashNotImplemented)});
  }
  if (int_value) spec.properties.push_back({"int_value", int_value, nullptr, nullptr, nullptr});

  PyTypeObject* type = create_type(spec, sizeof(EnumObject), dealloc_enum);
  Ref owned = Ref::steal(reinterpret_cast<PyObject*>(type));
  EnumState made;
  made.index.fill(-1);
  for (std::size_t i = 0; i < e.members.size(); ++i) {
    const EnumMember& member = e.members[i];
    Ref object = Ref::steal(allocate_enum(type, member.value));
    if (PyObject_SetAttrString(owned.get(), std::string(member.name).c_str(), object.get()) < 0)
      throw_python_error();
    made.index[member.value] = static_cast<std::int16_t>(i);
    made.members[member.value] = object.release();  // kept for the life of the process
  }
  // Another thread may have made the class while this one let go of the lock.
  if (!state.type) {
    made.type = reinterpret_cast<PyTypeObject*>(owned.release());
    state = made;
  }
  return state.type;
}

std::uint8_t constructor_value(const EnumClass& e, const EnumState& state, long long requested) {
  auto low_byte = static_cast<std::uint8_t>(static_cast<unsigned long long>(requested) & 0xff);
  return state.index[low_byte] >= 0 ? low_byte : e.members.front().value;
}

PyObject* compare_enum(PyTypeObject* type, PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  std::uint8_t mine = enum_value(self);
  int theirs = -1;
  if (PyObject_TypeCheck(other, type)) {
    theirs = enum_value(other);
  } else {
    try {
      theirs = Convert<std::uint8_t>::from_py(other);
    } catch (const Error&) {
    } catch (const ErrorAlreadySet&) {
      PyErr_Clear();
    }
    if (theirs < 0) Py_RETURN_NOTIMPLEMENTED;
  }
  bool equal = mine == theirs;
  if ((op == Py_EQ) == equal) Py_RETURN_TRUE;
  Py_RETURN_FALSE;
}

Py_hash_t hash_enum(std::uint8_t value) {
  auto hash = static_cast<Py_hash_t>(siphash13(&value, 1));
  return hash == -1 ? -2 : hash;
}

}  // namespace detail

}  // namespace ovik::py
