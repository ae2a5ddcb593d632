#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "log/capture.hpp"
#include "pipeline/fusion.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/sample_buffers.hpp"

namespace ovik::pipeline {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Fuses one sample of `port` given as correction values; its Euler angles.
// Gyro values are words: 16384 is 1000 deg/s.
std::vector<float> fuse(int port, std::uint32_t seq, schema::Repeated<float> acc,
                        schema::Repeated<float> gyro = {0, 0, 0}) {
  schema::ImuData imu{.seq_num = seq, .port = schema::CtrlBoxPort(port), .acc_correction_data = std::move(acc),
                      .gyro_correction_data = std::move(gyro)};
  const std::optional<EulerAngles> euler = mahony_update(imu, {1.0f, 0.06103515625f});
  if (!euler) return {};
  return {euler->yaw, euler->pitch, euler->roll};
}

void newest_field(float x, float y, float z) {
  update_mag_scale(1.0f);
  mag_buffer().append(std::make_shared<schema::MagData>(schema::MagData{.mag_correction_data = {x, y, z}}));
}

// One step at 1000 deg/s about z from identity turns by 2 atan(w halfT).
double yaw_after_step(double half_t) { return 2 * std::atan(double(1000 * 0.017453292f) * half_t) * 180 / kPi; }

TEST(Fusion, FirstUpdateStartsAtIdentityAndBadInputLeavesTheStateAlone) {
  EXPECT_EQ(fuse(1, 500, {0, 0, 1}), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(quaternion_buffer().take(SIZE_MAX, true), (std::vector<QuaternionRow>{{500, 1, 0, 0, 0}}));
  EXPECT_EQ(fuse(1, 600, {0, kNaN, 1}), std::vector<float>{});
  EXPECT_EQ(fuse(1, 600, {0, 0, 1}, {std::numeric_limits<float>::infinity(), 0, 0}), std::vector<float>{});
  EXPECT_EQ(quaternion_buffer().size(), 0u);
  EXPECT_NEAR(fuse(1, 502, {0, 0, 0}, {0, 0, 16384})[0], yaw_after_step(0.01), 1e-4);
}

TEST(Fusion, HalfStepFollowsTheWrappedSequenceGap) {
  for (auto [port, first, second, half_t] : {std::tuple{2, 500u, 502u, 0.01}, {3, 500u, 700u, 0.005},
                                             {4, 4294967295u, 0u, 0.005}, {5, 500u, 500u, 0.0},
                                             {6, 0u, 4294967196u, 0.5}}) {
    fuse(port, first, {0, 0, 0});
    EXPECT_NEAR(fuse(port, second, {0, 0, 0}, {0, 0, 16384})[0], yaw_after_step(half_t), 1e-4) << port;
  }
}

// Gravity seen from a body at roll 30 and pitch 20 degrees: the tilt
// converges to it. A field of dip 53 degrees seen from a body turned 40
// degrees: 9-axis turns the yaw towards it, 6-axis ignores it.
TEST(Fusion, ConvergesToGravityAndToTheField) {
  const double roll = 30 * kPi / 180, pitch = 20 * kPi / 180;
  std::vector<float> euler;
  for (std::uint32_t seq = 1; seq <= 3000; ++seq) {
    euler = fuse(10, seq, {float(-std::sin(pitch)), float(std::sin(roll) * std::cos(pitch)),
                           float(std::cos(roll) * std::cos(pitch))});
  }
  EXPECT_NEAR(euler[1], 20, 1e-2);
  EXPECT_NEAR(euler[2], 30, 1e-2);
  newest_field(float(0.3 * std::cos(40 * kPi / 180)), float(-0.3 * std::sin(40 * kPi / 180)), 0.4f);
  for (auto [mode, yaw] : {std::pair{FusionMode::Imu6Axis, 0.0}, std::pair{FusionMode::Marg9Axis, 40.0}}) {
    set_fusion_mode(mode);
    for (std::uint32_t seq = 1; seq <= 10000; ++seq) euler = fuse(11 + int(mode), seq, {0, 0, 1});
    EXPECT_NEAR(euler[0], yaw, 1e-2);
  }
}

std::string warning(const char* gauss) {
  return fmt::format("🚨 [Compass Warning] Severe magnetic anomaly detected: {} Gauss (Safe: 0.25~0.75). "
                     "Auto-downgraded to 6-axis IMU fusion to ensure motion safety!", gauss);
}

// Readings of |m| in 9-axis mode, in runs: each moves the anomaly balance;
// the warning comes at the tenth outside reading, the recovery when in-range
// readings bring the balance back to 0. Logged: "<reading number>:<text>".
TEST(Fusion, MagneticAnomalyWarningAndRecovery) {
  log::ScopedCapture capture;
  set_fusion_mode(FusionMode::Marg9Axis);
  std::vector<std::string> logged = capture.messages(kDataTarget);
  int reading = 0;
  for (auto [count, gauss] : std::vector<std::pair<int, float>>{{11, 1.2f}, {11, 0.5f}, {9, 1.2f}, {1, 0.25f}, {1, 0.75f},
                                                                {3, 1.2f}, {10, 0.5f}, {9, 1.2f}, {1, kNaN}, {1, 0}}) {
    for (int i = 0; i < count; ++i) {
      newest_field(gauss, 0, 0);
      capture.clear();
      fuse(13, ++reading, {0, 0, 1});
      for (const auto& text : capture.messages(kDataTarget)) logged.push_back(std::to_string(reading) + ":" + text);
    }
  }
  const std::string recovery =
      "✅ [Compass Recovered] Magnetic field normalized: 0.500 Gauss. Re-activated high-accuracy 9-axis fusion.";
  EXPECT_EQ(logged, (std::vector<std::string>{"Attitude fusion mode configured to: Marg9Axis", "10:" + warning("1.200"),
                                              "22:" + recovery, "36:" + warning("1.200"), "46:" + recovery,
                                              "57:" + warning("0.000")}));
}

}  // namespace
}  // namespace ovik::pipeline
