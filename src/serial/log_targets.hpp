#pragma once
#include <string_view>

namespace ovik::serial {

// Port opening logs under the first, everything after it under the second.
inline constexpr std::string_view kBaseTarget = "ovik_sdk::serial::base";
inline constexpr std::string_view kSerialportTarget = "ovik_sdk::serial::serialport";

}  // namespace ovik::serial
