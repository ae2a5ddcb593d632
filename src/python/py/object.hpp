#pragma once
// Python objects of the module's classes: a C++ value inside a Python object,
// with a borrow flag. Each call borrows the object, shared for reading and
// exclusive for changing it; a refused borrow raises RuntimeError at once,
// nothing waits. Borrows are taken and released only under the lock.
#include <new>
#include <type_traits>
#include <utility>

#include "python/py/convert.hpp"

namespace ovik::py {

template <class T>
struct Instance {
  PyObject_HEAD
  int borrow;  // > 0: shared borrows; -1: exclusive
  alignas(T) unsigned char storage[sizeof(T)];

  T& value() { return *std::launder(reinterpret_cast<T*>(storage)); }
};

// The type object of a payload class T, made on first use from
// `T::class_spec()` (see class_builder.hpp) and kept for the process.
template <class T>
PyTypeObject* type_object();

template <class T>
Instance<T>* instance_of(PyObject* object) {
  return reinterpret_cast<Instance<T>*>(object);
}

template <class T>
class Shared {
 public:
  explicit Shared(PyObject* object) : object_(Ref::borrow(object)) {
    int& flag = instance_of<T>(object)->borrow;
    if (flag < 0) throw Error("Already mutably borrowed", ErrorKind::Runtime);
    ++flag;
  }
  Shared(Shared&& other) noexcept = default;
  ~Shared() {
    if (object_) --instance_of<T>(object_.get())->borrow;
  }
  const T& operator*() const { return instance_of<T>(object_.get())->value(); }
  const T* operator->() const { return &**this; }
  PyObject* object() const { return object_.get(); }

 private:
  Ref object_;
};

template <class T>
class Exclusive {
 public:
  explicit Exclusive(PyObject* object) : object_(Ref::borrow(object)) {
    int& flag = instance_of<T>(object)->borrow;
    if (flag != 0) throw Error("Already borrowed", ErrorKind::Runtime);
    flag = -1;
  }
  Exclusive(Exclusive&& other) noexcept = default;
  ~Exclusive() {
    if (object_) instance_of<T>(object_.get())->borrow = 0;
  }
  T& operator*() const { return instance_of<T>(object_.get())->value(); }
  T* operator->() const { return &**this; }
  PyObject* object() const { return object_.get(); }

 private:
  Ref object_;
};

namespace detail {
std::string class_name(PyTypeObject* type);
}

// An argument that must be an instance of T's class.
template <class T>
void check_instance(PyObject* object) {
  PyTypeObject* type = type_object<T>();
  if (!PyObject_TypeCheck(object, type)) throw_not_instance(object, detail::class_name(type));
}

template <class T>
struct Convert<Shared<T>> {
  static Shared<T> from_py(PyObject* object) {
    check_instance<T>(object);
    return Shared<T>(object);
  }
};

template <class T>
struct Convert<Exclusive<T>> {
  static Exclusive<T> from_py(PyObject* object) {
    check_instance<T>(object);
    return Exclusive<T>(object);
  }
};

// A new object of `cls` (T's class or a subclass of it) holding `value`.
template <class T>
Ref make_instance(PyTypeObject* cls, T value) {
  static_assert(std::is_nothrow_move_constructible_v<T>);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(cls, Py_tp_alloc));
  Ref object = Ref::steal(alloc(cls, 0));
  Instance<T>* instance = instance_of<T>(object.get());
  instance->borrow = 0;
  new (instance->storage) T(std::move(value));
  return object;
}

template <class T>
Ref make_instance(T value) {
  return make_instance<T>(type_object<T>(), std::move(value));
}

}  // namespace ovik::py
