#pragma once
// An owned reference to a Python object. Dropping it without the interpreter
// lock queues the release; the queue is emptied at the next call boundary or
// lock acquisition, on whatever thread that is.
#include <utility>

#include "python/py/python.hpp"

namespace ovik::py {

// Releases now when this thread holds the lock, otherwise later.
void release(PyObject* object);

class Ref {
 public:
  Ref() = default;
  // Takes over a new reference; a null result means a Python error is set,
  // which is raised as `ErrorAlreadySet`.
  static Ref steal(PyObject* object);
  // Takes a new reference to a borrowed one. Needs the lock.
  static Ref borrow(PyObject* object);

  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Gives the reference to the caller (for returning into the interpreter).
  PyObject* release() { return std::exchange(object_, nullptr); }
  // A second reference to the same object. Needs the lock.
  Ref clone() const { return borrow(object_); }
  void reset(PyObject* replacement = nullptr) {
    PyObject* old = std::exchange(object_, replacement);
    if (old) py::release(old);
  }

 private:
  explicit Ref(PyObject* object) : object_(object) {}
  PyObject* object_ = nullptr;
};

Ref none();

}  // namespace ovik::py
