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
  std::vector<schema::Bytes> chunks;
  std::vector<double> values;  // after the header values
  std::vector<std::string> logged;
};

class Afe : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Afe, WidthFollowsThePayloadLength) {
  log::ScopedCapture capture;
  schema::AfeData afe;
  afe.seq_num = 4294967295u;
  afe.lead_off_bits = 3;
  afe.channel_adc_value = GetParam().chunks;
  std::vector<double> expected{4294967295.0, 3.0};
  expected.insert(expected.end(), GetParam().values.begin(), GetParam().values.end());
  const std::vector<double> got = decode_afe_data(afe);
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], expected[i]) << i;
  EXPECT_EQ(capture.messages(kAfeHandlerTarget), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, Afe,
    ::testing::Values(DecodeCase{{{0x80, 0, 0}, {0x7F, 0xFF, 0xFF}}, {-8388608 * k24, 8388607 * k24}, {}},
                      DecodeCase{{{0xFF, 0xFF, 0xFE, 0x00, 0x00, 0x01}}, {-2 * k24, 1 * k24}, {}},
                      DecodeCase{{{0xFF, 0xFF}, {0x80, 0x00}}, {-1 * k16, -32768 * k16}, {}},
                      DecodeCase{{{0, 0, 1}, {0, 0, 2, 0, 0, 3}}, {k24, 2 * k24, 3 * k24}, {}},
                      DecodeCase{{}, {}, {}},
                      DecodeCase{{{1, 2, 3, 4, 5}}, {}, {"Invalid AFE data length: 5 (not aligned to 3 bytes)"}}));

class Flex : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Flex, ChannelMajorLittleEndianWords) {
  log::ScopedCapture capture;
  schema::FlexData flex;
  flex.seq_num = 7;
  flex.channel_adc_value = GetParam().chunks;
  std::vector<double> expected{7.0};
  expected.insert(expected.end(), GetParam().values.begin(), GetParam().values.end());
  EXPECT_EQ(decode_flex_data(flex), expected);
  EXPECT_EQ(capture.messages(kAfeHandlerTarget), GetParam().logged);
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, Flex,
    ::testing::Values(DecodeCase{{{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 0xFF, 0x7F}, {0xFF, 0xFF, 0, 0x80, 9, 0, 8, 0, 7, 0},
                                  {6, 0}},
                                 {1, -1, 2, -32768, 3, 9, 4, 8, 5, 7, 32767, 6},
                                 {}},
                      DecodeCase{{}, {}, {}},
                      DecodeCase{{schema::Bytes(13, 0)}, {}, {"Invalid data length: 13"}}));

// Row builders at the default scales (acc 1/8192, gyro 2000/32768, mag 50/32768).
TEST(RowBuilders, CompleteTriplesOnly) {
  schema::ImuData imu;
  imu.seq_num = 16777217;  // not a float: rounds to 16777216
  imu.acc_correction_data = {8192, -16384, 4096, 1, 2, 3, 4};
  imu.gyro_correction_data = {32768, 0, -16384};
  EXPECT_EQ(imu_calibration_rows(imu), (RowBatch{{16777216.0f, 1.0f, -2.0f, 0.5f, 2000.0f, 0.0f, -1000.0f}}));
  imu.gyro_correction_data = {1, 2};
  EXPECT_EQ(imu_calibration_rows(imu), RowBatch{});
  EXPECT_EQ(euler_row(imu), (Row{16777216.0f}));
  imu.euler_raw_data = {1.5f, -2.5f, 3.5f};
  EXPECT_EQ(euler_row(imu), (Row{16777216.0f, 1.5f, -2.5f, 3.5f}));

  schema::MagData mag;
  mag.seq_num = 9;
  mag.mag_correction_data = {32768, -65536, 0, 1, 2};
  EXPECT_EQ(mag_calibration_rows(mag), (RowBatch{{9.0f, 50.0f, -100.0f, 0.0f}}));
  mag.mag_raw_data = {0x00, 0x80, 0x01, 0x00, 0xFF, 0xFF};
  EXPECT_EQ(mag_rows(mag, 2.0f), (RowBatch{{9.0f, -65536.0f, 2.0f, -2.0f}}));
  EXPECT_EQ(mag_word_row(mag), (std::vector<std::int16_t>{9, -32768, 1, -1}));
  imu.seq_num = 40000;
  imu.acc_raw_data = {1, 0, 2, 0, 3, 0};
  imu.gyro_raw_data = {4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0};
  EXPECT_EQ(imu_word_row(imu), (std::vector<std::int16_t>{-25536, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(imu_rows(imu, {2.0f, 3.0f}), (RowBatch{{40000.0f, 2.0f, 4.0f, 6.0f, 12.0f, 15.0f, 18.0f}}));
}

}  // namespace
}  // namespace ovik::pipeline
