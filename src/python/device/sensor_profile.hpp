#pragma once
// SensorProfile: which sensors a stream start or reconfiguration configures,
// at which rate, with which upload data type and EMG channels.
#include <cstdint>
#include <optional>

#include "python/py/class_builder.hpp"

namespace ovik::python {

// Unset data types and channel bits take these when their sensor is sent.
inline constexpr std::uint8_t kDefaultUploadDataType = 1;  // RAW_DATA
inline constexpr std::uint32_t kDefaultEmgChannelBits = 16;

// The seven settings, copied by value when an operation starts.
struct ProfileSettings {
  std::optional<std::uint8_t> flex_rate;
  std::optional<std::uint8_t> imu_rate;
  std::optional<std::uint8_t> imu_data_type;
  std::optional<std::uint8_t> emg_rate;
  std::optional<std::uint32_t> emg_channel_bits;
  std::optional<std::uint8_t> mag_rate;
  std::optional<std::uint8_t> mag_data_type;
};

struct SensorProfileObject {
  ProfileSettings settings;
  static py::ClassSpec class_spec();
};

}  // namespace ovik::python
