#pragma once
// Declaring what Python sees: module functions, methods, properties,
// constructors and whole classes. Each declaration is a signature (args.hpp)
// and a C++ body; the templates below make the interpreter-facing function,
// which binds the arguments, borrows the receiver and runs the body inside
// the call boundary.
//
//   constexpr py::Param kParams[] = {{"device_id"}, {"data"}};
//   constexpr py::Signature kReceive{"receive_data", "MessageParser", kParams};
//   py::Ref receive_data(py::Exclusive<Parser>& self, py::Arguments& args);
//   spec.methods.push_back(py::method<kReceive, receive_data>());
#include <string>
#include <type_traits>
#include <vector>

#include "python/py/args.hpp"
#include "python/py/boundary.hpp"
#include "python/py/object.hpp"

namespace ovik::py {

// Keeps a text for the life of the process (names and docs that the
// interpreter's definitions point to).
const char* keep(std::string text);

namespace detail {

template <class F>
struct Receiver;
template <class T>
struct Receiver<Ref (*)(Shared<T>&, Arguments&)> {
  using Payload = T;
  static Shared<T> from(PyObject* self) { return Shared<T>(self); }
};
template <class T>
struct Receiver<Ref (*)(Exclusive<T>&, Arguments&)> {
  using Payload = T;
  static Exclusive<T> from(PyObject* self) { return Exclusive<T>(self); }
};
// No borrow: the body gets the receiver object itself.
template <>
struct Receiver<Ref (*)(PyObject*, Arguments&)> {
  static PyObject* from(PyObject* self) { return self; }
};

template <auto Body>
Ref call_method(PyObject* self, Arguments& args) {
  auto receiver = Receiver<decltype(Body)>::from(self);
  return Body(receiver, args);
}

template <const Signature& S, auto Body>
PyObject* fastcall_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return boundary_object([&] {
    Arguments bound(S);
    bound.bind(args, nargs, kwnames);
    return Body(bound);
  });
}

// The interpreter checks that no argument came and words that error itself.
template <const Signature& S, auto Body>
PyObject* noargs_function(PyObject*, PyObject*) {
  return boundary_object([&] {
    Arguments bound(S);
    return Body(bound);
  });
}

template <const Signature& S, auto Body>
PyObject* fastcall_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return boundary_object([&] {
    Arguments bound(S);
    bound.bind(args, nargs, kwnames);
    return call_method<Body>(self, bound);
  });
}

template <const Signature& S, auto Body>
PyObject* new_trampoline(PyTypeObject* cls, PyObject* args, PyObject* kwargs) {
  return boundary_object([&] {
    Arguments bound(S);
    bound.bind(args, kwargs);
    return Body(cls, bound);
  });
}

template <class F>
struct GetterTraits;
template <class T>
struct GetterTraits<Ref (*)(Shared<T>&)> {
  using Payload = T;
};

template <class F>
struct SetterTraits;
template <class T, class V>
struct SetterTraits<void (*)(Exclusive<T>&, V)> {
  using Payload = T;
  using Value = std::remove_cvref_t<V>;
};

template <auto Get>
PyObject* getter_trampoline(PyObject* self, void*) {
  using T = typename GetterTraits<decltype(Get)>::Payload;
  return boundary_object([&] {
    Shared<T> receiver(self);
    return Get(receiver);
  });
}

// The value is converted first, then the object is borrowed (a refused value
// leaves the field as it was, without touching the borrow).
template <auto Set>
int setter_trampoline(PyObject* self, PyObject* value, void* closure) {
  using Traits = SetterTraits<decltype(Set)>;
  return boundary<int>(-1, [&] {
    if (!value) throw Error("property has no deleter", ErrorKind::Attribute);
    auto converted = with_argument_name(static_cast<const char*>(closure),
                                        [&] { return Convert<typename Traits::Value>::from_py(value); });
    Exclusive<typename Traits::Payload> receiver(self);
    Set(receiver, std::move(converted));
    return 0;
  });
}

template <class F>
PyCFunction as_cfunction(F* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace detail

// A module function: `Ref body(Arguments&)`. Without parameters too, its
// argument errors are the binder's ("f() takes 0 positional arguments but 1
// was given"); binding no argument costs no more than the interpreter's own check.
template <const Signature& S, auto Body>
PyMethodDef function() {
  return {keep(std::string(S.name)), detail::as_cfunction(&detail::fastcall_function<S, Body>),
          METH_FASTCALL | METH_KEYWORDS, keep(text_signature(S.name, S.params, false))};
}

// A function without parameters whose argument errors the interpreter words
// ("f() takes no arguments (1 given)"), for the one name that keeps them.
template <const Signature& S, auto Body>
PyMethodDef interpreter_checked_function() {
  static_assert(S.params.empty(), "the interpreter checks only that no argument came");
  return {keep(std::string(S.name)), detail::noargs_function<S, Body>, METH_NOARGS,
          keep(text_signature(S.name, S.params, false))};
}

// A method: `Ref body(Shared<T>&, Arguments&)` (reads), `Ref body(Exclusive<T>&,
// Arguments&)` (changes the object) or `Ref body(PyObject* self, Arguments&)`.
// The arguments are bound, then the receiver borrowed, then the body converts
// the arguments it reads, in order.
template <const Signature& S, auto Body>
PyMethodDef method(std::string_view doc = {}) {
  std::string text = text_signature(S.name, S.params, true);
  text.append(doc);
  return {keep(std::string(S.name)), detail::as_cfunction(&detail::fastcall_method<S, Body>),
          METH_FASTCALL | METH_KEYWORDS, keep(std::move(text))};
}

// A read-only property: `Ref get(Shared<T>&)`.
template <auto Get>
PyGetSetDef getter(std::string_view name, std::string_view doc = {}) {
  return {keep(std::string(name)), detail::getter_trampoline<Get>, nullptr,
          doc.empty() ? nullptr : keep(std::string(doc)), nullptr};
}

// A read-write property: `Ref get(Shared<T>&)` and `void set(Exclusive<T>&, V)`
// with V converted by `Convert<V>` (an optional V takes None).
template <auto Get, auto Set>
PyGetSetDef property(std::string_view name, std::string_view doc = {}) {
  const char* kept = keep(std::string(name));
  return {kept, detail::getter_trampoline<Get>, detail::setter_trampoline<Set>,
          doc.empty() ? nullptr : keep(std::string(doc)), const_cast<char*>(kept)};
}

// What a class is made of. The constructor's signature (if any) heads the
// class docstring: "Name(a, b)\n--\n\n".
struct ClassSpec {
  std::string name;
  std::string doc;  // after the text signature
  const Signature* constructor = nullptr;
  newfunc new_function = nullptr;
  bool subclassable = false;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> properties;
  std::vector<PyType_Slot> slots;  // further type slots (repr, anext, ...)
};

// `Ref body(PyTypeObject* cls, Arguments&)`, for `ClassSpec::new_function`.
template <const Signature& S, auto Body>
newfunc constructor() {
  return detail::new_trampoline<S, Body>;
}

inline constexpr std::string_view kModuleName = "ovik_sdk.main_mod";

// Makes the heap type; `basicsize` and `dealloc` come from the payload.
PyTypeObject* create_type(const ClassSpec& spec, int basicsize, destructor dealloc);

namespace detail {

template <class T>
void dealloc_instance(PyObject* self) {
  {
    HeldScope held;
    SavedError saved;
    instance_of<T>(self)->value().~T();
  }
  PyTypeObject* type = Py_TYPE(self);
  auto free_function = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_function(self);
  Py_DECREF(type);
}

}  // namespace detail

template <class T>
PyTypeObject* type_object() {
  // Made under the lock; a second thread that got here while the first made
  // it (the lock may be let go meanwhile) keeps the first one's type.
  static PyTypeObject* type = nullptr;
  if (type) return type;
  PyTypeObject* made = create_type(T::class_spec(), sizeof(Instance<T>), detail::dealloc_instance<T>);
  if (!type) type = made;
  return type;
}

}  // namespace ovik::py
