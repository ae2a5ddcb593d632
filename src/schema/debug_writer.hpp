#pragma once
// Debug text of messages: `Type { field: value, ... }` with every field in
// field-number order, whatever its value; `None` / `Some(...)` for
// sub-messages, bytes as lists of numbers, enumerations by debug name or,
// without one, as the signed number; floats and strings by the debug rules of
// text_float.hpp and debug_string.hpp. One walker over the field lists renders
// every type, in the form a DebugFormat asks for (debug_format.hpp); the
// rendering cannot fail.
//
// The multi-line form puts every field, list item and `Some(` value on a line
// of its own, followed by ",", one level (four spaces) deeper than its
// enclosing value:
//   Xyz {
//       x: 1.0,
//       y: 2.0,
//       z: 3.0,
//   }
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <fmt/format.h>

#include "schema/debug_format.hpp"
#include "schema/debug_string.hpp"
#include "schema/indenting_writer.hpp"
#include "schema/message_traits.hpp"
#include "schema/text_float.hpp"
#include "schema/text_integer.hpp"

namespace ovik::schema {

namespace debug_detail {

// Pieces are string views: their lengths are known without a strlen in every
// item's path.
using namespace std::string_view_literals;

// What encloses a group of items (the fields of a message, a list, the value
// of `Some(`), in each form.
struct Brackets {
  std::string_view open;
  std::string_view close;
  std::string_view open_multi_line;
  std::string_view close_multi_line;
};

inline constexpr Brackets kFieldBrackets{" { ", " }", " {", "}"};
inline constexpr Brackets kTupleBrackets{"(", ")", "(", ")"};
inline constexpr Brackets kListBrackets{"[", "]", "[", "]"};

// The compact form has no lines to indent: its pieces go straight into the
// text, which keeps it as fast as when it was the only form.
struct CompactWriter {
  std::string& out;
  std::string& text() { return out; }
};

template <class Writer>
inline constexpr bool kMultiLine = std::is_same_v<Writer, IndentingWriter>;

void append_hex(std::string& out, std::uint32_t pattern, IntegerDigits digits, bool with_prefix);

// Writes a group's brackets and separators around its items: compact
// `open item, item close`; multi-line `open`, then each item on a line of its
// own one level deeper and followed by ",", then `close`. An empty group is
// `open close` in either form.
template <class Writer>
class Group {
 public:
  Group(Writer& writer, const Brackets& brackets) : writer_(writer), brackets_(brackets) {
    writer_.text() += kMultiLine<Writer> ? brackets_.open_multi_line : brackets_.open;
  }

  template <class WriteItem>
  void item(WriteItem write_item) {
    if constexpr (kMultiLine<Writer>) {
      if (empty_) {
        writer_.end_line();
        writer_.indent();
      }
    } else if (!empty_) {
      writer_.text() += ", "sv;
    }
    empty_ = false;
    write_item();
    if constexpr (kMultiLine<Writer>) {
      writer_.text() += ',';
      writer_.end_line();
    }
  }

  void close() {
    if constexpr (kMultiLine<Writer>) {
      if (!empty_) writer_.outdent();
      writer_.text() += brackets_.close_multi_line;
    } else {
      writer_.text() += brackets_.close;
    }
  }

 private:
  Writer& writer_;
  const Brackets& brackets_;
  bool empty_ = true;
};

template <class Writer>
class Walker {
 public:
  Walker(Writer writer, IntegerDigits digits) : writer_(writer), digits_(digits) {}

  // One function per message type: inlined into a single tree (a SensorApp
  // holds every other sensor message), the walk left its many short appends
  // out of line and ran slower.
  template <ProtoMessage M>
  [[gnu::noinline]] void message(const M& value) {
    text() += descriptor_of<M>().name;
    Group fields(writer_, kFieldBrackets);
    for_each_field(value, [&](const FieldInfo& f, const auto& member) {
      fields.item([&] {
        text() += f.name;
        text() += ": "sv;
        write(member);
      });
    });
    fields.close();
  }

  // `name(<the message's text>)`
  template <ProtoMessage M>
  void wrapped(std::string_view name, const M& value) {
    text() += name;
    Group inner(writer_, kTupleBrackets);
    inner.item([&] { message(value); });
    inner.close();
  }

 private:
  std::string& text() { return writer_.text(); }

  void write(std::uint32_t v) { integer(v); }
  void write(std::int32_t v) { integer(v); }
  // An item of a bytes field.
  void write(std::uint8_t v) { integer(std::uint32_t{v}); }
  void write(bool v) { text() += v ? "true"sv : "false"sv; }
  void write(float v) { append_debug_float(text(), v); }
  void write(const std::string& v) { append_debug_string(text(), v); }
  template <Enumeration E>
  void write(E v) {
    if (const EnumEntry* entry = find_entry(v)) {
      text() += entry->debug_name;
    } else {
      integer(to_number(v));
    }
  }
  template <ProtoMessage M>
  void write(const M& v) {
    message(v);
  }
  template <ProtoMessage M>
  void write(const Optional<M>& v) {
    if (v) {
      wrapped("Some", *v);
    } else {
      text() += "None"sv;
    }
  }
  // Bytes and every repeated field.
  template <class T>
  void write(const Repeated<T>& items) {
    Group list(writer_, kListBrackets);
    for (const T& item : items) list.item([&] { write(item); });
    list.close();
  }

  template <class Integer>
  void integer(Integer value) {
    if (digits_ == IntegerDigits::Decimal) {
      append_decimal(text(), value);
    } else {
      append_hex(text(), static_cast<std::uint32_t>(value), digits_, kMultiLine<Writer>);
    }
  }

  Writer writer_;
  IntegerDigits digits_;
};

// Runs `render` with the walker of the form that `format` asks for.
template <class Render>
void walk(std::string& out, DebugFormat format, Render render) {
  if (format.multi_line) {
    render(Walker<IndentingWriter>(IndentingWriter(out), format.digits));
  } else {
    render(Walker<CompactWriter>(CompactWriter{out}, format.digits));
  }
}

}  // namespace debug_detail

template <ProtoMessage M>
void write_debug(const M& message, std::string& out, DebugFormat format = {}) {
  debug_detail::walk(out, format, [&](auto&& walker) { walker.message(message); });
}

template <ProtoMessage M>
std::string to_debug(const M& message) {
  std::string out;
  write_debug(message, out);
  return out;
}

// `<kind>(<the message's debug text>)`: the debug text of a message as one of
// the kinds of the message enum. Multi-line, the message stands on lines of
// its own between `<kind>(` and `)`, one level deeper, followed by ",".
template <ProtoMessage M>
void write_debug_as_kind(std::string_view kind, const M& message, std::string& out, DebugFormat format = {}) {
  debug_detail::walk(out, format, [&](auto&& walker) { walker.wrapped(kind, message); });
}

}  // namespace ovik::schema

// `{}` of a message in a log line is its debug text; the placeholder's options choose
// the form and the digits (debug_format.hpp): "{:#x?}" is multi-line and hexadecimal.
template <ovik::schema::ProtoMessage M>
struct fmt::formatter<M> {
  ovik::schema::DebugFormat debug_format;

  constexpr auto parse(format_parse_context& ctx) { return ovik::schema::parse_debug_format(ctx, debug_format); }
  auto format(const M& message, format_context& ctx) const {
    std::string text;
    ovik::schema::write_debug(message, text, debug_format);
    return std::copy(text.begin(), text.end(), ctx.out());
  }
};
