#include "python/py/args.hpp"

#include <stdexcept>
#include <vector>

namespace ovik::py {

std::string Signature::full_name() const {
  std::string name;
  if (!owner.empty()) {
    name.append(owner);
    name.push_back('.');
  }
  name.append(this->name);
  name.append("()");
  return name;
}

std::string text_signature(std::string_view shown_name, std::span<const Param> params, bool with_self) {
  std::string text(shown_name);
  text.push_back('(');
  bool first = true;
  auto separate = [&] {
    if (!first) text.append(", ");
    first = false;
  };
  if (with_self) {
    separate();
    text.append("$self");
  }
  bool marked = false;
  for (const Param& param : params) {
    separate();
    if (param.keyword_only && !marked) {
      text.append("*, ");
      marked = true;
    }
    text.append(param.name);
    if (!param.required()) {
      text.push_back('=');
      text.append(param.default_text);
    }
  }
  text.append(")\n--\n\n");
  return text;
}

namespace {

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) {
      if (names.size() > 2) text.push_back(',');
      text.append(i + 1 == names.size() ? " and " : " ");
    }
    text.push_back('\'');
    text.append(names[i]);
    text.push_back('\'');
  }
  return text;
}

std::string missing_text(const std::string& full_name, std::string_view kind,
                         const std::vector<std::string_view>& names) {
  return full_name + " missing " + std::to_string(names.size()) + " required " + std::string(kind) + " " +
         (names.size() == 1 ? "argument" : "arguments") + ": " + quoted_list(names);
}

}  // namespace

Arguments::Arguments(const Signature& signature) : signature_(signature) {
  if (signature.params.size() > kMaxParams) throw std::logic_error("too many parameters in a signature");
  for (const Param& param : signature.params) {
    if (param.keyword_only) continue;
    if (param.required() && required_positional_ == positional_) ++required_positional_;
    ++positional_;
  }
}

void Arguments::missing_value(std::size_t index) const {
  throw std::logic_error("argument '" + std::string(signature_.params[index].name) + "' of " +
                         signature_.full_name() + " read without a value");
}

void Arguments::fail(const std::string& message) const { throw Error(message, ErrorKind::Type); }

void Arguments::check_positional_count(std::size_t count) const {
  if (count <= positional_) return;
  std::string was = count == 1 ? "was" : "were";
  if (required_positional_ != positional_)
    fail(signature_.full_name() + " takes from " + std::to_string(required_positional_) + " to " +
         std::to_string(positional_) + " positional arguments but " + std::to_string(count) + " " + was + " given");
  fail(signature_.full_name() + " takes " + std::to_string(positional_) + " positional arguments but " +
       std::to_string(count) + " " + was + " given");
}

void Arguments::bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  check_positional_count(static_cast<std::size_t>(nargs));
  for (Py_ssize_t i = 0; i < nargs; ++i) values_[static_cast<std::size_t>(i)] = args[i];
  if (kwnames) {
    Py_ssize_t keywords = PyTuple_Size(kwnames);
    for (Py_ssize_t i = 0; i < keywords; ++i) assign_keyword(PyTuple_GetItem(kwnames, i), args[nargs + i]);
  }
  check_complete();
}

void Arguments::bind(PyObject* args, PyObject* kwargs) {
  Py_ssize_t nargs = PyTuple_Size(args);
  check_positional_count(static_cast<std::size_t>(nargs));
  for (Py_ssize_t i = 0; i < nargs; ++i) values_[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
  if (kwargs) {
    Py_ssize_t position = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &name, &value)) assign_keyword(name, value);
  }
  check_complete();
}

void Arguments::assign_keyword(PyObject* name, PyObject* value) {
  std::string key = PyUnicode_Check(name) ? Convert<std::string>::from_py(name) : describe(name);
  for (std::size_t i = 0; i < signature_.params.size(); ++i) {
    if (signature_.params[i].name != key) continue;
    if (values_[i]) fail(signature_.full_name() + " got multiple values for argument '" + key + "'");
    values_[i] = value;
    return;
  }
  fail(signature_.full_name() + " got an unexpected keyword argument '" + key + "'");
}

void Arguments::check_complete() const {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < required_positional_; ++i)
    if (!values_[i]) missing.push_back(signature_.params[i].name);
  if (!missing.empty()) fail(missing_text(signature_.full_name(), "positional", missing));
  for (std::size_t i = positional_; i < signature_.params.size(); ++i)
    if (signature_.params[i].required() && !values_[i]) missing.push_back(signature_.params[i].name);
  if (!missing.empty()) fail(missing_text(signature_.full_name(), "keyword", missing));
}

namespace detail {

[[noreturn]] void rename_type_error(std::string_view name) {
  // Only a TypeError proper is renamed (subclasses pass, like other errors).
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  bool rename = type == PyExc_TypeError;
  PyErr_Restore(type, value, traceback);
  if (!rename) throw ErrorAlreadySet{};
  raise_from_pending(PyExc_TypeError, "argument '" + std::string(name) + "': ");
}

}  // namespace detail

}  // namespace ovik::py
