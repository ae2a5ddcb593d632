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

// Appends `before` at the default capacity, sets `cap`, appends `after`.
struct TrimCase {
  std::size_t cap;
  Seqs before, after, kept;
};
class Trim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(Trim, TakesEffectAtTheNextAppend) {
  SampleBuffer<std::uint32_t> buffer(BufferCap::Flex);
  for (std::uint32_t s : GetParam().before) buffer.append(s);
  set_buffer_cap(BufferCap::Flex, GetParam().cap);
  for (std::uint32_t s : GetParam().after) buffer.append(s);
  EXPECT_EQ(buffer.take(SIZE_MAX, false), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Caps, Trim,
                         ::testing::Values(TrimCase{0, {1, 2}, {3}, {}}, TrimCase{2, range(1, 5), {}, range(1, 5)},
                                           TrimCase{10, range(1, 1000), {1001}, range(992, 1001)}));

// A buffer of 1 to 10, then (take, clean) calls: what they return, what stays.
TEST(Take, NewestOldestFirstThenWhatIsLeft) {
  for (auto [calls, returned] : std::vector<std::pair<std::vector<std::pair<std::size_t, bool>>, std::vector<Seqs>>>{
           {{{3, false}, {3, false}, {SIZE_MAX, false}}, {{8, 9, 10}, {5, 6, 7}, {1, 2, 3, 4}}},
           {{{3, true}, {SIZE_MAX, false}}, {{8, 9, 10}, {}}},
           {{{0, true}, {SIZE_MAX, false}}, {{}, {}}}}) {
    SampleBuffer<std::uint32_t> buffer(BufferCap::Emg);
    for (std::uint32_t s : range(1, 10)) buffer.append(s);
    std::vector<Seqs> got;
    for (auto [take, clean] : calls) got.push_back(buffer.take(take, clean));
    EXPECT_EQ(got, returned);
  }
}

struct WordsCase {
  std::vector<std::uint8_t> bytes;
  std::vector<std::int16_t> words;
  std::vector<std::string> logged;
};
class Words : public ::testing::TestWithParam<WordsCase> {};

TEST_P(Words, OnlyWholeMultiplesOfSix) {
  log::ScopedCapture capture;
  EXPECT_EQ(bytes_to_i16(GetParam().bytes), GetParam().words);
  EXPECT_EQ(capture.messages(kAfeHandlerTarget), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(Lengths, Words,
                         ::testing::Values(WordsCase{{}, {}, {}},
                                           WordsCase{{1, 2, 3, 4, 5, 6, 7}, {}, {"Invalid data length: 7"}},
                                           WordsCase{{1, 0, 0xFF, 0xFF, 0, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0xFE, 0xFF},
                                                     {1, -1, -32768, 32767, 0x1234, -2}, {}}));

}  // namespace
}  // namespace ovik::pipeline
