#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/payload_decoders.hpp"
#include "pipeline/row_builders.hpp"

namespace ovik::pipeline {
namespace {

constexpr double k24 = 0.0026822093346368474;
constexpr double k16 = 0.6866664632099369;

struct DecodeCase {
  bool flex;
  std::vector<schema::Bytes> chunks;
  std::vector<double> values;
  std::vector<std::string> logged;
};
class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, EmgWidthFromTheLengthFlexChannelMajor) {
  const DecodeCase& c = GetParam();
  log::ScopedCapture capture;
  const std::vector<double> got =
      c.flex ? decode_flex_data({.seq_num = 4294967295u, .channel_adc_value = c.chunks})
             : decode_afe_data({.seq_num = 4294967295u, .lead_off_bits = 3, .channel_adc_value = c.chunks});
  ASSERT_EQ(got.size(), c.values.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], c.values[i]) << i;
  EXPECT_EQ(capture.messages(kAfeHandlerTarget), c.logged);
}

constexpr double kSeq = 4294967295.0;

INSTANTIATE_TEST_SUITE_P(
    Payloads, Decode,
    ::testing::Values(
        DecodeCase{false, {{0x80, 0, 0}, {0x7F, 0xFF, 0xFF}}, {kSeq, 3, -8388608 * k24, 8388607 * k24}, {}},
        DecodeCase{false, {{0xFF, 0xFF, 0xFE, 0, 0, 1}}, {kSeq, 3, -2 * k24, k24}, {}},
        DecodeCase{false, {{0xFF, 0xFF}, {0x80, 0}}, {kSeq, 3, -k16, -32768 * k16}, {}},
        DecodeCase{false, {{0, 0, 1}, {0, 0, 2, 0, 0, 3}}, {kSeq, 3, k24, 2 * k24, 3 * k24}, {}},
        DecodeCase{false, {}, {kSeq, 3}, {}},
        DecodeCase{false, {{1, 2, 3, 4, 5}}, {kSeq, 3}, {"Invalid AFE data length: 5 (not aligned to 3 bytes)"}},
        DecodeCase{true,
                   {{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 0xFF, 0x7F}, {0xFF, 0xFF, 0, 0x80, 9, 0, 8, 0, 7, 0}, {6, 0}},
                   {kSeq, 1, -1, 2, -32768, 3, 9, 4, 8, 5, 7, 32767, 6},
                   {}},
        DecodeCase{true, {}, {kSeq}, {}},
        DecodeCase{true, {schema::Bytes(13, 0)}, {kSeq}, {"Invalid data length: 13"}}));

// At the default scales: acc 1/8192, gyro 2000/32768, mag 50/32768.
TEST(RowBuilders, CompleteTriplesOnly) {
  schema::ImuData imu{.seq_num = 16777217, .acc_correction_data = {8192, -16384, 4096, 1, 2, 3, 4},
                      .gyro_correction_data = {32768, 0, -16384}};
  EXPECT_EQ(imu_calibration_rows(imu), (RowBatch{{16777216.0f, 1, -2, 0.5f, 2000, 0, -1000}}));
  EXPECT_EQ(euler_row(imu), Row{16777216.0f});
  imu.gyro_correction_data = {1, 2};
  EXPECT_EQ(imu_calibration_rows(imu), RowBatch{});
  EXPECT_EQ(mag_calibration_rows({.seq_num = 9, .mag_correction_data = {32768, -65536, 0, 1, 2}}),
            (RowBatch{{9, 50, -100, 0}}));
  EXPECT_EQ(imu_word_row({.seq_num = 40000, .acc_raw_data = {1, 0, 2, 0, 3, 0}, .gyro_raw_data = {0, 0x80, 5}}),
            (std::vector<std::int16_t>{-25536, 1, 2, 3}));
}

}  // namespace
}  // namespace ovik::pipeline
