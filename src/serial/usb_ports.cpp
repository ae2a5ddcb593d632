#include "serial/usb_ports.hpp"

#include <fmt/format.h>

#include "log/log.hpp"
#include "serial/log_targets.hpp"
#include "serial/sysfs_ports.hpp"

namespace ovik::serial {

bool keep_usb_dialin_port(const SerialPortInfo& port) {
  OVIK_LOG(Trace, kSerialportTarget, "port: {}", debug_text(port));
  return std::holds_alternative<UsbPortInfo>(port.port_type) &&
         port.port_name.find("/dev/cu.") == std::string::npos;
}

std::vector<SerialPortInfo> list_usb_ports() { return list_usb_ports("/sys"); }

std::vector<SerialPortInfo> list_usb_ports(const std::filesystem::path& sysfs_root) {
  Result<std::vector<SerialPortInfo>> all = enumerate_sysfs_ports(sysfs_root);
  if (!all) {
    OVIK_LOG(Info, kSerialportTarget, "Error getting available ports: {}", all.error().message());
    return {};
  }
  std::vector<SerialPortInfo> kept;
  for (SerialPortInfo& port : *all)
    if (keep_usb_dialin_port(port)) kept.push_back(std::move(port));
  if (kept.size() > 1) OVIK_LOG(Debug, kSerialportTarget, "Found multiple USB ports: {}", kept.size());
  if (log::enabled(log::Level::Debug, kSerialportTarget)) {
    std::vector<std::string> lines;
    for (const SerialPortInfo& port : kept) lines.push_back(debug_text(port));
    OVIK_LOG(Debug, kSerialportTarget, "usb ports:\n{}", fmt::join(lines, "\n"));
  }
  return kept;
}

}  // namespace ovik::serial
