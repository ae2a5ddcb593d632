#pragma once
// Orientation fusion: one quaternion per sensor port, carried from message to
// message, 6-axis or 9-axis (the newest magnetometer record), falling back to
// 6-axis by itself while the magnetic field looks disturbed.
#include <cstdint>
#include <optional>
#include <string_view>

#include "pipeline/mahony_filter.hpp"
#include "pipeline/scales.hpp"
#include "schema/messages.hpp"

namespace ovik::pipeline {

enum class FusionMode : std::uint8_t { Imu6Axis = 0, Marg9Axis = 1 };

std::string_view fusion_mode_name(FusionMode mode);

// Applies from the next IMU message; logs the new mode at Info.
void set_fusion_mode(FusionMode mode);

// Fuses the first sample of `imu` (scaled by `scale`) into its port's state.
// When the inputs suffice (three values on each side, all finite) it appends
// [seq_num, w, x, y, z] to the quaternion buffer, sends that row if the
// Quaternion slot is set, and returns the new [yaw, pitch, roll] in degrees;
// otherwise nothing changes and there are no angles.
std::optional<EulerAngles> mahony_update(const schema::ImuData& imu, ImuScale scale);

}  // namespace ovik::pipeline
