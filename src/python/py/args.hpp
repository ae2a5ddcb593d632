#pragma once
// The argument binder: matches a call's positional and keyword arguments to a
// signature, with the argument errors Python programs see, and converts them
// one at a time in the order the body asks for them.
#include <array>
#include <span>
#include <string>
#include <string_view>

#include "python/py/convert.hpp"

namespace ovik::py {

struct Param {
  std::string_view name;
  // The default as the text signature shows it ("None", "512"); empty for a
  // required parameter. The body supplies the value itself (`get_or`).
  std::string_view default_text{};
  bool keyword_only = false;

  constexpr bool required() const { return default_text.empty(); }
};

struct Signature {
  std::string_view name;     // "receive_data", or "__new__" for a constructor
  std::string_view owner{};  // the class of a method; empty for a module function
  std::span<const Param> params{};

  // "name()" or "Owner.name()": how argument errors name the callable.
  std::string full_name() const;
};

// "name(a, b=1)\n--\n\n": the docstring head from which the interpreter
// derives `__text_signature__`. `with_self` adds "$self" (methods).
std::string text_signature(std::string_view shown_name, std::span<const Param> params, bool with_self);

namespace detail {
template <class T>
inline constexpr bool is_optional = false;
template <class T>
inline constexpr bool is_optional<std::optional<T>> = true;
}  // namespace detail

// Runs `convert` and renames a TypeError it raises to
// "argument '{name}': {text}"; every other error passes unchanged.
template <class F>
decltype(auto) with_argument_name(std::string_view name, F&& convert);

class Arguments {
 public:
  static constexpr std::size_t kMaxParams = 16;

  explicit Arguments(const Signature& signature);

  // Vectorcall form (METH_FASTCALL | METH_KEYWORDS).
  void bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
  // Tuple and dict form (tp_new).
  void bind(PyObject* args, PyObject* kwargs);

  // The bound object (borrowed), or null when an optional one was not given.
  PyObject* raw(std::size_t index) const { return values_[index]; }
  bool given(std::size_t index) const { return values_[index] != nullptr; }

  // Converts the argument; the parameter must be required, or T optional.
  template <class T>
  T get(std::size_t index) const {
    if (!values_[index] && !detail::is_optional<T>) missing_value(index);
    return with_argument_name(signature_.params[index].name, [&] { return Convert<T>::from_py(values_[index]); });
  }
  // Converts the argument, or gives `fallback` when it was not passed.
  template <class T>
  T get_or(std::size_t index, T fallback) const {
    if (!given(index)) return fallback;
    return get<T>(index);
  }

 private:
  // A body that reads an optional argument it was not given without a
  // fallback: a fault in the declaration, not in the call.
  [[noreturn]] void missing_value(std::size_t index) const;
  void check_positional_count(std::size_t count) const;
  void assign_keyword(PyObject* name, PyObject* value);
  void check_complete() const;
  [[noreturn]] void fail(const std::string& message) const;

  const Signature& signature_;
  std::size_t positional_ = 0;           // parameters that may be given by position
  std::size_t required_positional_ = 0;  // leading required ones among them
  std::array<PyObject*, kMaxParams> values_{};
};

namespace detail {
[[noreturn]] void rename_type_error(std::string_view name);
}

template <class F>
decltype(auto) with_argument_name(std::string_view name, F&& convert) {
  try {
    return std::forward<F>(convert)();
  } catch (const Error& error) {
    if (error.kind() != ErrorKind::Type) throw;
    throw Error("argument '" + std::string(name) + "': " + error.message(), ErrorKind::Type);
  } catch (const ErrorAlreadySet&) {
    detail::rename_type_error(name);
  }
}

}  // namespace ovik::py
