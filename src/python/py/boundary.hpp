#pragma once
// The call boundary: every function, method, property and type slot that the
// interpreter calls runs its body through `boundary`. It marks the thread as
// holding the lock, applies the releases queued by other threads, and turns
// whatever the body throws into the pending Python error, so that no C++
// exception ever unwinds into the interpreter.
#include <cxxabi.h>

#include "python/py/errors.hpp"
#include "python/py/gil.hpp"
#include "runtime/forced_unwind.hpp"

namespace ovik::py {

template <class R, class F>
OVIK_CATCHES_FORCED_UNWIND R boundary(R error_value, F&& body) {
  HeldScope held;
  try {
    drain_pending_releases();
    R result = std::forward<F>(body)();
    hand_off_requested_lock();
    return result;
  } catch (abi::__forced_unwind&) {
    detail::t_lost = true;
    throw;
  } catch (...) {
    translate_current_exception();
    return error_value;
  }
}

// For bodies that return a new reference (`Ref`): null signals the error.
template <class F>
PyObject* boundary_object(F&& body) {
  return boundary<PyObject*>(nullptr, [&] { return std::forward<F>(body)().release(); });
}

}  // namespace ovik::py
