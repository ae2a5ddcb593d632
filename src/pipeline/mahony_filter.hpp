#pragma once
// One step of the Mahony complementary filter (proportional gain 1 on the
// half error, no integral part) and the Euler angles of a quaternion. All in
// 32-bit floats, in a fixed order of operations: the source is built without
// floating-point contraction so results do not depend on the compiler's
// choice of fused multiply-adds.
namespace ovik::pipeline {

struct Vec3 {
  float x = 0;
  float y = 0;
  float z = 0;
};

// q0 is the scalar part.
struct Quaternion {
  float q0 = 1;
  float q1 = 0;
  float q2 = 0;
  float q3 = 0;
};

struct EulerAngles {
  float yaw = 0;
  float pitch = 0;
  float roll = 0;
};

inline constexpr float kDegToRad = 0.017453292f;
inline constexpr float kRadToDeg = 57.295776f;

// `acc` in any unit, `gyro` in rad/s, `mag` (null: none) in any unit,
// `half_t` in seconds. A zero `acc` integrates the gyro rate alone.
void mahony_step(Quaternion& q, Vec3 acc, Vec3 gyro, const Vec3* mag, float half_t);

// Degrees; the pitch argument is clamped to [-1, 1].
EulerAngles euler_degrees(const Quaternion& q);

}  // namespace ovik::pipeline
