#include "pipeline/scales.hpp"

#include <atomic>
#include <bit>
#include <cstdint>

namespace ovik::pipeline {

namespace {

// Read for every IMU and magnetometer message, replaced by rare configuration
// replies: lone atomic words, so that a reader takes no lock. The two IMU
// scales share one word and are read as a pair.
constexpr std::uint64_t pack(ImuScale scale) {
  return std::uint64_t{std::bit_cast<std::uint32_t>(scale.acc)} << 32 | std::bit_cast<std::uint32_t>(scale.gyro);
}

constexpr ImuScale unpack(std::uint64_t word) {
  return {std::bit_cast<float>(static_cast<std::uint32_t>(word >> 32)),
          std::bit_cast<float>(static_cast<std::uint32_t>(word))};
}

constinit std::atomic<std::uint64_t> g_imu_scale{pack(ImuScale{})};
constinit std::atomic<float> g_mag_scale{kDefaultMagScale};

}  // namespace

ImuScale imu_scale() { return unpack(g_imu_scale.load(std::memory_order_acquire)); }

float mag_scale() { return g_mag_scale.load(std::memory_order_acquire); }

void update_imu_scale(float acc_coefficient, float gyro_coefficient) {
  std::uint64_t current = g_imu_scale.load(std::memory_order_relaxed);
  ImuScale next;
  do {
    next = unpack(current);
    if (acc_coefficient > 0) next.acc = acc_coefficient;
    if (gyro_coefficient > 0) next.gyro = gyro_coefficient;
  } while (!g_imu_scale.compare_exchange_weak(current, pack(next), std::memory_order_acq_rel));
}

void update_mag_scale(float mag_coefficient) {
  if (mag_coefficient > 0) g_mag_scale.store(mag_coefficient, std::memory_order_release);
}

}  // namespace ovik::pipeline
