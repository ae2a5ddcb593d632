#pragma once
// What the USB port listing reports about one serial device node.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace ovik::serial {

struct UsbPortInfo {
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::optional<std::string> serial_number;
  std::optional<std::string> manufacturer;
  std::optional<std::string> product;
  bool operator==(const UsbPortInfo&) const = default;
};

struct PciPort {
  bool operator==(const PciPort&) const = default;
};
struct BluetoothPort {
  bool operator==(const BluetoothPort&) const = default;
};
struct UnknownPort {
  bool operator==(const UnknownPort&) const = default;
};

// What a port belongs to: a USB device (with its descriptor strings), a PCI
// card, a Bluetooth link, or something else.
using SerialPortType = std::variant<UsbPortInfo, PciPort, BluetoothPort, UnknownPort>;

struct SerialPortInfo {
  std::string port_name;
  SerialPortType port_type;
  bool operator==(const SerialPortInfo&) const = default;
};

// Debug renderings used in log lines, e.g.
// SerialPortInfo { port_name: "/dev/ttyACM0", port_type: UsbPort(UsbPortInfo {
// vid: 9025, pid: 67, serial_number: None, manufacturer: Some("Maker"), product: None }) }
// (on one line). Texts are quoted, with quotes, backslashes and control
// characters escaped.
std::string debug_text(const UsbPortInfo& info);
std::string debug_text(const SerialPortType& type);
std::string debug_text(const SerialPortInfo& info);

}  // namespace ovik::serial
