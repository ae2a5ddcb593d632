#pragma once
// The failures of a firmware update, as `Error`s whose message is the text
// Python sees.
#include <string_view>

#include "common/error.hpp"

namespace ovik::dfu {

enum class DfuError { Io, EmptyFirmware, Timeout, DeviceNotReady, InvalidConfig, Transport };

// "IO error: {}", "firmware image is empty", "timeout waiting for OTA
// response", "device is not ready: {}", "invalid DFU config: {}",
// "transport error: {}"; `detail` fills the braces.
Error dfu_error(DfuError kind, std::string_view detail = {});

}  // namespace ovik::dfu
