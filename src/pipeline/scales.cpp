#include "pipeline/scales.hpp"

#include <mutex>

#include "common/global.hpp"

namespace ovik::pipeline {

namespace {

struct ImuScaleStore {
  std::mutex mutex;
  ImuScale value;
};

struct MagScaleStore {
  std::mutex mutex;
  float value = kDefaultMagScale;
};

Global<ImuScaleStore> g_imu_scale;
Global<MagScaleStore> g_mag_scale;

}  // namespace

ImuScale imu_scale() {
  std::lock_guard lock(g_imu_scale->mutex);
  return g_imu_scale->value;
}

float mag_scale() {
  std::lock_guard lock(g_mag_scale->mutex);
  return g_mag_scale->value;
}

void update_imu_scale(float acc_coefficient, float gyro_coefficient) {
  std::lock_guard lock(g_imu_scale->mutex);
  if (acc_coefficient > 0) g_imu_scale->value.acc = acc_coefficient;
  if (gyro_coefficient > 0) g_imu_scale->value.gyro = gyro_coefficient;
}

void update_mag_scale(float mag_coefficient) {
  if (!(mag_coefficient > 0)) return;
  std::lock_guard lock(g_mag_scale->mutex);
  g_mag_scale->value = mag_coefficient;
}

}  // namespace ovik::pipeline
