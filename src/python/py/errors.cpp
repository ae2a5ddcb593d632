#include "python/py/errors.hpp"

#include <new>

#include "python/py/gil.hpp"
#include "python/py/ref.hpp"

namespace ovik::py {

[[noreturn]] void throw_python_error() {
  if (!PyErr_Occurred()) set_panic("a Python call failed without setting an error");
  throw ErrorAlreadySet{};
}

[[noreturn]] void raise(PyObject* type, std::string_view message) {
  PyObject* text = PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()));
  if (text) {
    PyErr_SetObject(type, text);
    Py_DECREF(text);
  }
  throw ErrorAlreadySet{};
}

PyObject* exception_class(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Runtime: return PyExc_RuntimeError;
    case ErrorKind::Type: return PyExc_TypeError;
    case ErrorKind::Value: return PyExc_ValueError;
    case ErrorKind::Overflow: return PyExc_OverflowError;
    case ErrorKind::Attribute: return PyExc_AttributeError;
    case ErrorKind::Stop: return PyExc_StopAsyncIteration;
  }
  return PyExc_RuntimeError;
}

void set_error(const Error& error) {
  try {
    raise(exception_class(error.kind()), error.message());
  } catch (const ErrorAlreadySet&) {
  }
}

PyObject* lasting_exception_class(PyObject*& slot, const char* name, const char* doc, PyObject* base) {
  if (!slot) slot = PyErr_NewExceptionWithDoc(name, doc, base, nullptr);
  return slot;
}

PyObject* panic_exception() {
  static PyObject* type = nullptr;
  return lasting_exception_class(type, "ovik_sdk.PanicException", "An internal fault of the ovik_sdk native code.",
                                 PyExc_BaseException);
}

void set_panic(std::string_view message) {
  if (message.empty()) message = "unknown error";
  PyObject* type = panic_exception();
  if (!type) return;  // creating the class failed; its error is pending
  try {
    raise(type, message);
  } catch (const ErrorAlreadySet&) {
  }
}

void translate_current_exception() {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) set_panic("a Python error was reported but none is set");
  } catch (const Error& error) {
    set_error(error);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& fault) {
    set_panic(fault.what());
  } catch (...) {
    set_panic("unknown error");
  }
}

std::string describe(PyObject* object) {
  SavedError saved;
  PyObject* text = PyObject_Str(object);
  if (!text) {
    PyErr_Clear();
    return "<unprintable object>";
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  std::string result = data ? std::string(data, static_cast<std::size_t>(size)) : "<unprintable object>";
  if (!data) PyErr_Clear();
  Py_DECREF(text);
  return result;
}

std::string attribute_text(PyObject* object, const char* name) {
  SavedError saved;
  PyObject* value = PyObject_GetAttrString(object, name);
  if (!value) {
    PyErr_Clear();
    return {};
  }
  std::string text = describe(value);
  Py_DECREF(value);
  return text;
}

std::string type_name(PyObject* object) {
  return attribute_text(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__");
}

Ref take_pending_error() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return Ref::steal(value);
}

void print_pending_error() {
  if (!PyErr_ExceptionMatches(PyExc_SystemExit)) {
    PyErr_PrintEx(0);
    return;
  }
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref owned_type = Ref::steal(type);
  Ref owned_value = Ref::steal(value);
  Ref owned_traceback = traceback ? Ref::steal(traceback) : none();
  PyObject* hook = PySys_GetObject("excepthook");  // borrowed
  PyObject* printed = hook ? PyObject_CallFunctionObjArgs(hook, type, value, owned_traceback.get(), nullptr) : nullptr;
  if (printed) {
    Py_DECREF(printed);
    return;
  }
  PyErr_Clear();
  PyErr_Display(type, value, owned_traceback.get());
}

bool returned_true(PyObject* result, bool if_failed) {
  if (!result) {
    PyErr_Clear();
    return if_failed;
  }
  bool yes = result == Py_True;
  Py_DECREF(result);
  return yes;
}

[[noreturn]] void raise_from_pending(PyObject* type, std::string_view prefix) {
  Ref pending = take_pending_error();
  std::string text = std::string(prefix) + describe(pending.get());
  Ref replacement = Ref::steal(PyObject_CallFunction(type, "s#", text.data(), static_cast<Py_ssize_t>(text.size())));
  PyException_SetCause(replacement.get(), pending.release());  // steals the cause
  PyErr_SetObject(type, replacement.get());
  throw ErrorAlreadySet{};
}

SavedError::SavedError() { PyErr_Fetch(&type_, &value_, &traceback_); }

SavedError::~SavedError() {
  // Not during a forced unwind: the lock is gone then (the objects leak).
  if (!detail::t_lost) PyErr_Restore(type_, value_, traceback_);
}

}  // namespace ovik::py
