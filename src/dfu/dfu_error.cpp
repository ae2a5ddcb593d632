#include "dfu/dfu_error.hpp"

#include <string>

namespace ovik::dfu {

Error dfu_error(DfuError kind, std::string_view detail) {
  const std::string inner(detail);
  switch (kind) {
    case DfuError::Io:
      return Error("IO error: " + inner);
    case DfuError::EmptyFirmware:
      return Error("firmware image is empty");
    case DfuError::Timeout:
      return Error("timeout waiting for OTA response");
    case DfuError::DeviceNotReady:
      return Error("device is not ready: " + inner);
    case DfuError::InvalidConfig:
      return Error("invalid DFU config: " + inner);
    case DfuError::Transport:
      break;
  }
  return Error("transport error: " + inner);
}

}  // namespace ovik::dfu
