#include "serial/sysfs_ports.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

#include "serial/os_error.hpp"

namespace ovik::serial {
namespace fs = std::filesystem;
namespace {

// One sysfs attribute without the line feed the kernel ends it with.
std::optional<std::string> read_attribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The value of KEY=value in a device's uevent attribute.
std::optional<std::string> uevent_value(const fs::path& device, std::string_view key) {
  std::ifstream in(device / "uevent");
  for (std::string line; std::getline(in, line);)
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return line.substr(key.size() + 1);
  return std::nullopt;
}

// idVendor and idProduct hold four hexadecimal digits; anything else reads as 0.
std::uint16_t read_id(const fs::path& file) {
  const std::optional<std::string> text = read_attribute(file);
  if (!text || text->empty() || text->size() > 4) return 0;
  std::uint16_t id = 0;
  const char* end = text->data() + text->size();
  auto [ptr, ec] = std::from_chars(text->data(), end, id, 16);
  return ec == std::errc() && ptr == end ? id : 0;
}

UsbPortInfo read_usb_info(const fs::path& usb_device) {
  return UsbPortInfo{read_id(usb_device / "idVendor"), read_id(usb_device / "idProduct"),
                     read_attribute(usb_device / "serial"), read_attribute(usb_device / "manufacturer"),
                     read_attribute(usb_device / "product")};
}

SerialPortType port_type_of(const fs::path& device, const fs::path& root) {
  for (fs::path dir = device; dir != root && dir != dir.parent_path(); dir = dir.parent_path()) {
    if (uevent_value(dir, "DEVTYPE") == "usb_device") return read_usb_info(dir);
    if (uevent_value(dir, "PCI_SLOT_NAME")) return PciPort{};
  }
  return UnknownPort{};
}

// ttyS2 before ttyS10: names compare by their stem, then by trailing number.
bool name_order(const std::string& a, const std::string& b) {
  auto split = [](const std::string& name) {
    const std::size_t stem = name.find_last_not_of("0123456789") + 1;
    const std::string_view digits = std::string_view(name).substr(stem);
    return std::tuple(std::string_view(name).substr(0, stem), digits.size(), digits);
  };
  return split(a) < split(b);
}

}  // namespace

Result<std::vector<SerialPortInfo>> enumerate_sysfs_ports(const fs::path& sysfs_root) {
  std::error_code ec;
  const fs::path root = fs::canonical(sysfs_root, ec);
  if (ec) return os_failure(ec.value());
  std::vector<std::string> names;
  for (fs::directory_iterator it(root / "class" / "tty", ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) return os_failure(ec.value());
  std::sort(names.begin(), names.end(), name_order);

  std::vector<SerialPortInfo> ports;
  for (const std::string& name : names) {
    // A device unplugged while we look has no device link any more.
    const fs::path device = fs::canonical(root / "class" / "tty" / name / "device", ec);
    if (ec) continue;
    ports.push_back({"/dev/" + name, port_type_of(device, root)});
  }
  return ports;
}

}  // namespace ovik::serial
