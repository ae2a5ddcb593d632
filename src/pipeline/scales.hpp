#pragma once
// The conversion scales of the IMU and the magnetometer: raw signed 16-bit
// words and correction values times the scale give physical units. A
// configuration reply replaces a scale by each coefficient above zero.
namespace ovik::pipeline {

struct ImuScale {
  float acc = 0.0001220703125f;  // 1/8192
  float gyro = 0.06103515625f;   // 2000/32768
};
inline constexpr float kDefaultMagScale = 0.00152587890625f;  // 50/32768

ImuScale imu_scale();
float mag_scale();

// Each coefficient replaces its scale only when it is above zero (so zero,
// negative values and NaN keep the scale).
void update_imu_scale(float acc_coefficient, float gyro_coefficient);
void update_mag_scale(float mag_coefficient);

}  // namespace ovik::pipeline
