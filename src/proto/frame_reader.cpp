#include "proto/frame_reader.hpp"

#include <algorithm>
#include <cstring>

#include "log/log.hpp"
#include "proto/byte_list.hpp"
#include "proto/crc.hpp"

namespace ovik::proto {

namespace {

std::uint16_t read_le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint16_t read_be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
std::uint32_t read_be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::size_t checksum_size(const HeaderRule& rule) { return rule.header_version == 0 ? 4 : 2; }

}  // namespace

FrameReader::FrameReader(const HeaderRule& rule)
    // Header version 0 without a header (project id 0) reads its length at
    // bytes 6-7, so it needs 8 bytes like the others need their header.
    : rule_(rule), min_header_bytes_(rule.header_length == 0 ? 8 : rule.header_length) {
  buffer_.reserve(BUFFER_MAX_SIZE);
}

FrameReader::FrameReader(const FrameReader& other)
    : rule_(other.rule_),
      min_header_bytes_(other.min_header_bytes_),
      expected_length_(other.expected_length_),
      padding_(other.padding_) {
  buffer_.reserve(BUFFER_MAX_SIZE);
  auto waiting = other.pending();
  buffer_.assign(waiting.begin(), waiting.end());
}

void FrameReader::append(std::span<const std::uint8_t> data) {
  buffer_.insert(buffer_.end(), data.begin(), data.end());
}

void FrameReader::clear() {
  buffer_.clear();
  head_ = 0;
  expected_length_ = 0;
  padding_ = 0;
}

std::size_t FrameReader::find_prefix() const {
  auto data = pending();
  auto prefix = rule_.prefix();
  if (data.size() < prefix.size()) return npos;
  const std::uint8_t* base = data.data();
  const std::size_t last = data.size() - prefix.size();
  for (std::size_t i = 0; i <= last;) {
    auto* hit = static_cast<const std::uint8_t*>(std::memchr(base + i, prefix[0], last - i + 1));
    if (!hit) return npos;
    i = static_cast<std::size_t>(hit - base);
    if (std::memcmp(hit, prefix.data(), prefix.size()) == 0) return i;
    ++i;
  }
  return npos;
}

bool FrameReader::compute_expected_length() {
  auto data = pending();
  if (data.size() < min_header_bytes_) return false;
  const std::size_t n = rule_.header_version == 0 ? read_be16(data.data() + 6)
                                                  : read_le16(data.data() + rule_.prefix_size);
  if (rule_.header_version == 0) {
    const std::size_t length = rule_.header_length + n;
    padding_ = (4 - length % 4) % 4;
    expected_length_ = length + padding_ + 4;
  } else {
    padding_ = 0;
    expected_length_ = rule_.header_length + n + 2;
  }
  return true;
}

bool FrameReader::checksum_matches() const {
  auto frame = pending().first(expected_length_);
  const std::size_t covered = expected_length_ - checksum_size(rule_);
  if (rule_.header_version == 0) {
    const std::uint32_t stored = read_be32(frame.data() + covered);
    const std::uint32_t calculated = crc32_words(frame.first(covered));
    if (stored == calculated) return true;
    OVIK_LOG(Error, kMsgParserTarget, "CRC32 verification failed, expected: {:08X}, calculated: {:08X}", stored,
             calculated);
  } else {
    const std::uint16_t stored = read_le16(frame.data() + covered);
    const std::uint16_t calculated = crc16_modbus(frame.first(covered));
    if (stored == calculated) return true;
    OVIK_LOG(Error, kMsgParserTarget,
             "CRC16 verification failed, expected: {:04X}, calculated: {:04X}, expected_length: {}, buffer: {:02x?}",
             stored, calculated, expected_length_, byte_list(frame));
  }
  OVIK_LOG(Error, kMsgParserTarget, "CRC verification failed");
  return false;
}

// Drops the header prefix of a frame that failed, and resynchronises on the
// next prefix: a frame inside the failed one, or behind a false prefix, is
// still found. Returns false when there is nothing more to scan.
bool FrameReader::skip_header() {
  consume(rule_.prefix_size);
  expected_length_ = 0;
  padding_ = 0;
  const std::size_t next = find_prefix();
  if (next == npos) {
    drop_all_but_prefix_start();
    return false;
  }
  consume(next);
  return true;
}

// Keeps the longest tail that is a proper beginning of the prefix: the rest
// of that frame may be in the next chunk.
void FrameReader::drop_all_but_prefix_start() {
  auto data = pending();
  auto prefix = rule_.prefix();
  std::size_t keep = std::min(data.size(), prefix.size() - 1);
  for (; keep > 0; --keep) {
    if (std::memcmp(data.data() + data.size() - keep, prefix.data(), keep) == 0) break;
  }
  consume(data.size() - keep);
  expected_length_ = 0;
}

void FrameReader::compact() {
  if (head_ == 0) return;
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
  head_ = 0;
}

void FrameReader::scan(FrameHandler& handler) {
  // Where the search for a next frame found its prefix: the frame's own
  // search starts there instead of looking again.
  std::size_t next = npos;
  for (;;) {
    const std::size_t length = pending().size();
    if (length <= rule_.header_length || length < min_header_bytes_) {
      OVIK_LOG(Trace, kMsgParserTarget, "Buffer length: {}", length);
      break;
    }
    if (expected_length_ == 0) {
      const std::size_t at = next != npos ? next : find_prefix();
      if (at == npos) {
        OVIK_LOG(Warn, kMsgParserTarget, "Proto header is mismatch, drop the message, buffer: {:02x?}",
                 byte_list(pending()));
        OVIK_LOG(Warn, kMsgParserTarget, "header_prefix: {:?}", byte_list(rule_.prefix()));
        drop_all_but_prefix_start();
        break;
      }
      if (at > 0) {
        OVIK_LOG(Warn, kMsgParserTarget, "Found header at index: {}, trimmed {} bytes of unexpected data fragments",
                 at, at);
        consume(at);
      }
      if (!compute_expected_length()) {
        OVIK_LOG(Trace, kMsgParserTarget, "Buffer length: {}", pending().size());
        break;
      }
    }
    if (expected_length_ > pending().size()) {
      OVIK_LOG(Trace, kMsgParserTarget, "Expected length: {}, buffer length: {}", expected_length_, pending().size());
      break;
    }
    if (!checksum_matches()) {
      if (!skip_header()) break;
    } else {
      auto frame = pending().first(expected_length_);
      OVIK_LOG(Trace, kMsgParserTarget, "CRC verification passed, buffer: {:02x?}", byte_list(frame));
      Frame parsed{rule_.header_version, 0, 0,
                   frame.subspan(rule_.header_length,
                                 expected_length_ - padding_ - checksum_size(rule_) - rule_.header_length)};
      if (rule_.header_version == 2) {
        parsed.source_module = frame[rule_.header_length - 3];
        parsed.destination_module = frame[rule_.header_length - 2];
      }
      if (handler.on_frame(parsed)) {
        consume(expected_length_);
        expected_length_ = 0;
        padding_ = 0;
      } else if (!skip_header()) {
        break;
      }
    }
    next = pending().size() < rule_.prefix_size ? npos : find_prefix();
    if (next == npos) break;
    OVIK_LOG(Trace, kMsgParserTarget, "parsing next message");
  }
  compact();
}

}  // namespace ovik::proto
