#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/payload_decoders.hpp"

namespace ovik::pipeline {
namespace {

constexpr double k24 = 0.0026822093346368474;
constexpr double k16 = 0.6866664632099369;

// (flex?, payload chunks) -> values, log lines.
TEST(Decode, EmgWidthFromTheLengthFlexChannelMajor) {
  constexpr double kSeq = 4294967295.0;
  using Case = std::tuple<bool, schema::Repeated<schema::Bytes>, std::vector<double>, std::vector<std::string>>;
  for (const auto& [flex, chunks, values, logged] : std::vector<Case>{
           {false, {{0x80, 0, 0}, {0x7F, 0xFF, 0xFF}}, {kSeq, 3, -8388608 * k24, 8388607 * k24}, {}},
           {false, {{0xFF, 0xFF}, {0x80, 0}}, {kSeq, 3, -k16, -32768 * k16}, {}},
           {false, {{0, 0, 1}, {0, 0, 2, 0, 0, 3}}, {kSeq, 3, k24, 2 * k24, 3 * k24}, {}},
           {false, {}, {kSeq, 3}, {}},
           {false, {{1, 2, 3, 4, 5}}, {kSeq, 3}, {"Invalid AFE data length: 5 (not aligned to 3 bytes)"}},
           {true,
            {{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 0xFF, 0x7F}, {0xFF, 0xFF, 0, 0x80, 9, 0, 8, 0, 7, 0}, {6, 0}},
            {kSeq, 1, -1, 2, -32768, 3, 9, 4, 8, 5, 7, 32767, 6},
            {}},
           {true, {schema::Bytes(13, 0)}, {kSeq}, {"Invalid data length: 13"}}}) {
    log::ScopedCapture capture;
    const std::vector<double> got =
        flex ? decode_flex_data({.seq_num = 4294967295u, .channel_adc_value = chunks})
             : decode_afe_data({.seq_num = 4294967295u, .lead_off_bits = 3, .channel_adc_value = chunks});
    ASSERT_EQ(got.size(), values.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], values[i]) << i;
    EXPECT_EQ(capture.messages(kAfeHandlerTarget), logged);
  }
}

}  // namespace
}  // namespace ovik::pipeline
