#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/payload_decoders.hpp"
#include "pipeline/sample_buffer.hpp"

namespace ovik::pipeline {
namespace {

using Seqs = std::vector<std::uint32_t>;

Seqs range(std::uint32_t first, std::uint32_t last) {
  Seqs seqs;
  for (std::uint32_t s = first; s <= last; ++s) seqs.push_back(s);
  return seqs;
}

// Appends `before` at the default capacity, sets `cap`, appends `after`:
// what is kept.
TEST(Trim, TakesEffectAtTheNextAppend) {
  for (auto [cap, before, after, kept] : std::vector<std::tuple<std::size_t, Seqs, Seqs, Seqs>>{
           {0, {1, 2}, {3}, {}}, {2, range(1, 5), {}, range(1, 5)}, {10, range(1, 1000), {1001}, range(992, 1001)}}) {
    set_buffer_cap(BufferCap::Flex, kDefaultBufferCap);
    SampleBuffer<std::uint32_t> buffer(BufferCap::Flex);
    for (std::uint32_t s : before) buffer.append(s);
    set_buffer_cap(BufferCap::Flex, cap);
    for (std::uint32_t s : after) buffer.append(s);
    EXPECT_EQ(buffer.take(SIZE_MAX, false), kept);
  }
}

// What a capacity of 0 trims at once is still handed to the callback whole.
TEST(Trim, CapacityZeroStillHandsTheRecordOn) {
  set_buffer_cap(BufferCap::Flex, 0);
  SampleBuffer<std::shared_ptr<const schema::FlexData>> buffer(BufferCap::Flex);
  schema::FlexData flex;
  flex.seq_num = 77;
  std::uint32_t seen = 0;
  buffer.append(std::make_shared<const schema::FlexData>(flex), [&](const auto& record) { seen = record->seq_num; });
  set_buffer_cap(BufferCap::Flex, kDefaultBufferCap);
  EXPECT_EQ(seen, 77u);
  EXPECT_EQ(buffer.size(), 0u);
}

TEST(Words, OnlyWholeMultiplesOfSix) {
  using Case = std::tuple<schema::Bytes, std::vector<std::int16_t>, std::vector<std::string>>;
  for (auto [bytes, words, logged] : std::vector<Case>{
           {{}, {}, {}},
           {{1, 2, 3, 4, 5, 6, 7}, {}, {"Invalid data length: 7"}},
           {{1, 0, 0xFF, 0xFF, 0, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0xFE, 0xFF}, {1, -1, -32768, 32767, 0x1234, -2}, {}}}) {
    log::ScopedCapture capture;
    EXPECT_EQ(bytes_to_i16(bytes), words);
    EXPECT_EQ(capture.messages(kAfeHandlerTarget), logged);
  }
}

}  // namespace
}  // namespace ovik::pipeline
