#include "python/usb_functions.hpp"

#include <fmt/format.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "log/log.hpp"
#include "python/py/class_builder.hpp"
#include "schema/json_string.hpp"
#include "serial/log_targets.hpp"
#include "serial/usb_ports.hpp"

namespace ovik::python {

namespace {

using serial::SerialPortInfo;

constexpr py::Param kIds[] = {{"vid"}, {"pid"}};
constexpr py::Signature kAvailableUsbPorts{"available_usb_ports", {}, kIds};
constexpr py::Signature kGetUsbAvailablePorts{"get_usb_available_ports"};

bool has_ids(const SerialPortInfo& port, std::uint16_t vid, std::uint16_t pid) {
  const auto* usb = std::get_if<serial::UsbPortInfo>(&port.port_type);
  return usb && usb->vid == vid && usb->pid == pid;
}

// [{"port_name":"/dev/ttyACM0"},{"port_name":"/dev/ttyACM1"}]
std::string ports_json(const std::vector<SerialPortInfo>& ports) {
  std::string out = "[";
  for (const SerialPortInfo& port : ports) {
    if (out.size() > 1) out += ',';
    out += "{\"port_name\":";
    schema::append_json_string(out, port.port_name);
    out += '}';
  }
  out += ']';
  return out;
}

std::string debug_list(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> texts;
  for (const SerialPortInfo& port : ports) texts.push_back(serial::debug_text(port));
  return fmt::format("[{}]", fmt::join(texts, ", "));
}

py::Ref available_usb_ports(py::Arguments& args) {
  const auto vid = args.get<std::uint16_t>(0);
  const auto pid = args.get<std::uint16_t>(1);
  std::vector<SerialPortInfo> kept;
  for (SerialPortInfo& port : serial::list_usb_ports())
    if (has_ids(port, vid, pid)) kept.push_back(std::move(port));
  OVIK_LOG(Info, serial::kSerialportTarget, "Available USB ports: {}", debug_list(kept));
  return py::to_bytes(ports_json(kept));
}

py::Ref get_usb_available_ports(py::Arguments&) {
  serial::list_usb_ports();
  return py::none();
}

}  // namespace

const PyMethodDef& available_usb_ports_function() {
  static const PyMethodDef def = py::function<kAvailableUsbPorts, available_usb_ports>();
  return def;
}

const PyMethodDef& get_usb_available_ports_function() {
  static const PyMethodDef def = py::function<kGetUsbAvailablePorts, get_usb_available_ports>();
  return def;
}

}  // namespace ovik::python
