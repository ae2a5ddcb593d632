#include "pipeline/mahony_filter.hpp"

#include <algorithm>
#include <cmath>

namespace ovik::pipeline {

namespace {

// v x (1 / sqrt(n)) when n > 0, else v x 0.
float inverse_norm(float n) { return n > 0 ? 1.0f / std::sqrt(n) : 0.0f; }

// The half error between the measured and the estimated field directions.
Vec3 field_error(const Quaternion& q, Vec3 m) {
  const float q0 = q.q0, q1 = q.q1, q2 = q.q2, q3 = q.q3;
  const float hx = m.x * (q0 * q0 + q1 * q1 - q2 * q2 - q3 * q3) + 2 * m.y * (q1 * q2 - q0 * q3) +
                   2 * m.z * (q0 * q2 + q1 * q3);
  const float hy = 2 * m.x * (q1 * q2 + q0 * q3) + m.y * (q0 * q0 - q1 * q1 + q2 * q2 - q3 * q3) +
                   2 * m.z * (q2 * q3 - q0 * q1);
  const float bx = std::sqrt(hx * hx + hy * hy);
  const float bz = 2 * m.x * (q1 * q3 - q0 * q2) + 2 * m.y * (q0 * q1 + q2 * q3) +
                   m.z * (q0 * q0 - q1 * q1 - q2 * q2 + q3 * q3);
  const float wx = bx * (0.5f - q2 * q2 - q3 * q3) + bz * (q1 * q3 - q0 * q2);
  const float wy = bx * (q1 * q2 - q0 * q3) + bz * (q0 * q1 + q2 * q3);
  const float wz = bx * (q0 * q2 + q1 * q3) + bz * (0.5f - q1 * q1 - q2 * q2);
  return {m.y * wz - m.z * wy, m.z * wx - m.x * wz, m.x * wy - m.y * wx};
}

// The gyro rate corrected by the half error of gravity and, when given, of
// the magnetic field.
Vec3 corrected_rate(const Quaternion& q, Vec3 a, Vec3 g, const Vec3* mag) {
  const float an = inverse_norm(a.x * a.x + a.y * a.y + a.z * a.z);
  a = {a.x * an, a.y * an, a.z * an};
  const float vx = q.q1 * q.q3 - q.q0 * q.q2;
  const float vy = q.q0 * q.q1 + q.q2 * q.q3;
  const float vz = q.q0 * q.q0 - 0.5f + q.q3 * q.q3;
  float ex = a.y * vz - a.z * vy;
  float ey = a.z * vx - a.x * vz;
  float ez = a.x * vy - a.y * vx;
  if (mag) {
    const float sum = mag->x * mag->x + mag->y * mag->y + mag->z * mag->z;
    if (sum > 0) {
      const float mn = 1.0f / std::sqrt(sum);
      const Vec3 e = field_error(q, {mag->x * mn, mag->y * mn, mag->z * mn});
      ex += e.x;
      ey += e.y;
      ez += e.z;
    }
  }
  return {g.x + ex, g.y + ey, g.z + ez};
}

}  // namespace

void mahony_step(Quaternion& q, Vec3 acc, Vec3 gyro, const Vec3* mag, float half_t) {
  if (!(acc.x == 0 && acc.y == 0 && acc.z == 0)) gyro = corrected_rate(q, acc, gyro, mag);
  const float gx = gyro.x * half_t, gy = gyro.y * half_t, gz = gyro.z * half_t;
  const Quaternion old = q;
  q.q0 += -old.q1 * gx - old.q2 * gy - old.q3 * gz;
  q.q1 += old.q0 * gx + old.q2 * gz - old.q3 * gy;
  q.q2 += old.q0 * gy - old.q1 * gz + old.q3 * gx;
  q.q3 += old.q0 * gz + old.q1 * gy - old.q2 * gx;
  const float qn = inverse_norm(q.q0 * q.q0 + q.q1 * q.q1 + q.q2 * q.q2 + q.q3 * q.q3);
  q = {q.q0 * qn, q.q1 * qn, q.q2 * qn, q.q3 * qn};
}

EulerAngles euler_degrees(const Quaternion& q) {
  const float yaw = std::atan2(2 * (q.q1 * q.q2 + q.q0 * q.q3), 1 - 2 * (q.q2 * q.q2 + q.q3 * q.q3));
  const float pitch = std::asin(std::clamp(2 * (q.q0 * q.q2 - q.q1 * q.q3), -1.0f, 1.0f));
  const float roll = std::atan2(2 * (q.q0 * q.q1 + q.q2 * q.q3), 1 - 2 * (q.q1 * q.q1 + q.q2 * q.q2));
  return {yaw * kRadToDeg, pitch * kRadToDeg, roll * kRadToDeg};
}

}  // namespace ovik::pipeline
