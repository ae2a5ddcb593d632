#pragma once
// The capacities of the sample buffers. The IMU capacity also caps the
// quaternion buffer. A new capacity takes effect at the next append to its
// buffer: setting one trims nothing.
#include <cstddef>

namespace ovik::pipeline {

enum class BufferCap { Emg, Imu, Mag, Flex };

inline constexpr std::size_t kDefaultBufferCap = 1000;

void set_buffer_cap(BufferCap cap, std::size_t records);
std::size_t buffer_cap(BufferCap cap);

}  // namespace ovik::pipeline
