#pragma once
// Debug text of messages (compact form): `Type { field: value, ... }` with
// every field in field-number order, whatever its value; `None` / `Some(...)`
// for sub-messages, bytes as lists of decimal numbers, enumerations by debug
// name or, without one, as the signed number; floats and strings by the debug
// rules of text_float.hpp and debug_string.hpp. One walker over the field lists
// renders every type; the rendering cannot fail.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "schema/debug_string.hpp"
#include "schema/message_traits.hpp"
#include "schema/text_float.hpp"
#include "schema/text_integer.hpp"

namespace ovik::schema {

namespace debug_detail {

void append_bytes(std::string& out, const Bytes& bytes);
void append_enum(std::string& out, const EnumTable& table, std::int32_t number);

class Walker {
 public:
  explicit Walker(std::string& out) : out_(out) {}

  template <ProtoMessage M>
  void message(const M& value) {
    out_ += descriptor_of<M>().name;
    const bool outer_first = first_;
    first_ = true;
    for_each_field(value, *this);
    out_ += " }";
    first_ = outer_first;
  }

  void operator()(const FieldInfo& f, std::uint32_t v) { append_decimal(name(f), v); }
  void operator()(const FieldInfo& f, std::int32_t v) { append_decimal(name(f), v); }
  void operator()(const FieldInfo& f, bool v) { name(f) += v ? "true" : "false"; }
  void operator()(const FieldInfo& f, float v) { append_debug_float(name(f), v); }
  void operator()(const FieldInfo& f, const std::string& v) { append_debug_string(name(f), v); }
  void operator()(const FieldInfo& f, const Bytes& v) { append_bytes(name(f), v); }
  template <Enumeration E>
  void operator()(const FieldInfo& f, E v) {
    append_enum(name(f), EnumTraits<E>::table, to_number(v));
  }
  template <ProtoMessage M>
  void operator()(const FieldInfo& f, const Optional<M>& v) {
    name(f);
    if (!v) {
      out_ += "None";
      return;
    }
    out_ += "Some(";
    message(*v);
    out_ += ')';
  }
  void operator()(const FieldInfo& f, const std::vector<float>& v) {
    list(f, v, [this](float item) { append_debug_float(out_, item); });
  }
  void operator()(const FieldInfo& f, const std::vector<Bytes>& v) {
    list(f, v, [this](const Bytes& item) { append_bytes(out_, item); });
  }
  template <Enumeration E>
  void operator()(const FieldInfo& f, const std::vector<E>& v) {
    list(f, v, [this](E item) { append_enum(out_, EnumTraits<E>::table, to_number(item)); });
  }
  template <ProtoMessage M>
  void operator()(const FieldInfo& f, const std::vector<M>& v) {
    list(f, v, [this](const M& item) { message(item); });
  }

 private:
  std::string& name(const FieldInfo& f) {
    out_ += first_ ? " { " : ", ";
    first_ = false;
    out_ += f.name;
    out_ += ": ";
    return out_;
  }

  template <class T, class Item>
  void list(const FieldInfo& f, const std::vector<T>& items, Item write_item) {
    name(f) += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i != 0) out_ += ", ";
      write_item(items[i]);
    }
    out_ += ']';
  }

  std::string& out_;
  bool first_ = true;
};

}  // namespace debug_detail

template <ProtoMessage M>
void write_debug(const M& message, std::string& out) {
  debug_detail::Walker(out).message(message);
}

template <ProtoMessage M>
std::string to_debug(const M& message) {
  std::string out;
  write_debug(message, out);
  return out;
}

// `<kind>(<the message's debug text>)`: the debug text of a message as one of
// the kinds of the message enum.
template <ProtoMessage M>
void write_debug_as_kind(std::string_view kind, const M& message, std::string& out) {
  out += kind;
  out += '(';
  write_debug(message, out);
  out += ')';
}

}  // namespace ovik::schema

// `{}` of a message in a log line is its debug text.
template <ovik::schema::ProtoMessage M>
struct fmt::formatter<M> {
  constexpr auto parse(format_parse_context& ctx) { return ctx.begin(); }
  auto format(const M& message, format_context& ctx) const {
    const std::string text = ovik::schema::to_debug(message);
    return std::copy(text.begin(), text.end(), ctx.out());
  }
};
