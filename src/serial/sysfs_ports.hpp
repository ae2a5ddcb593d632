#pragma once
#include <filesystem>
#include <vector>

#include "common/result.hpp"
#include "serial/port_info.hpp"

namespace ovik::serial {

// The serial device nodes that the kernel lists under <sysfs_root>/class/tty
// and that are backed by a device (virtual consoles and pseudo-terminals are
// not), ordered by name with trailing numbers compared as numbers. A port
// belongs to the nearest USB device or PCI function above it in the device
// tree. Fails only when the tty class cannot be read.
Result<std::vector<SerialPortInfo>> enumerate_sysfs_ports(const std::filesystem::path& sysfs_root);

}  // namespace ovik::serial
