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

bool scan_varint(const std::uint8_t*& p, const std::uint8_t* end, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; p < end && shift < 70; shift += 7) {
    const std::uint8_t byte = *p++;
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return true;
  }
  return false;
}

// How many values with this key a message holds from `p` (the value about to
// be read) to `end`, that one included: lets a repeated field's list be
// allocated once. A rough count on a malformed payload is harmless: the
// decoding proper checks everything.
std::size_t count_values(const std::uint8_t* p, const std::uint8_t* end, std::uint64_t key) {
  std::size_t count = 1;
  std::uint64_t v;
  if (!scan_varint(p, end, v) || v > static_cast<std::uint64_t>(end - p)) return count;
  p += v;
  while (p < end) {
    std::uint64_t k;
    if (!scan_varint(p, end, k)) break;
    if (k == key) ++count;
    switch (k & 7) {
      case kVarint:
        if (!scan_varint(p, end, v)) return count;
        continue;
      case kFixed64: v = 8; break;
      case kLengthDelimited:
        if (!scan_varint(p, end, v)) return count;
        break;
      case kFixed32: v = 4; break;
      default: return count;  // groups: stop counting
    }
    if (v > static_cast<std::uint64_t>(end - p)) break;
    p += v;
  }
  return count;
}

// One pass over one payload. Every read is bounded by the end of the message
// being decoded, so a field cannot run past its sub-message.
class Decoder {
 public:
  Decoder(std::span<const std::uint8_t> payload, Arena* arena)
      : p_(payload.data()), end_(payload.data() + payload.size()), arena_(arena) {}

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
  // Reads the value of one known field into its member; `wire` is the wire
  // type of the key just read.
  struct FieldReader {
    Decoder& d;
    std::uint32_t wire;
    const std::uint8_t* end;
    int budget;
    const FieldInfo* failed = nullptr;
    std::uint32_t key = 0;

    template <class T>
    [[gnu::always_inline]] bool operator()(const FieldInfo& field, T& member) {
      key = field.number << 3 | wire;
      if (read(member)) return true;
      failed = &field;
      return false;
    }

    [[gnu::always_inline]] bool varint(std::uint64_t& value) {
      return expect(kVarint) && d.varint(end, value);
    }
    [[gnu::always_inline]] bool read(std::uint32_t& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = static_cast<std::uint32_t>(v);
      return true;
    }
    [[gnu::always_inline]] bool read(std::int32_t& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      return true;
    }
    [[gnu::always_inline]] bool read(bool& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = v != 0;
      return true;
    }
    template <Enumeration E>
    [[gnu::always_inline]] bool read(E& member) {
      std::uint64_t v;
      if (!varint(v)) return false;
      member = static_cast<E>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
      return true;
    }
    [[gnu::always_inline]] bool read(float& member) { return expect(kFixed32) && d.fixed32(end, member); }
    bool read(std::string& member) {
      std::size_t n = 0;
      if (!expect(kLengthDelimited) || !d.length(end, n)) return false;
      if (!is_valid_utf8(d.p_, n)) return d.fail("invalid UTF-8 in string");
      member.assign(reinterpret_cast<const char*>(d.p_), n);
      d.p_ += n;
      return true;
    }
    bool read(Bytes& member) {
      std::size_t n = 0;
      if (!expect(kLengthDelimited) || !d.length(end, n)) return false;
      d.adopt(member);
      member.assign(d.p_, d.p_ + n);
      d.p_ += n;
      return true;
    }
    template <ProtoMessage M>
    bool read(Optional<M>& member) {
      // A repeated occurrence merges into the record already present.
      return sub_message([&]() -> M& {
        if (member) return *member;
        return d.arena_ ? member.emplace_in(*d.arena_) : member.emplace();
      });
    }
    template <ProtoMessage M>
    bool read(Repeated<M>& member) {
      if (member.empty()) d.reserve(member, count_values(d.p_, end, key));
      return sub_message([&]() -> M& { return member.emplace_back(); });
    }
    bool read(Repeated<Bytes>& member) {
      if (member.empty()) d.reserve(member, count_values(d.p_, end, key));
      return read(member.emplace_back());
    }
    bool read(Repeated<float>& member) {
      d.adopt(member);
      if (wire == kFixed32) return d.fixed32(end, member.emplace_back());
      std::size_t n = 0;
      if (!expect_packed(kFixed32) || !d.length(end, n)) return false;
      if (n % 4 != 0) return d.fail("packed floats of {} bytes, not a multiple of 4", n);
      if (n == 0) return true;  // an empty list has no storage to copy into
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
    bool read(Repeated<E>& member) {
      d.adopt(member);
      E value;
      if (wire == kVarint) return read(value) && (member.push_back(value), true);
      std::size_t n = 0;
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
      std::size_t n = 0;
      if (!expect(kLengthDelimited) || !d.length(end, n)) return false;
      if (budget == 0) return d.fail("nesting limit reached");
      return d.fields(target(), d.p_ + n, budget - 1);
    }
    bool expect(std::uint32_t wanted) {
      if (wire == wanted) return true;
      return d.fail("invalid wire type {} (expected {})", wire, wanted);
    }
    // A repeated scalar also comes packed (wire type 2).
    bool expect_packed(std::uint32_t single) {
      if (wire == kLengthDelimited) return true;
      return d.fail("invalid wire type {} (expected {} or 2)", wire, single);
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

  [[gnu::always_inline]] bool key(const std::uint8_t* end, std::uint32_t& number, std::uint32_t& type) {
    std::uint64_t k;
    if (!varint(end, k)) return false;
    type = static_cast<std::uint32_t>(k & 7);
    number = static_cast<std::uint32_t>(k >> 3);
    if (k <= 0xFFFFFFFFu && type <= kFixed32 && number != 0) [[likely]] return true;
    return bad_key(k);
  }

  [[gnu::cold, gnu::noinline]] bool bad_key(std::uint64_t k) {
    if (k > 0xFFFFFFFFu) return fail("invalid key {}: above 32 bits", k);
    if ((k & 7) > kFixed32) return fail("invalid wire type {}", k & 7);
    return fail("invalid field number 0");
  }

  bool skip(std::uint32_t number, std::uint32_t type, const std::uint8_t* end, int budget) {
    std::uint64_t ignored;
    std::size_t n = 0;
    switch (type) {
      case kVarint: return varint(end, ignored);
      case kFixed64: return advance(end, 8);
      case kLengthDelimited: return length(end, n) && advance(end, n);
      case kFixed32: return advance(end, 4);
      case kStartGroup:
        if (budget == 0) return fail("nesting limit reached");
        return skip_group(number, end, budget - 1);
      default: return fail("end-group of field {} closes no group", number);
    }
  }

  bool skip_group(std::uint32_t group, const std::uint8_t* end, int budget) {
    for (;;) {
      if (p_ >= end) return fail("group of field {} is not closed", group);
      std::uint32_t number, type;
      if (!key(end, number, type)) return false;
      if (type == kEndGroup) {
        if (number == group) return true;
        return fail("end-group of field {} closes the group of field {}", number, group);
      }
      if (!skip(number, type, end, budget)) return false;
    }
  }

  // A list or byte string of the record being decoded takes its storage from
  // the arena, when there is one; the record was made by this decoding, so
  // the container is still empty.
  template <class T>
  void adopt(Repeated<T>& container) {
    if (arena_ && container.get_allocator().arena() != arena_) {
      container = Repeated<T>(ArenaAllocator<T>(arena_));
    }
  }
  template <class T>
  void reserve(Repeated<T>& container, std::size_t count) {
    adopt(container);
    container.reserve(count);
  }

  [[gnu::always_inline]] bool varint(const std::uint8_t* end, std::uint64_t& value) {
    if (p_ < end && *p_ < 0x80) [[likely]] {
      value = *p_++;
      return true;
    }
    return long_varint(end, value);
  }

  [[gnu::noinline]] bool long_varint(const std::uint8_t* end, std::uint64_t& value) {
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
  [[gnu::always_inline]] bool length(const std::uint8_t* end, std::size_t& n) {
    std::uint64_t v;
    if (!varint(end, v)) return false;
    if (v > static_cast<std::uint64_t>(end - p_)) [[unlikely]] {
      return fail("length {} runs past the end ({} bytes left)", v, end - p_);
    }
    n = static_cast<std::size_t>(v);
    return true;
  }

  bool advance(const std::uint8_t* end, std::size_t n) {
    if (n > static_cast<std::size_t>(end - p_)) {
      return fail("value of {} bytes runs past the end ({} bytes left)", n, end - p_);
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

  // Out of line: formatting must not weigh on the paths that succeed.
  template <class... Args>
  [[gnu::cold, gnu::noinline]] bool fail(fmt::format_string<Args...> text, Args&&... args) {
    description_ = fmt::format(text, std::forward<Args>(args)...);
    return false;
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
  Arena* arena_;
  std::string description_;
  std::vector<std::pair<std::string_view, std::string_view>> path_;
};

// Converts into the decoded record; Result's constructor builds its value
// from this conversion's result in place, so the record is never moved.
template <class T>
struct InPlace {
  Decoder& decoder;
  bool& ok;
  operator T() const {
    T message;
    ok = decoder.decode_top(message);
    return message;
  }
};

}  // namespace

template <ProtoMessage T>
Result<T> decode(std::span<const std::uint8_t> payload, Arena* arena) {
  Decoder decoder(payload, arena);
  bool ok = false;
  Result<T> result{InPlace<T>{decoder, ok}};
  if (!ok) result = fail(decoder.error_text());
  return result;
}

#define OVIK_INSTANTIATE_DECODE_(Name) template Result<Name> decode<Name>(std::span<const std::uint8_t>, Arena*);
OVIK_SCHEMA_MESSAGES(OVIK_INSTANTIATE_DECODE_)

}  // namespace ovik::schema
