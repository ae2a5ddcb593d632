#pragma once
// Cuts checksum-valid frames of one header rule out of a byte stream. The
// stream arrives in chunks of any size; what a chunk leaves incomplete waits
// in the buffer for the next one, so where a read boundary falls never
// changes which frames are found.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "proto/msg_type.hpp"

namespace ovik::proto {

inline constexpr std::string_view kMsgParserTarget = "ovik_sdk::proto::msg_parser";

// One complete frame whose checksum matched.
struct Frame {
  std::uint8_t header_version;
  // Header version 2 only.
  std::uint8_t source_module;
  std::uint8_t destination_module;
  std::span<const std::uint8_t> payload;
};

class FrameHandler {
 public:
  // Returns true when the frame was taken; false makes the reader skip its
  // header prefix only and look for the next prefix inside it.
  virtual bool on_frame(const Frame& frame) = 0;

 protected:
  ~FrameHandler() = default;
};

class FrameReader {
 public:
  static constexpr std::size_t BUFFER_MAX_SIZE = 81920;

  explicit FrameReader(const HeaderRule& rule);
  FrameReader(const FrameReader& other);
  FrameReader& operator=(const FrameReader&) = delete;

  const HeaderRule& rule() const { return rule_; }
  std::size_t buffered() const { return buffer_.size(); }

  // False, with nothing appended, when the bytes would take the buffer past
  // BUFFER_MAX_SIZE.
  bool fits(std::size_t extra) const { return buffer_.size() + extra <= BUFFER_MAX_SIZE; }
  void append(std::span<const std::uint8_t> data);
  void clear();

  // Hands every complete frame in the buffer to `handler`, in order.
  void scan(FrameHandler& handler);

 private:
  std::span<const std::uint8_t> pending() const { return {buffer_.data() + head_, buffer_.size() - head_}; }
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::size_t find_prefix() const;
  void consume(std::size_t count) { head_ += count; }
  bool compute_expected_length();
  bool checksum_matches() const;
  bool skip_header();
  void drop_all_but_prefix_start();
  void compact();

  HeaderRule rule_;
  // A frame needs more than this many bytes before its length can be read.
  std::size_t min_header_bytes_;
  std::vector<std::uint8_t> buffer_;
  // Bytes before head_ are consumed; they are moved out once per scan.
  std::size_t head_ = 0;
  std::size_t expected_length_ = 0;
  std::size_t padding_ = 0;
};

}  // namespace ovik::proto
