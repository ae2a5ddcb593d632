// What a decoded message costs the allocator: one block per published
// result, whatever parts the message carries, as long as they fit the
// block's arena; a message larger than that goes on in heap chunks, which
// leave with its result.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "proto/message_parser.hpp"
#include "proto/result_block.hpp"
#include "schema/encode.hpp"
#include "support/frame_stream.hpp"
#include "support/frames.hpp"

namespace {
std::atomic<std::size_t> g_allocations{0};
}  // namespace

// Every allocation of this test program is counted.
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace ovik::proto {
namespace {

using schema::Bytes;

schema::SensorApp kit_message(int kind, std::uint32_t seq) {
  schema::SensorApp m{.msg_id = seq};
  switch (kind) {
    case 0: m.imu_data = schema::ImuData{.seq_num = seq, .acc_raw_data = Bytes(12, 1), .gyro_raw_data = Bytes(12, 2),
                                         .acc_correction_data = {1, 2, 3}, .gyro_correction_data = {4, 5, 6}};
            break;
    case 1: m.afe_data = schema::AfeData{.seq_num = seq, .channel_adc_value = schema::Repeated<Bytes>(8, Bytes(3, 7))};
            break;
    case 2: m.mag_data = schema::MagData{.seq_num = seq, .mag_raw_data = Bytes(6, 3), .mag_correction_data = {1, 2}};
            break;
    default: m.flex_data = schema::FlexData{.seq_num = seq, .channel_adc_value = {Bytes(24, 4)}};
  }
  return m;
}

test::Bytes frame_of(const schema::SensorApp& message) { return test::ovik_frame(3, 1, *schema::encode(message)); }

// Allocations of `parser` for the frames of `chunk`.
std::size_t allocations_for(MessageParser& parser, const test::Bytes& chunk) {
  const std::size_t before = g_allocations.load();
  parser.receive_data("dev", chunk);
  return g_allocations.load() - before;
}

// Forty frames, ten of each sensor kind.
test::Bytes kit_chunk() {
  test::Bytes chunk;
  for (std::uint32_t seq = 0; seq < 40; ++seq) {
    const test::Bytes frame = frame_of(kit_message(static_cast<int>(seq % 4), seq));
    chunk.insert(chunk.end(), frame.begin(), frame.end());
  }
  return chunk;
}

// A parser streaming for a while: its channel full, so that every result it
// publishes pushes one out.
MessageParser streaming_parser() {
  MessageParser parser("dev", MsgType::Ovik);
  const test::Bytes chunk = kit_chunk();
  for (std::size_t frames = 0; frames <= MessageParser::kChannelCapacity; frames += 40) {
    parser.receive_data("dev", chunk);
  }
  return parser;
}

TEST(ParserMemory, OneAllocationPerDecodedMessage) {
  MessageParser parser = streaming_parser();
  auto rx = parser.subscribe();
  EXPECT_EQ(allocations_for(parser, kit_chunk()), 40u);
  EXPECT_EQ(test::drain(rx).size(), 40u);
}

// Forty EMG channel entries outgrow the arena: the rest of the message takes
// one heap chunk, and its contents are those sent.
TEST(ParserMemory, LargeMessageOverflowsIntoOneChunk) {
  schema::SensorApp large = kit_message(1, 9);
  large.afe_data->channel_adc_value.assign(40, Bytes{1, 2, 3});
  ASSERT_GT(40 * sizeof(Bytes), ResultBlock::kArenaBytes);
  MessageParser parser = streaming_parser();
  auto rx = parser.subscribe();
  EXPECT_EQ(allocations_for(parser, frame_of(large)), 2u);
  const std::vector<ParseResult> results = test::drain(rx);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].message, OvikMessage(large));
}

}  // namespace
}  // namespace ovik::proto
