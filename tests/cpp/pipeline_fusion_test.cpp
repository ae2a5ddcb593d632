#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "log/capture.hpp"
#include "pipeline/fusion.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/sample_buffers.hpp"

namespace ovik::pipeline {
namespace {

constexpr ImuScale kUnit{1.0f, 1.0f};
constexpr ImuScale kGyroWords{1.0f, 0.06103515625f};  // word 16384 = 1000 deg/s
constexpr double kPi = 3.14159265358979323846;

// Fuses one sample of port `port` given as correction values; its Euler angles.
std::vector<float> fuse(std::uint32_t port, std::uint32_t seq, std::vector<float> acc, std::vector<float> gyro,
                        ImuScale scale = kUnit) {
  schema::ImuData imu;
  imu.port = static_cast<schema::CtrlBoxPort>(port);
  imu.seq_num = seq;
  imu.acc_correction_data = std::move(acc);
  imu.gyro_correction_data = std::move(gyro);
  mahony_update(imu, scale);
  return imu.euler_raw_data;
}

void newest_field(float x, float y, float z) {
  auto mag = std::make_shared<schema::MagData>();
  mag->mag_correction_data = {x, y, z};
  mag_buffer().append(std::move(mag));
}

TEST(Fusion, FirstUpdateOfAPortStartsAtIdentity) {
  EXPECT_EQ(fuse(1, 500, {0, 0, 1}, {0, 0, 0}), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(quaternion_buffer().take(SIZE_MAX, true), (std::vector<QuaternionRow>{{500, 1, 0, 0, 0}}));
}

struct StepCase {
  std::uint32_t first, second;
  double half_t;
};

class GyroStep : public ::testing::TestWithParam<StepCase> {};

// From identity, one step at 1000 deg/s about z turns by 2 atan(w halfT).
TEST_P(GyroStep, HalfStepFollowsTheWrappedSequenceGap) {
  const StepCase& c = GetParam();
  fuse(2, c.first, {0, 0, 0}, {0, 0, 0});
  const double rate = static_cast<double>(1000 * 0.017453292f);
  const double yaw = 2 * std::atan(rate * c.half_t) * 180 / kPi;
  EXPECT_NEAR(fuse(2, c.second, {0, 0, 0}, {0, 0, 16384}, kGyroWords)[0], yaw, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Gaps, GyroStep,
                         ::testing::Values(StepCase{500, 502, 0.01}, StepCase{500, 700, 0.005},
                                           StepCase{4294967295u, 0, 0.005}, StepCase{500, 500, 0},
                                           StepCase{0, 4294967196u, 0.5}));

TEST(Fusion, NonFiniteInputLeavesTheStateAlone) {
  fuse(3, 500, {0, 0, 0}, {0, 0, 0});
  quaternion_buffer().clear();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(fuse(3, 600, {0, nan, 1}, {0, 0, 0}), std::vector<float>{});
  EXPECT_EQ(fuse(3, 600, {0, 0, 1}, {std::numeric_limits<float>::infinity(), 0, 0}), std::vector<float>{});
  EXPECT_EQ(quaternion_buffer().size(), 0u);
  const double yaw = 2 * std::atan(static_cast<double>(1000 * 0.017453292f) * 0.01) * 180 / kPi;
  EXPECT_NEAR(fuse(3, 502, {0, 0, 0}, {0, 0, 16384}, kGyroWords)[0], yaw, 1e-4);
}

TEST(Fusion, TiltConvergesToGravity) {
  const double roll = 30 * kPi / 180, pitch = 20 * kPi / 180;
  const std::vector<float> acc{static_cast<float>(-std::sin(pitch)), static_cast<float>(std::sin(roll) * std::cos(pitch)),
                               static_cast<float>(std::cos(roll) * std::cos(pitch))};
  std::vector<float> euler;
  for (std::uint32_t seq = 1; seq <= 3000; ++seq) euler = fuse(4, seq, acc, {0, 0, 0});
  EXPECT_NEAR(euler[1], 20, 1e-2);
  EXPECT_NEAR(euler[2], 30, 1e-2);
}

// A field of dip 53 degrees seen from a body turned 40 degrees: 9-axis turns
// the yaw towards it, 6-axis ignores it.
TEST(Fusion, NineAxisYawFollowsTheField) {
  const double heading = 40 * kPi / 180;
  update_mag_scale(1.0f);
  newest_field(static_cast<float>(0.3 * std::cos(heading)), static_cast<float>(-0.3 * std::sin(heading)), 0.4f);
  for (auto [mode, yaw] : {std::pair{FusionMode::Imu6Axis, 0.0}, std::pair{FusionMode::Marg9Axis, 40.0}}) {
    set_fusion_mode(mode);
    std::vector<float> euler;
    for (std::uint32_t seq = 1; seq <= 10000; ++seq) euler = fuse(5 + static_cast<int>(mode), seq, {0, 0, 1}, {0, 0, 0});
    EXPECT_NEAR(euler[0], yaw, 1e-2);
  }
}

struct AnomalyCase {
  std::vector<float> readings;     // |m| in Gauss
  std::vector<std::string> logged;  // "<reading number>:<text>"
};

class Anomaly : public ::testing::TestWithParam<AnomalyCase> {};

TEST_P(Anomaly, WarnsAtTheTenthOutsideReadingAndRecoversAtZero) {
  update_mag_scale(1.0f);
  log::ScopedCapture capture;
  set_fusion_mode(FusionMode::Marg9Axis);
  std::vector<std::string> logged;
  for (std::size_t i = 0; i < GetParam().readings.size(); ++i) {
    newest_field(GetParam().readings[i], 0, 0);
    capture.clear();
    fuse(7, static_cast<std::uint32_t>(i), {0, 0, 1}, {0, 0, 0});
    for (const std::string& text : capture.messages(kDataTarget)) logged.push_back(std::to_string(i + 1) + ":" + text);
  }
  EXPECT_EQ(logged, GetParam().logged);
}

const std::string kWarning =
    "🚨 [Compass Warning] Severe magnetic anomaly detected: 1.200 Gauss (Safe: 0.25~0.75). Auto-downgraded to 6-axis "
    "IMU fusion to ensure motion safety!";

std::vector<float> repeat(std::initializer_list<std::pair<int, float>> runs) {
  std::vector<float> out;
  for (auto [n, value] : runs) out.insert(out.end(), n, value);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Readings, Anomaly,
    ::testing::Values(AnomalyCase{repeat({{11, 1.2f}, {11, 0.5f}}),
                                  {"10:" + kWarning,
                                   "22:✅ [Compass Recovered] Magnetic field normalized: 0.500 Gauss. Re-activated "
                                   "high-accuracy 9-axis fusion."}},
                      AnomalyCase{repeat({{9, 1.2f}, {1, 0.25f}, {1, 0.75f}, {3, 1.2f}}), {"14:" + kWarning}},
                      AnomalyCase{repeat({{9, 1.2f}, {1, std::numeric_limits<float>::quiet_NaN()}, {1, 0.0f}}),
                                  {"11:🚨 [Compass Warning] Severe magnetic anomaly detected: 0.000 Gauss (Safe: "
                                   "0.25~0.75). Auto-downgraded to 6-axis IMU fusion to ensure motion safety!"}}));

TEST(Fusion, ModeChangeIsLogged) {
  log::ScopedCapture capture;
  set_fusion_mode(FusionMode::Marg9Axis);
  set_fusion_mode(FusionMode::Imu6Axis);
  EXPECT_EQ(capture.messages(kDataTarget), (std::vector<std::string>{"Attitude fusion mode configured to: Marg9Axis",
                                                                     "Attitude fusion mode configured to: Imu6Axis"}));
}

}  // namespace
}  // namespace ovik::pipeline
