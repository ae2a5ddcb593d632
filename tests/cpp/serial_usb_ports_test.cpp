// USB port listing over a sysfs tree built by the test.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "serial/log_targets.hpp"
#include "serial/usb_ports.hpp"

namespace ovik::serial {
namespace {

namespace fs = std::filesystem;
using log::CapturedRecord;
using log::Level;

const std::string kTarget(kSerialportTarget);

// A scratch sysfs: devices/... with uevent and attribute files, and
// class/tty/<name> links to the tty class devices.
class FakeSysfs {
 public:
  FakeSysfs() {
    char name[] = "/tmp/ovik-sysfs-XXXXXX";
    root_ = ::mkdtemp(name);
    fs::create_directories(root_ / "class" / "tty");
  }
  ~FakeSysfs() { fs::remove_all(root_); }

  const fs::path& root() const { return root_; }

  // A device directory below devices/ with the given files.
  fs::path device(const std::string& path, std::initializer_list<std::pair<const char*, const char*>> files) {
    const fs::path dir = root_ / "devices" / path;
    fs::create_directories(dir);
    for (const auto& [file, text] : files) std::ofstream(dir / file) << text;
    return dir;
  }

  // A tty class device below `parent`; without a parent it is virtual.
  void tty(const std::string& name, const std::string& parent) {
    const std::string tty_dir = (parent.empty() ? "virtual" : parent) + "/tty/" + name;
    const fs::path dir = device(tty_dir, {{"uevent", "MAJOR=4\n"}});
    if (!parent.empty()) fs::create_directory_symlink(fs::relative(root_ / "devices" / parent, dir), dir / "device");
    fs::create_directory_symlink(fs::relative(dir, root_ / "class" / "tty"), root_ / "class" / "tty" / name);
  }

 private:
  fs::path root_;
};

constexpr const char* kHub = "pci0000:00/0000:00:14.0/usb1";

// The machine of the listing tests: three USB adapters, a PCI and a
// platform UART, and a virtual console.
void populate(FakeSysfs& sys) {
  sys.device("pci0000:00/0000:00:14.0", {{"uevent", "DRIVER=xhci_hcd\nPCI_SLOT_NAME=0000:00:14.0\n"}});
  sys.device(kHub, {{"uevent", "DEVTYPE=usb_device\n"}, {"idVendor", "1d6b\n"}, {"idProduct", "0002\n"}});
  const std::string ftdi = std::string(kHub) + "/1-1";
  sys.device(ftdi, {{"uevent", "MAJOR=189\nDEVTYPE=usb_device\nDRIVER=usb\n"},
                    {"idVendor", "0403\n"},
                    {"idProduct", "6001\n"},
                    {"serial", "A50285BI\n"},
                    {"manufacturer", "FTDI\n"},
                    {"product", "FT232R \"USB\" UART\n"}});
  sys.device(ftdi + "/1-1:1.0", {{"uevent", "DEVTYPE=usb_interface\n"}});
  sys.device(ftdi + "/1-1:1.0/ttyUSB2", {{"uevent", "DRIVER=ftdi_sio\n"}});
  sys.tty("ttyUSB2", ftdi + "/1-1:1.0/ttyUSB2");

  const std::string acm = std::string(kHub) + "/1-2";
  sys.device(acm, {{"uevent", "DEVTYPE=usb_device\n"},
                   {"idVendor", "2341\n"},
                   {"idProduct", "0043\n"},
                   {"manufacturer", "Arduino (www.arduino.cc)\n"},
                   {"product", "Uno\n"}});
  sys.device(acm + "/1-2:1.0", {{"uevent", "DEVTYPE=usb_interface\n"}});
  sys.tty("ttyACM0", acm + "/1-2:1.0");

  const std::string odd = std::string(kHub) + "/1-3";
  sys.device(odd, {{"uevent", "DEVTYPE=usb_device\n"}, {"idVendor", "zz12\n"}, {"idProduct", "12345\n"}});
  sys.device(odd + "/1-3:1.0/ttyUSB10", {{"uevent", "DRIVER=ch341\n"}});
  sys.tty("ttyUSB10", odd + "/1-3:1.0/ttyUSB10");

  sys.device("pci0000:00/0000:00:16.3", {{"uevent", "DRIVER=serial\nPCI_SLOT_NAME=0000:00:16.3\n"}});
  sys.tty("ttyS4", "pci0000:00/0000:00:16.3");
  sys.device("platform/serial8250", {{"uevent", "DRIVER=serial8250\n"}});
  sys.tty("ttyS0", "platform/serial8250");
  sys.tty("tty1", "");
}

const char* const kAcmText =
    "SerialPortInfo { port_name: \"/dev/ttyACM0\", port_type: UsbPort(UsbPortInfo { vid: 9025, pid: 67, "
    "serial_number: None, manufacturer: Some(\"Arduino (www.arduino.cc)\"), product: Some(\"Uno\") }) }";
const char* const kFtdiText =
    "SerialPortInfo { port_name: \"/dev/ttyUSB2\", port_type: UsbPort(UsbPortInfo { vid: 1027, pid: 24577, "
    "serial_number: Some(\"A50285BI\"), manufacturer: Some(\"FTDI\"), product: Some(\"FT232R \\\"USB\\\" UART\") }) }";
const char* const kOddText =
    "SerialPortInfo { port_name: \"/dev/ttyUSB10\", port_type: UsbPort(UsbPortInfo { vid: 0, pid: 0, "
    "serial_number: None, manufacturer: None, product: None }) }";

TEST(UsbPortListing, KeepsExactlyTheUsbPortsInNameOrder) {
  FakeSysfs sys;
  populate(sys);
  log::ScopedCapture capture;
  const std::vector<SerialPortInfo> ports = list_usb_ports(sys.root());

  const std::vector<SerialPortInfo> expected = {
      {"/dev/ttyACM0", UsbPortInfo{0x2341, 0x0043, std::nullopt, "Arduino (www.arduino.cc)", "Uno"}},
      {"/dev/ttyUSB2", UsbPortInfo{0x0403, 0x6001, "A50285BI", "FTDI", "FT232R \"USB\" UART"}},
      {"/dev/ttyUSB10", UsbPortInfo{}},
  };
  EXPECT_EQ(ports, expected);
  const std::vector<CapturedRecord> logged = {
      {Level::Trace, kTarget, std::string("port: ") + kAcmText},
      {Level::Trace, kTarget, "port: SerialPortInfo { port_name: \"/dev/ttyS0\", port_type: Unknown }"},
      {Level::Trace, kTarget, "port: SerialPortInfo { port_name: \"/dev/ttyS4\", port_type: PciPort }"},
      {Level::Trace, kTarget, std::string("port: ") + kFtdiText},
      {Level::Trace, kTarget, std::string("port: ") + kOddText},
      {Level::Debug, kTarget, "Found multiple USB ports: 3"},
      {Level::Debug, kTarget, std::string("usb ports:\n") + kAcmText + "\n" + kFtdiText + "\n" + kOddText},
  };
  EXPECT_EQ(capture.records(), logged);
}

TEST(UsbPortListing, FailedEnumerationLogsAndYieldsNothing) {
  log::ScopedCapture capture;
  EXPECT_TRUE(list_usb_ports("/tmp/ovik-no-such-sysfs").empty());
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{
                                   {Level::Info, kTarget, "Error getting available ports: No such file or directory"}}));
}

TEST(UsbPortFilter, KeepsUsbPortsExceptCalloutNodes) {
  struct Case {
    SerialPortInfo port;
    bool kept;
  };
  const Case cases[] = {
      {{"/dev/ttyUSB0", UsbPortInfo{}}, true},
      {{"/dev/cu.usbserial-1", UsbPortInfo{}}, false},
      {{"/tmp/dev/cu.usbserial-1", UsbPortInfo{}}, false},
      {{"/dev/tty.usbserial-1", UsbPortInfo{}}, true},
      {{"/dev/ttyS0", PciPort{}}, false},
      {{"/dev/rfcomm0", BluetoothPort{}}, false},
      {{"/dev/ttyS1", UnknownPort{}}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(keep_usb_dialin_port(c.port), c.kept) << c.port.port_name;
}

TEST(PortDebugText, TypesAndEscapes) {
  EXPECT_EQ(debug_text(SerialPortType{PciPort{}}), "PciPort");
  EXPECT_EQ(debug_text(SerialPortType{BluetoothPort{}}), "BluetoothPort");
  EXPECT_EQ(debug_text(SerialPortType{UnknownPort{}}), "Unknown");
  EXPECT_EQ(debug_text(UsbPortInfo{65535, 1, "", "a\\b\n\t\x01", "Gerät"}),
            "UsbPortInfo { vid: 65535, pid: 1, serial_number: Some(\"\"), manufacturer: Some(\"a\\\\b\\n\\t\\u{1}\"), "
            "product: Some(\"Gerät\") }");
  EXPECT_EQ(debug_text(SerialPortInfo{"/dev/tty\"x\"", BluetoothPort{}}),
            "SerialPortInfo { port_name: \"/dev/tty\\\"x\\\"\", port_type: BluetoothPort }");
}

}  // namespace
}  // namespace ovik::serial
