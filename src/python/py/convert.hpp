#pragma once
// Conversions of Python objects into C++ values (`Convert<T>::from_py`) and
// of C++ values into new Python objects. A conversion that fails throws:
// `ovik::Error` of kind Type or Overflow, or `ErrorAlreadySet` for the
// interpreter's own conversion errors. The argument binder adds the
// parameter's name to TypeErrors (see args.hpp).
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "python/py/errors.hpp"
#include "python/py/ref.hpp"

namespace ovik::py {

inline constexpr std::string_view kOutOfRange = "out of range integral type conversion attempted";

// "'int' object is not an instance of 'LogLevel'" (or the None form).
[[noreturn]] void throw_not_instance(PyObject* object, std::string_view expected);

template <class T, class = void>
struct Convert;

// Any object, kept as a new reference.
template <>
struct Convert<Ref> {
  static Ref from_py(PyObject* object) { return Ref::borrow(object); }
};

// Only `bool` (and numpy's boolean scalars); no truth-value testing.
template <>
struct Convert<bool> {
  static bool from_py(PyObject* object);
};

template <>
struct Convert<std::string> {
  static std::string from_py(PyObject* object);
};

namespace detail {
long as_long(PyObject* object);
long long as_long_long(PyObject* object);
unsigned long long as_unsigned_long_long(PyObject* object);
}  // namespace detail

// Integers through the interpreter's index conversion. Types narrower than a
// C long report a value outside their range with kOutOfRange; 64-bit types
// pass on the interpreter's own OverflowError.
template <class T>
struct Convert<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static T from_py(PyObject* object) {
    if constexpr (sizeof(T) < sizeof(long)) {
      long value = detail::as_long(object);
      if (value < static_cast<long>(std::numeric_limits<T>::min()) ||
          value > static_cast<long>(std::numeric_limits<T>::max()))
        throw Error(std::string(kOutOfRange), ErrorKind::Overflow);
      return static_cast<T>(value);
    } else if constexpr (std::is_signed_v<T>) {
      return static_cast<T>(detail::as_long_long(object));
    } else {
      return static_cast<T>(detail::as_unsigned_long_long(object));
    }
  }
};

template <>
struct Convert<double> {
  static double from_py(PyObject* object);
};

template <>
struct Convert<float> {
  static float from_py(PyObject* object) { return static_cast<float>(Convert<double>::from_py(object)); }
};

// None (or an absent optional argument) gives nullopt.
template <class T>
struct Convert<std::optional<T>> {
  static std::optional<T> from_py(PyObject* object) {
    if (!object || object == Py_None) return std::nullopt;
    return Convert<T>::from_py(object);
  }
};

namespace detail {
// Refuses a str and anything that is not a sequence.
void check_sequence(PyObject* object, bool refuse_str);
Py_ssize_t sequence_length(PyObject* object);
bool copy_byte_buffer(PyObject* object, std::vector<std::uint8_t>& out);
}  // namespace detail

// Any sequence but a str, element by element.
template <class T>
struct Convert<std::vector<T>> {
  static std::vector<T> from_py(PyObject* object) {
    detail::check_sequence(object, true);
    std::vector<T> out;
    if constexpr (std::is_same_v<T, std::uint8_t>) {
      if (detail::copy_byte_buffer(object, out)) return out;
    }
    Ref iterator = Ref::steal(PyObject_GetIter(object));
    while (PyObject* item = PyIter_Next(iterator.get())) {
      Ref owned = Ref::steal(item);
      out.push_back(Convert<T>::from_py(owned.get()));
    }
    if (PyErr_Occurred()) throw_python_error();
    return out;
  }
};

// A sequence of exactly N elements ("expected a sequence of length {} (got {})").
template <class T, std::size_t N>
struct Convert<std::array<T, N>> {
  static std::array<T, N> from_py(PyObject* object) {
    detail::check_sequence(object, false);
    Py_ssize_t length = detail::sequence_length(object);
    if (length != static_cast<Py_ssize_t>(N))
      raise(PyExc_ValueError, "expected a sequence of length " + std::to_string(N) + " (got " +
                                  std::to_string(length) + ")");
    std::array<T, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
      Ref item = Ref::steal(PySequence_GetItem(object, static_cast<Py_ssize_t>(i)));
      out[i] = Convert<T>::from_py(item.get());
    }
    return out;
  }
};

// New Python objects.
Ref to_str(std::string_view text);
Ref to_bytes(std::string_view data);
Ref to_int(long long value);
Ref to_uint(unsigned long long value);
Ref to_float(double value);
Ref to_bool(bool value);

}  // namespace ovik::py
