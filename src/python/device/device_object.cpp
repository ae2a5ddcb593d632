#include "python/device/device_object.hpp"

#include "python/device/link_class.hpp"
#include "python/device/stream_tasks.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

constexpr Param kStartParams[] = {{"py_parser"}, {"profile"}};
constexpr Signature kStartStream{"start_stream", "OvikDevice", kStartParams};
constexpr Param kProfileParam[] = {{"profile"}};
constexpr Signature kUpdateConfig{"update_sensor_config", "OvikDevice", kProfileParam};
constexpr Signature kStopStream{"stop_stream", "OvikDevice"};
constexpr Param kDataParam[] = {{"data"}};
constexpr Signature kWriteData{"write_data", "SerialStream", kDataParam};

Ref start_stream(py::Exclusive<DeviceObject>& self, Arguments& args) {
  auto parser = args.get<py::Exclusive<ParserObject>>(0);
  std::optional<ProfileSettings> profile;
  if (auto given = args.get<std::optional<py::Shared<SensorProfileObject>>>(1)) profile = (*given)->settings;
  ConnectRequest request = connect_request(self->link, parser->copy());
  return into_future(start_stream_task(std::move(request), profile));
}

Ref update_sensor_config(py::Shared<DeviceObject>& self, Arguments& args) {
  ProfileSettings profile = args.get<py::Shared<SensorProfileObject>>(0)->settings;
  return into_future(update_sensor_config_task(self->link.writer, profile));
}

Ref stop_stream(py::Exclusive<DeviceObject>& self, Arguments&) {
  auto token = std::exchange(self->link.cancel_token, std::nullopt);
  return into_future(stop_stream_task(std::move(token), self->link.writer, self->link.listener));
}

// The bytes are copied here, so a buffer changed after the call does not
// change what is written.
Ref write_data(py::Shared<SerialStreamObject>& self, Arguments& args) {
  auto data = args.get<std::vector<std::uint8_t>>(0);
  return into_future(write_frame_task(self->link.writer, std::move(data)));
}

}  // namespace

py::ClassSpec DeviceObject::class_spec() {
  py::ClassSpec spec = LinkClass<DeviceObject>::spec();
  spec.methods.push_back(py::method<kStartStream, start_stream>(
      "One-key high-cohesion multi-sensor streaming startup interface.\n\nOpens the serial stream, configures "
      "sensors using SensorProfile, and then sends START_DATA_STREAM to firmware."));
  spec.methods.push_back(py::method<kUpdateConfig, update_sensor_config>(
      "Three-phase transaction (Pause-Apply-Resume) multi-sensor hot-reload configuration interface."));
  spec.methods.push_back(py::method<kStopStream, stop_stream>(
      "One-key high-cohesion multi-sensor streaming shutdown interface.\n\nSends STOP_DATA_STREAM to firmware, "
      "waits briefly for the link to settle,\nand then tears down the host-side serial listener background task."));
  for (const PyMethodDef& command : device_command_methods()) spec.methods.push_back(command);
  return spec;
}

py::ClassSpec SerialStreamObject::class_spec() {
  py::ClassSpec spec = LinkClass<SerialStreamObject>::spec();
  spec.methods.push_back(py::method<kWriteData, write_data>());
  return spec;
}

}  // namespace ovik::python
