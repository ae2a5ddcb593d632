#include "schema/decode.hpp"

#include <fmt/format.h>

#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "schema/utf8.hpp"
#include "schema/wire.hpp"

namespace ovik::schema {
namespace {

using namespace wire;

// One pass over one payload. Every read is bounded by the end of the message
// being decoded, so a field cannot run past its sub-message.
class Decoder {
 public:
  explicit Decoder(std::span<const std::uint8_t> payload)
      : p_(payload.data()), end_(payload.data() + payload.size()) {}

  template <class M>
  bool decode_top(M& message) {
    return fields(message, end_, kNestingBudget);
  }

  std::string error_text() const {
    if (path_.empty()) return description_;
    std::string text = description_ + " at ";
    for (std::size_t i = 0; i < path_.size(); ++i) {
      if (i > 0) text += ", ";
      text += fmt::format("{}.{}", path_[i].first, path_[i].second);
    }
    return text;
  }

 private:
  // Reads the value of one known field into its member; `wire_` holds the
  // wire type of the key just read.
  struct FieldReader {
    Decoder& d;
    std::uint32_t wire;
    const std::uint8_t* end;
    int budget;
    const FieldInfo* failed = nullptr;

    template <class T>
    bool operator()(const FieldInfo& field, T& member) {
      if (read(member)) return true;
      failed = &field;
      return false;
    }

    bool varint(std::uint64_t& value) {
      return expect(kVarint) && d.varint(end, value);
    }
    bool read(std::uint32_t& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = static_cast<std::uint32_t>(v);
      return true;
    }
    bool read(std::int32_t& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      return true;
    }
    bool read(bool& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = v != 0;
      return true;
    }
    template <Enumeration E>
    bool read(E& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = static_cast<E>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
      return true;
    }
    bool read(float& member) { return expect(kFixed32) && d.fixed32(end, member); }
    bool read(std::string& member) {
      std::size_t n;
      if (!expect(kLengthDelimited) || !d.length(end, n)) return false;
      if (!is_valid_utf8(d.p_, n)) return d.fail("invalid UTF-8 in string");
      member.assign(reinterpret_cast<const char*>(d.p_), n);
      d.p_ += n;
      return true;
    }
    bool read(Bytes& member) {
      std::size_t n;
      if (!expect(kLengthDelimited) || !d.length(end, n)) return false;
      member.assign(d.p_, d.p_ + n);
      d.p_ += n;
      return true;
    }
    template <ProtoMessage M>
    bool read(std::optional<M>& member) {
      // A repeated occurrence merges into the record already present.
      return sub_message([&]() -> M& { return member ? *member : member.emplace(); });
    }
    template <ProtoMessage M>
    bool read(std::vector<M>& member) {
      return sub_message([&]() -> M& { return member.emplace_back(); });
    }
    bool read(std::vector<Bytes>& member) { return read(member.emplace_back()); }
    bool read(std::vector<float>& member) {
      if (wire == kFixed32) return d.fixed32(end, member.emplace_back());
      std::size_t n;
      if (!expect_packed(kFixed32) || !d.length(end, n)) return false;
      if (n % 4 != 0) return d.fail(fmt::format("packed floats of {} bytes, not a multiple of 4", n));
      const std::size_t old = member.size();
      member.resize(old + n / 4);
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(member.data() + old, d.p_, n);
        d.p_ += n;
      } else {
        for (std::size_t i = old; i < member.size(); ++i) d.fixed32(end, member[i]);
      }
      return true;
    }
    template <Enumeration E>
    bool read(std::vector<E>& member) {
      E value;
      if (wire == kVarint) return read(value) && (member.push_back(value), true);
      std::size_t n;
      if (!expect_packed(kVarint) || !d.length(end, n)) return false;
      const std::uint8_t* run_end = d.p_ + n;
      while (d.p_ < run_end) {
        std::uint64_t v;
        if (!d.varint(run_end, v)) return false;
        member.push_back(static_cast<E>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v))));
      }
      return true;
    }

    template <class Target>
    bool sub_message(Target target) {
      std::size_t n;
      if (!expect(kLengthDelimited) || !d.length(end, n)) return false;
      if (budget == 0) return d.fail("nesting limit reached");
      return d.fields(target(), d.p_ + n, budget - 1);
    }
    bool expect(std::uint32_t wanted) {
      if (wire == wanted) return true;
      return d.fail(fmt::format("invalid wire type {} (expected {})", wire, wanted));
    }
    // A repeated scalar also comes packed (wire type 2).
    bool expect_packed(std::uint32_t single) {
      if (wire == kLengthDelimited) return true;
      return d.fail(fmt::format("invalid wire type {} (expected {} or 2)", wire, single));
    }
  };

  template <class M>
  bool fields(M& message, const std::uint8_t* end, int budget) {
    while (p_ < end) {
      std::uint32_t number, type;
      if (!key(end, number, type)) return false;
      FieldReader reader{*this, type, end, budget};
      auto unknown = [&] { return skip(number, type, end, budget); };
      if (visit_field(message, number, reader, unknown)) continue;
      if (reader.failed) path_.emplace_back(MessageTraits<M>::descriptor.name, reader.failed->name);
      return false;
    }
    return true;
  }

  bool key(const std::uint8_t* end, std::uint32_t& number, std::uint32_t& type) {
    std::uint64_t k;
    if (!varint(end, k)) return false;
    if (k > 0xFFFFFFFFu) return fail(fmt::format("invalid key {}: above 32 bits", k));
    type = static_cast<std::uint32_t>(k & 7);
    number = static_cast<std::uint32_t>(k >> 3);
    if (type > kFixed32) return fail(fmt::format("invalid wire type {}", type));
    if (number == 0) return fail("invalid field number 0");
    return true;
  }

  bool skip(std::uint32_t number, std::uint32_t type, const std::uint8_t* end, int budget) {
    std::uint64_t ignored;
    std::size_t n;
    switch (type) {
      case kVarint: return varint(end, ignored);
      case kFixed64: return advance(end, 8);
      case kLengthDelimited: return length(end, n) && advance(end, n);
      case kFixed32: return advance(end, 4);
      case kStartGroup:
        if (budget == 0) return fail("nesting limit reached");
        return skip_group(number, end, budget - 1);
      default: return fail(fmt::format("end-group of field {} closes no group", number));
    }
  }

  bool skip_group(std::uint32_t group, const std::uint8_t* end, int budget) {
    for (;;) {
      if (p_ >= end) return fail(fmt::format("group of field {} is not closed", group));
      std::uint32_t number, type;
      if (!key(end, number, type)) return false;
      if (type == kEndGroup) {
        if (number == group) return true;
        return fail(fmt::format("end-group of field {} closes the group of field {}", number, group));
      }
      if (!skip(number, type, end, budget)) return false;
    }
  }

  bool varint(const std::uint8_t* end, std::uint64_t& value) {
    if (p_ < end && *p_ < 0x80) {
      value = *p_++;
      return true;
    }
    value = 0;
    for (int i = 0; i < 10; ++i) {
      if (p_ >= end) return fail("varint runs past the end");
      const std::uint8_t byte = *p_++;
      value |= static_cast<std::uint64_t>(byte & 0x7F) << (7 * i);
      if (byte < 0x80) return true;
    }
    return fail("varint longer than ten bytes");
  }

  // Reads a length and checks that that many bytes are left.
  bool length(const std::uint8_t* end, std::size_t& n) {
    std::uint64_t v;
    if (!varint(end, v)) return false;
    if (v > static_cast<std::uint64_t>(end - p_)) {
      return fail(fmt::format("length {} runs past the end ({} bytes left)", v, end - p_));
    }
    n = static_cast<std::size_t>(v);
    return true;
  }

  bool advance(const std::uint8_t* end, std::size_t n) {
    if (n > static_cast<std::size_t>(end - p_)) {
      return fail(fmt::format("value of {} bytes runs past the end ({} bytes left)", n, end - p_));
    }
    p_ += n;
    return true;
  }

  bool fixed32(const std::uint8_t* end, float& value) {
    if (end - p_ < 4) return advance(end, 4);
    std::uint32_t bits = static_cast<std::uint32_t>(p_[0]) | static_cast<std::uint32_t>(p_[1]) << 8 |
                         static_cast<std::uint32_t>(p_[2]) << 16 | static_cast<std::uint32_t>(p_[3]) << 24;
    value = std::bit_cast<float>(bits);
    p_ += 4;
    return true;
  }

  bool fail(std::string description) {
    description_ = std::move(description);
    return false;
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
  std::string description_;
  std::vector<std::pair<std::string_view, std::string_view>> path_;
};

}  // namespace

template <ProtoMessage T>
Result<T> decode(std::span<const std::uint8_t> payload) {
  T message;
  Decoder decoder(payload);
  if (!decoder.decode_top(message)) return fail(decoder.error_text());
  return message;
}

#define OVIK_INSTANTIATE_DECODE_(Name) template Result<Name> decode<Name>(std::span<const std::uint8_t>);
OVIK_SCHEMA_MESSAGES(OVIK_INSTANTIATE_DECODE_)

}  // namespace ovik::schema
