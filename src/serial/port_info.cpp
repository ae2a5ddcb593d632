#include "serial/port_info.hpp"

#include <fmt/format.h>

#include "schema/debug_string.hpp"

namespace ovik::serial {
namespace {

// Port names and USB strings are rendered like every other text in our debug
// renderings.
std::string quoted(const std::string& text) {
  std::string out;
  schema::append_debug_string(out, text);
  return out;
}

std::string optional_text(const std::optional<std::string>& text) {
  return text ? "Some(" + quoted(*text) + ")" : "None";
}

struct TypeText {
  std::string operator()(const UsbPortInfo& usb) const { return "UsbPort(" + debug_text(usb) + ")"; }
  std::string operator()(const PciPort&) const { return "PciPort"; }
  std::string operator()(const BluetoothPort&) const { return "BluetoothPort"; }
  std::string operator()(const UnknownPort&) const { return "Unknown"; }
};

}  // namespace

std::string debug_text(const UsbPortInfo& info) {
  return fmt::format("UsbPortInfo {{ vid: {}, pid: {}, serial_number: {}, manufacturer: {}, product: {} }}",
                     info.vid, info.pid, optional_text(info.serial_number),
                     optional_text(info.manufacturer), optional_text(info.product));
}

std::string debug_text(const SerialPortType& type) { return std::visit(TypeText{}, type); }

std::string debug_text(const SerialPortInfo& info) {
  return fmt::format("SerialPortInfo {{ port_name: {}, port_type: {} }}", quoted(info.port_name),
                     debug_text(info.port_type));
}

}  // namespace ovik::serial
