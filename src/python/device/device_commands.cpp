// The one-shot commands of OvikDevice: each builds its frame (and takes its
// msg_id) at the call and returns the awaitable of one whole write.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <array>

#include "log/log.hpp"
#include "proto/request_builders.hpp"
#include "python/bridge/awaitable.hpp"
#include "python/device/device_object.hpp"
#include "python/enum_classes.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;
using schema::MsgCmd;
using Frame = std::vector<std::uint8_t>;
using Triple = std::optional<std::array<float, 3>>;
using Rows = std::optional<std::vector<std::array<float, 3>>>;

constexpr std::string_view kOwner = "OvikDevice";

Ref write_job(const py::Shared<DeviceObject>& self, Frame frame) {
  return into_future(write_frame_task(self->link.writer, std::move(frame)));
}

Frame device_command(MsgCmd command) {
  return proto::build_device_request(command, [](auto&) {}).frame;
}

Frame dongle_request(schema::DongleMsgType type) {
  schema::AppDongle message;
  message.msg_id = proto::next_msg_id();
  message.msg_type = type;
  return proto::encode_app_to_dongle(std::move(message)).value().frame;
}

template <MsgCmd Command>
Ref command(py::Shared<DeviceObject>& self, Arguments&) {
  return write_job(self, device_command(Command));
}

template <schema::DongleMsgType Type>
Ref dongle_command(py::Shared<DeviceObject>& self, Arguments&) {
  return write_job(self, dongle_request(Type));
}

Ref get_port_stat(py::Shared<DeviceObject>& self, Arguments&) {
  OVIK_LOG(Info, kPyDeviceTarget, "get_port_stat");
  Frame frame = device_command(MsgCmd::GetPortStat);
  OVIK_LOG(Info, kPyDeviceTarget, "get_port_stat: [{}]", fmt::join(frame, ", "));
  return write_job(self, std::move(frame));
}

template <const py::EnumClass& E, class Schema>
Schema enum_arg(const Arguments& args, std::size_t index) {
  return Schema(args.get<py::Member<E>>(index).value);
}

Ref set_flex_config(py::Shared<DeviceObject>& self, Arguments& args) {
  auto fs = enum_arg<kSamplingRate, schema::SamplingRate>(args, 0);
  return write_job(self, proto::encode_set_flex_config(fs).frame);
}

Ref set_emg_config(py::Shared<DeviceObject>& self, Arguments& args) {
  auto afe_sr = enum_arg<kAfeSampleRate, schema::AfeSampleRate>(args, 0);
  auto channel_bits = args.get<std::uint32_t>(1);
  return write_job(self, proto::encode_set_emg_config(afe_sr, channel_bits).frame);
}

Ref set_imu_config(py::Shared<DeviceObject>& self, Arguments& args) {
  auto imu_sr = enum_arg<kImuSampleRate, schema::ImuSampleRate>(args, 0);
  auto data_type = enum_arg<kUploadDataType, schema::UploadDataType>(args, 1);
  return write_job(self, proto::encode_set_imu_config(imu_sr, data_type).frame);
}

Ref set_mag_config(py::Shared<DeviceObject>& self, Arguments& args) {
  auto mag_sr = enum_arg<kMagSampleRate, schema::MagSampleRate>(args, 0);
  auto data_type = enum_arg<kUploadDataType, schema::UploadDataType>(args, 1);
  return write_job(self, proto::encode_set_mag_config(mag_sr, data_type).frame);
}

schema::Optional<schema::Xyz> xyz(const Triple& triple) {
  if (!triple) return std::nullopt;
  return schema::Xyz{.x = (*triple)[0], .y = (*triple)[1], .z = (*triple)[2]};
}

Ref set_imu_calibration_config(py::Shared<DeviceObject>& self, Arguments& args) {
  auto imu_sr = enum_arg<kImuSampleRate, schema::ImuSampleRate>(args, 0);
  auto data_type = enum_arg<kUploadDataType, schema::UploadDataType>(args, 1);
  auto acc_offset = args.get<Triple>(2);
  auto gyro_offset = args.get<Triple>(3);
  schema::ImuConfig config{.imu_mode = schema::ImuMode::AccGyro,
                           .imu_sr = imu_sr,
                           .port = schema::CtrlBoxPort::PortNone,
                           .data_type = data_type,
                           .imu_calibration = std::nullopt};
  if (acc_offset || gyro_offset)
    config.imu_calibration = schema::ImuCalibration{.acc_correction = xyz(acc_offset), .gyro_correction = xyz(gyro_offset)};
  Frame frame = proto::build_device_request(MsgCmd::ReqNone, [&](auto& message) { message.imu_config = config; }).frame;
  return write_job(self, std::move(frame));
}

Ref set_mag_calibration_config(py::Shared<DeviceObject>& self, Arguments& args) {
  auto mag_sr = enum_arg<kMagSampleRate, schema::MagSampleRate>(args, 0);
  auto data_type = enum_arg<kUploadDataType, schema::UploadDataType>(args, 1);
  auto hard_iron = args.get<Triple>(2);
  auto soft_iron = args.get<Rows>(3);
  schema::MagConfig config{.mag_sr = mag_sr, .data_type = data_type, .mag_calibration = std::nullopt};
  if (hard_iron || soft_iron) {
    schema::MagCalibration calibration;
    calibration.mag_hard_iron_correction = xyz(hard_iron);
    for (const std::array<float, 3>& row : soft_iron.value_or(std::vector<std::array<float, 3>>{}))
      calibration.mag_soft_iron_correction.push_back(schema::Xyz{.x = row[0], .y = row[1], .z = row[2]});
    config.mag_calibration = std::move(calibration);
  }
  Frame frame = proto::build_device_request(MsgCmd::ReqNone, [&](auto& message) { message.mag_config = config; }).frame;
  return write_job(self, std::move(frame));
}

constexpr Signature kGetDeviceInfo{"get_device_info", kOwner};
constexpr Signature kGetPortStat{"get_port_stat", kOwner};
constexpr Signature kGetSensorCfg{"get_sensor_cfg", kOwner};
constexpr Signature kStartSensorDataStream{"start_sensor_data_stream", kOwner};
constexpr Signature kStopSensorDataStream{"stop_sensor_data_stream", kOwner};
constexpr Param kFsParams[] = {{"fs"}};
constexpr Signature kSetFlexConfig{"set_flex_config", kOwner, kFsParams};
constexpr Param kEmgParams[] = {{"afe_sr"}, {"channel_bits"}};
constexpr Signature kSetEmgConfig{"set_emg_config", kOwner, kEmgParams};
constexpr Param kImuParams[] = {{"imu_sr"}, {"data_type"}};
constexpr Signature kSetImuConfig{"set_imu_config", kOwner, kImuParams};
constexpr Param kMagParams[] = {{"mag_sr"}, {"data_type"}};
constexpr Signature kSetMagConfig{"set_mag_config", kOwner, kMagParams};
constexpr Param kImuCalibrationParams[] = {{"imu_sr"}, {"data_type"}, {"acc_offset"}, {"gyro_offset"}};
constexpr Signature kSetImuCalibrationConfig{"set_imu_calibration_config", kOwner, kImuCalibrationParams};
constexpr Param kMagCalibrationParams[] = {{"mag_sr"}, {"data_type"}, {"hard_iron"}, {"soft_iron"}};
constexpr Signature kSetMagCalibrationConfig{"set_mag_calibration_config", kOwner, kMagCalibrationParams};
constexpr Signature kGetDongleInfo{"get_dongle_info", kOwner};
constexpr Signature kGetDonglePairCfg{"get_dongle_pair_cfg", kOwner};
constexpr Signature kGetDonglePairStat{"get_dongle_pair_stat", kOwner};

}  // namespace

std::vector<PyMethodDef> device_command_methods() {
  using schema::DongleMsgType;
  return {
      py::method<kGetDeviceInfo, command<MsgCmd::GetDeviceInfo>>(),
      py::method<kGetPortStat, get_port_stat>(),
      py::method<kGetSensorCfg, command<MsgCmd::GetSensorConfig>>(),
      py::method<kStartSensorDataStream, command<MsgCmd::StartDataStream>>(),
      py::method<kStopSensorDataStream, command<MsgCmd::StopDataStream>>(),
      py::method<kSetFlexConfig, set_flex_config>(),
      py::method<kSetEmgConfig, set_emg_config>(),
      py::method<kSetImuConfig, set_imu_config>(),
      py::method<kSetMagConfig, set_mag_config>(),
      py::method<kSetImuCalibrationConfig, set_imu_calibration_config>(),
      py::method<kSetMagCalibrationConfig, set_mag_calibration_config>(),
      py::method<kGetDongleInfo, dongle_command<DongleMsgType::ConfigGet>>(),
      py::method<kGetDonglePairCfg, dongle_command<DongleMsgType::PairGet>>(),
      py::method<kGetDonglePairStat, dongle_command<DongleMsgType::PairStat>>(),
  };
}

}  // namespace ovik::python
