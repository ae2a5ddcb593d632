// Test-only bridge between our schema codec and the Python oracle tests.
//
// Reads requests from stdin, one a line, and answers each with one line:
//   decode <Message> <hex payload>  ->  ok <record text> | error <decode error>
//   encode <Message> <record text>  ->  ok <hex payload> | error <encode error>
//   json <Message> <hex payload>    ->  json <JSON text> | invalid <rendering error> | undecodable <decode error>
//   schema                          ->  the field lists and enumeration tables, then "end"
//
// Record text lists every field in list order as number=value inside {}:
// unsigned and signed integers and enumeration numbers in decimal, bool 0/1,
// float as the 8 hex digits of its bit pattern, string and bytes as x and
// their bytes in hex, an absent sub-message as ~, a present one as {...},
// a repeated field as [v v ...]. For example {1=7 2=~ 3=[3f800000] 4=x6162}.
#include <fmt/format.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "schema/decode.hpp"
#include "schema/encode.hpp"
#include "schema/json_writer.hpp"

namespace ovik::schema {
namespace {

std::string to_hex(const std::uint8_t* data, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size; ++i) fmt::format_to(std::back_inserter(out), "{:02x}", data[i]);
  return out;
}

bool from_hex(std::string_view text, std::vector<std::uint8_t>& out) {
  if (text.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    std::uint8_t byte;
    auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (ec != std::errc() || end != text.data() + i + 2) return false;
    out.push_back(byte);
  }
  return true;
}

struct Printer {
  std::string& out;
  bool first = true;

  template <class T>
  void operator()(const FieldInfo& field, const T& member) {
    if (!first) out += ' ';
    first = false;
    fmt::format_to(std::back_inserter(out), "{}=", field.number);
    value(member);
  }

  void value(std::uint32_t v) { out += std::to_string(v); }
  void value(std::int32_t v) { out += std::to_string(v); }
  void value(bool v) { out += v ? '1' : '0'; }
  void value(float v) { fmt::format_to(std::back_inserter(out), "{:08x}", std::bit_cast<std::uint32_t>(v)); }
  template <Enumeration E>
  void value(E v) {
    out += std::to_string(to_number(v));
  }
  void value(const std::string& v) { out += 'x' + to_hex(reinterpret_cast<const std::uint8_t*>(v.data()), v.size()); }
  void value(const Bytes& v) { out += 'x' + to_hex(v.data(), v.size()); }
  template <ProtoMessage M>
  void value(const M& message) {
    out += '{';
    for_each_field(message, Printer{out});
    out += '}';
  }
  template <ProtoMessage M>
  void value(const Optional<M>& message) {
    if (message) {
      value(*message);
    } else {
      out += '~';
    }
  }
  template <class T>
  void value(const Repeated<T>& items) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i > 0) out += ' ';
      value(items[i]);
    }
    out += ']';
  }
};

// Reads record text back into a record; strict: every field, in list order.
struct Parser {
  std::string_view text;
  std::size_t pos = 0;

  template <class T>
  bool operator()(const FieldInfo& field, T& member) {
    skip_blanks();
    std::uint32_t number;
    return integer(number) && number == field.number && literal('=') && value(member);
  }

  void skip_blanks() {
    while (pos < text.size() && text[pos] == ' ') ++pos;
  }
  bool literal(char c) {
    skip_blanks();
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
  }
  std::string_view token() {
    skip_blanks();
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != ' ' && text[pos] != ']' && text[pos] != '}' && text[pos] != '=') ++pos;
    return text.substr(start, pos - start);
  }
  template <class I>
  bool integer(I& out, int base = 10) {
    std::string_view t = token();
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out, base);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size();
  }

  bool value(std::uint32_t& v) { return integer(v); }
  bool value(std::int32_t& v) { return integer(v); }
  bool value(bool& v) {
    std::uint32_t n;
    if (!integer(n) || n > 1) return false;
    v = n == 1;
    return true;
  }
  bool value(float& v) {
    std::uint32_t bits;
    if (!integer(bits, 16)) return false;
    v = std::bit_cast<float>(bits);
    return true;
  }
  template <Enumeration E>
  bool value(E& v) {
    std::int32_t n;
    if (!integer(n)) return false;
    v = static_cast<E>(n);
    return true;
  }
  bool hex_token(std::vector<std::uint8_t>& out) {
    std::string_view t = token();
    return !t.empty() && t[0] == 'x' && from_hex(t.substr(1), out);
  }
  template <class Container>
  bool hex_value(Container& v) {
    std::vector<std::uint8_t> bytes;
    if (!hex_token(bytes)) return false;
    v.assign(bytes.begin(), bytes.end());
    return true;
  }
  bool value(std::string& v) { return hex_value(v); }
  bool value(Bytes& v) { return hex_value(v); }
  template <ProtoMessage M>
  bool value(M& message) {
    return literal('{') && for_each_field(message, *this) && literal('}');
  }
  template <ProtoMessage M>
  bool value(Optional<M>& message) {
    if (literal('~')) {
      message.reset();
      return true;
    }
    return value(message.emplace());
  }
  template <class T>
  bool value(Repeated<T>& items) {
    if (!literal('[')) return false;
    for (;;) {
      skip_blanks();
      if (pos < text.size() && text[pos] == ']') return literal(']');
      if (!value(items.emplace_back())) return false;
    }
  }
};

struct Handlers {
  std::string (*decode)(std::string_view hex);
  std::string (*encode)(std::string_view record);
  std::string (*json)(std::string_view hex);
};

template <class M>
std::string decode_request(std::string_view hex) {
  std::vector<std::uint8_t> payload;
  if (!from_hex(hex, payload)) return "error bad hex";
  Result<M> message = decode<M>(payload);
  if (!message) return "error " + message.error().message();
  std::string out = "ok ";
  Printer{out}.value(*message);
  return out;
}

template <class M>
std::string json_request(std::string_view hex) {
  std::vector<std::uint8_t> payload;
  if (!from_hex(hex, payload)) return "undecodable bad hex";
  Result<M> message = decode<M>(payload);
  if (!message) return "undecodable " + message.error().message();
  Result<std::string> text = to_json(*message);
  return text ? "json " + *text : "invalid " + text.error().message();
}

template <class M>
std::string encode_request(std::string_view record) {
  M message;
  Parser parser{record};
  if (!parser.value(message) || (parser.skip_blanks(), parser.pos != record.size())) {
    return fmt::format("error bad record text at offset {}", parser.pos);
  }
  Result<std::vector<std::uint8_t>> bytes = encode(message);
  if (!bytes) return "error " + bytes.error().message();
  return "ok " + to_hex(bytes->data(), bytes->size());
}

std::map<std::string_view, Handlers> handlers() {
  std::map<std::string_view, Handlers> out;
  AllMessages::for_each([&](auto type) {
    using M = typename decltype(type)::type;
    out[descriptor_of<M>().name] = Handlers{&decode_request<M>, &encode_request<M>, &json_request<M>};
  });
  return out;
}

void print_schema(std::ostream& out) {
  for (const MessageDescriptor* message : kAllMessageDescriptors) {
    out << "message " << message->name << '\n';
    for (std::size_t i = 0; i < message->field_count; ++i) {
      const FieldInfo& f = message->fields[i];
      std::string_view type = f.enum_table ? f.enum_table->name : f.message_type ? f.message_type->name : "-";
      out << fmt::format("field {} {} {} {} {} {} {}\n", message->name, f.number, f.name, f.json_name,
                         kind_name(f.kind), f.repeated ? 1 : 0, type);
    }
  }
  for (const EnumTable* table : kAllEnumTables) {
    out << "enum " << table->name << '\n';
    for (const EnumEntry& e : table->entries) {
      out << fmt::format("value {} {} {} {}\n", table->name, e.number,
                         e.proto_name.empty() ? "-" : e.proto_name, e.debug_name);
    }
  }
  out << "end\n";
}

std::string answer(std::string_view line, const std::map<std::string_view, Handlers>& table) {
  const std::size_t op_end = line.find(' ');
  const std::size_t type_end = line.find(' ', op_end + 1);
  if (op_end == std::string_view::npos || type_end == std::string_view::npos) return "error bad request";
  const std::string_view op = line.substr(0, op_end);
  const std::string_view type = line.substr(op_end + 1, type_end - op_end - 1);
  const std::string_view argument = line.substr(type_end + 1);
  auto found = table.find(type);
  if (found == table.end()) return "error unknown message type";
  if (op == "decode") return found->second.decode(argument);
  if (op == "encode") return found->second.encode(argument);
  if (op == "json") return found->second.json(argument);
  return "error unknown operation";
}

}  // namespace
}  // namespace ovik::schema

int main() {
  std::ios::sync_with_stdio(false);
  const auto table = ovik::schema::handlers();
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "schema") {
      ovik::schema::print_schema(std::cout);
    } else {
      std::cout << ovik::schema::answer(line, table) << '\n';
    }
  }
  return 0;
}
