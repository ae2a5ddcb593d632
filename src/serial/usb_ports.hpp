#pragma once
// Listing of the serial ports of attached USB devices.
#include <filesystem>
#include <vector>

#include "serial/port_info.hpp"

namespace ovik::serial {

// True for a record the listing keeps: a USB port whose name does not
// contain "/dev/cu." (the callout node of macOS). Logs the record at Trace.
bool keep_usb_dialin_port(const SerialPortInfo& port);

// The USB serial ports of the machine, in enumeration order, with their log
// lines. Never fails: a failed enumeration is logged and yields no port.
std::vector<SerialPortInfo> list_usb_ports();
// The same over the sysfs tree at `sysfs_root`.
std::vector<SerialPortInfo> list_usb_ports(const std::filesystem::path& sysfs_root);

}  // namespace ovik::serial
