#pragma once
// Python errors inside the binding layer. C++ code reports failures by
// throwing: `ovik::Error` for the SDK's own errors (mapped to a Python class
// by its kind), `ErrorAlreadySet` when a Python error is pending already. Any
// other exception is an internal fault and becomes the panic exception.
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "python/py/python.hpp"

namespace ovik::py {

class Ref;

// Thrown when the interpreter's error indicator holds the error to raise.
struct ErrorAlreadySet {};

// Throws `ErrorAlreadySet` for the pending error (a missing one is a fault).
[[noreturn]] void throw_python_error();
// Sets `type(message)` as the pending error and throws `ErrorAlreadySet`.
[[noreturn]] void raise(PyObject* type, std::string_view message);

// The Python class an error kind is raised as.
PyObject* exception_class(ErrorKind kind);
void set_error(const Error& error);

// An exception class made under the lock on first use (kept in `slot`) and
// kept for the life of the process.
PyObject* lasting_exception_class(PyObject*& slot, const char* name, const char* doc, PyObject* base);

// The binding layer's panic exception, a subclass of BaseException (so that
// `except Exception` does not swallow a broken invariant).
PyObject* panic_exception();
void set_panic(std::string_view message);

// Inside a `catch`: turns the exception in flight into the pending Python
// error.
void translate_current_exception();

// Takes the pending error out of the indicator: the exception object, with
// its traceback attached.
Ref take_pending_error();
// Prints the pending error to standard error as the interpreter prints an
// uncaught exception, and clears it. For call sites that cannot raise, on any
// thread: a SystemExit is printed the same way instead of ending the
// interpreter, which from a runtime thread would finalise it under the feet
// of the main thread.
void print_pending_error();
// A new reference from a call (null when it failed) is True; a failed call
// (its error cleared) counts as `if_failed`.
bool returned_true(PyObject* result, bool if_failed);

// Replaces the pending error by `type(prefix + str(pending))` whose cause is
// the pending one.
[[noreturn]] void raise_from_pending(PyObject* type, std::string_view prefix);

// str(object), or a placeholder when that fails (never throws).
std::string describe(PyObject* object);
// str(object.name), or empty when there is no such attribute (never throws).
std::string attribute_text(PyObject* object, const char* name);
// The qualified name of an object's type, as error texts show it.
std::string type_name(PyObject* object);

// A pending error taken out of the indicator, and put back on destruction
// unless taken. Lets Python code run while an error is pending (logging from
// inside a failing call).
class SavedError {
 public:
  SavedError();
  ~SavedError();
  SavedError(const SavedError&) = delete;
  SavedError& operator=(const SavedError&) = delete;

 private:
  PyObject* type_;
  PyObject* value_;
  PyObject* traceback_;
};

}  // namespace ovik::py
