#pragma once
// JSON text of messages: compact, fields in field-number order, lowerCamelCase
// keys, default scalars, empty strings and lists and absent sub-messages left
// out, enumerations by protocol name, bytes in base64, floats by the JSON float
// rule (text_float.hpp). One walker over the field lists renders every type.
//
// The only failure is an enumeration number that is not a member, at any
// depth: "Invalid variant {}" with the number in signed decimal. On failure the
// text holds a partial rendering, which callers throw away.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.hpp"
#include "schema/json_string.hpp"
#include "schema/message_traits.hpp"
#include "schema/text_float.hpp"
#include "schema/text_integer.hpp"

namespace ovik::schema {

namespace json_detail {

void append_bytes(std::string& out, const Bytes& bytes);
// The row of `number` when it has a protocol name, else nullptr.
const EnumEntry* json_member(const EnumTable& table, std::int32_t number);
void append_enum(std::string& out, const EnumEntry& member);
Failure invalid_variant(std::int32_t number);

// Appends one message's object. Field overloads return false on the first
// enumeration number without a name and leave it in `bad_enum`.
class Walker {
 public:
  explicit Walker(std::string& out) : out_(out) {}

  template <ProtoMessage M>
  bool object(const M& message) {
    const bool outer_first = first_;
    first_ = true;
    out_ += '{';
    if (!for_each_field(message, *this)) return false;
    out_ += '}';
    first_ = outer_first;
    return true;
  }

  std::int32_t bad_enum() const { return bad_enum_; }

  bool operator()(const FieldInfo& f, std::uint32_t v) {
    if (v != 0) append_decimal(key(f), v);
    return true;
  }
  bool operator()(const FieldInfo& f, std::int32_t v) {
    if (v != 0) append_decimal(key(f), v);
    return true;
  }
  bool operator()(const FieldInfo& f, bool v) {
    if (v) key(f) += "true";
    return true;
  }
  bool operator()(const FieldInfo& f, float v) {
    if (v != 0.0f) append_json_float(key(f), v);
    return true;
  }
  bool operator()(const FieldInfo& f, const std::string& v) {
    if (!v.empty()) append_json_string(key(f), v);
    return true;
  }
  bool operator()(const FieldInfo& f, const Bytes& v) {
    if (!v.empty()) append_bytes(key(f), v);
    return true;
  }
  template <Enumeration E>
  bool operator()(const FieldInfo& f, E v) {
    const std::int32_t number = to_number(v);
    if (number == 0) return true;
    const EnumEntry* member = json_member(EnumTraits<E>::table, number);
    if (member == nullptr) return fail_on(number);
    append_enum(key(f), *member);
    return true;
  }
  template <ProtoMessage M>
  bool operator()(const FieldInfo& f, const Optional<M>& v) {
    if (!v) return true;
    key(f);
    return object(*v);
  }
  bool operator()(const FieldInfo& f, const Repeated<float>& v) {
    return list(f, v, [this](float item) {
      append_json_float(out_, item);
      return true;
    });
  }
  bool operator()(const FieldInfo& f, const Repeated<Bytes>& v) {
    return list(f, v, [this](const Bytes& item) {
      append_bytes(out_, item);
      return true;
    });
  }
  template <Enumeration E>
  bool operator()(const FieldInfo& f, const Repeated<E>& v) {
    // Every entry is checked before the key is written.
    for (E item : v) {
      if (json_member(EnumTraits<E>::table, to_number(item)) == nullptr) return fail_on(to_number(item));
    }
    return list(f, v, [this](E item) {
      append_enum(out_, *json_member(EnumTraits<E>::table, to_number(item)));
      return true;
    });
  }
  template <ProtoMessage M>
  bool operator()(const FieldInfo& f, const Repeated<M>& v) {
    return list(f, v, [this](const M& item) { return object(item); });
  }

 private:
  std::string& key(const FieldInfo& f) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += '"';
    out_ += f.json_name;
    out_ += "\":";
    return out_;
  }

  template <class T, class Item>
  bool list(const FieldInfo& f, const Repeated<T>& items, Item write_item) {
    if (items.empty()) return true;
    key(f) += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i != 0) out_ += ',';
      if (!write_item(items[i])) return false;
    }
    out_ += ']';
    return true;
  }

  bool fail_on(std::int32_t number) {
    bad_enum_ = number;
    return false;
  }

  std::string& out_;
  bool first_ = true;
  std::int32_t bad_enum_ = 0;
};

}  // namespace json_detail

// Appends the message's JSON object to `out`.
template <ProtoMessage M>
Result<void> write_json(const M& message, std::string& out) {
  json_detail::Walker walker(out);
  if (!walker.object(message)) return json_detail::invalid_variant(walker.bad_enum());
  return {};
}

// The message's JSON text on its own.
template <ProtoMessage M>
Result<std::string> to_json(const M& message) {
  std::string out;
  out.reserve(128);
  if (auto written = write_json(message, out); !written) return Failure{std::move(written).error()};
  return out;
}

// Appends {"<kind>":<the message's object>}: the JSON text of a message as one
// of the kinds of the message enum.
template <ProtoMessage M>
Result<void> write_json_as_kind(std::string_view kind, const M& message, std::string& out) {
  out += "{\"";
  out += kind;
  out += "\":";
  if (auto written = write_json(message, out); !written) return written;
  out += '}';
  return {};
}

template <ProtoMessage M>
Result<std::string> to_json_as_kind(std::string_view kind, const M& message) {
  std::string out;
  out.reserve(128);
  if (auto written = write_json_as_kind(kind, message, out); !written) return Failure{std::move(written).error()};
  return out;
}

}  // namespace ovik::schema
