#include "python/py/convert.hpp"

namespace ovik::py {

[[noreturn]] void throw_not_instance(PyObject* object, std::string_view expected) {
  if (object == Py_None) throw Error("'None' is not an instance of '" + std::string(expected) + "'", ErrorKind::Type);
  throw Error("'" + type_name(object) + "' object is not an instance of '" + std::string(expected) + "'",
              ErrorKind::Type);
}

namespace {

bool is_numpy_bool(PyObject* object) {
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
  if (attribute_text(type, "__module__") != "numpy") return false;
  std::string name = attribute_text(type, "__name__");
  return name == "bool_" || name == "bool";
}

}  // namespace

bool Convert<bool>::from_py(PyObject* object) {
  if (PyBool_Check(object)) return object == Py_True;
  if (!is_numpy_bool(object)) throw_not_instance(object, "bool");
  Ref method = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__bool__"));
  Ref result = Ref::steal(PyObject_CallFunctionObjArgs(method.get(), object, nullptr));
  if (!PyBool_Check(result.get())) throw_not_instance(result.get(), "bool");
  return result.get() == Py_True;
}

std::string Convert<std::string>::from_py(PyObject* object) {
  if (!PyUnicode_Check(object)) throw_not_instance(object, "str");
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);
  if (!data) throw_python_error();
  return std::string(data, static_cast<std::size_t>(size));
}

namespace detail {

namespace {
Ref index_of(PyObject* object) {
  if (PyLong_Check(object)) return Ref::borrow(object);
  return Ref::steal(PyNumber_Index(object));
}
}  // namespace

long as_long(PyObject* object) {
  Ref index = index_of(object);
  long value = PyLong_AsLong(index.get());
  if (value == -1 && PyErr_Occurred()) throw_python_error();
  return value;
}

long long as_long_long(PyObject* object) {
  static_assert(sizeof(long) == sizeof(long long), "64-bit values go through PyLong_AsLong");
  return as_long(object);
}

unsigned long long as_unsigned_long_long(PyObject* object) {
  Ref index = index_of(object);
  unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_python_error();
  return value;
}

void check_sequence(PyObject* object, bool refuse_str) {
  if (refuse_str && PyUnicode_Check(object)) throw Error("Can't extract `str` to `Vec`", ErrorKind::Type);
  if (!PySequence_Check(object)) throw_not_instance(object, "Sequence");
}

Py_ssize_t sequence_length(PyObject* object) {
  Py_ssize_t length = PySequence_Size(object);
  if (length < 0) throw_python_error();
  return length;
}

bool copy_byte_buffer(PyObject* object, std::vector<std::uint8_t>& out) {
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_Check(object)) {
    if (PyBytes_AsStringAndSize(object, &data, &size) < 0) throw_python_error();
  } else if (PyByteArray_Check(object)) {
    data = PyByteArray_AsString(object);
    size = PyByteArray_Size(object);
  } else {
    return false;
  }
  out.assign(reinterpret_cast<const std::uint8_t*>(data), reinterpret_cast<const std::uint8_t*>(data) + size);
  return true;
}

}  // namespace detail

double Convert<double>::from_py(PyObject* object) {
  double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) throw_python_error();
  return value;
}

Ref to_str(std::string_view text) {
  return Ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

Ref to_bytes(std::string_view data) {
  return Ref::steal(PyBytes_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
}

Ref to_int(long long value) { return Ref::steal(PyLong_FromLongLong(value)); }

Ref to_uint(unsigned long long value) { return Ref::steal(PyLong_FromUnsignedLongLong(value)); }

Ref to_float(double value) { return Ref::steal(PyFloat_FromDouble(value)); }

Ref to_bool(bool value) { return Ref::borrow(value ? Py_True : Py_False); }

}  // namespace ovik::py
