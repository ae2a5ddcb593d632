#pragma once
// The Python classes OvikDevice (a link with stream operations and device
// commands) and SerialStream (a bare link with raw writes).
#include <string_view>
#include <vector>

#include "python/device/link.hpp"
#include "python/py/class_builder.hpp"

namespace ovik::python {

// The log target of the device objects' own lines.
inline constexpr std::string_view kPyDeviceTarget = "ovik_sdk::python::py_device";

struct DeviceObject {
  static constexpr std::string_view kClassName = "OvikDevice";
  LinkState link;
  static py::ClassSpec class_spec();
};

struct SerialStreamObject {
  static constexpr std::string_view kClassName = "SerialStream";
  LinkState link;
  static py::ClassSpec class_spec();
};

// The one-shot commands of OvikDevice.
std::vector<PyMethodDef> device_command_methods();

}  // namespace ovik::python
