#include "proto/request_builders.hpp"

#include "log/log.hpp"
#include "proto/frame_writer.hpp"
#include "proto/route_flag.hpp"
#include "schema/encode.hpp"
#include "schema/json_writer.hpp"

namespace ovik::proto {

namespace {

// The JSON text of a request for its log line; a message that cannot be
// rendered (an enumeration number without a name) logs empty text.
template <class M>
std::string request_json(const M& message) {
  Result<std::string> json = schema::to_json(message);
  return json ? std::move(*json) : std::string();
}

template <class M>
Result<EncodedRequest> encode_request(M message, OvikModuleId destination) {
  (void)msg_builder_config();
  Result<std::vector<std::uint8_t>> payload = schema::encode(message);
  if (!payload) return Failure{std::move(payload).error()};
  Result<std::vector<std::uint8_t>> frame = encode_frame(*payload, destination);
  if (!frame) return Failure{std::move(frame).error()};
  return EncodedRequest{message.msg_id, std::move(*frame)};
}

constexpr auto kNoSubMessage = [](auto&) {};

}  // namespace

Result<EncodedRequest> encode_app_to_sensor(schema::AppSensor message) {
  OVIK_LOG(Info, kOvikMsgBuilderTarget, "encode_app_to_sensor, {}", request_json(message));
  return encode_request(std::move(message), OvikModuleId::DEVICE);
}

Result<EncodedRequest> encode_app_to_mcu(schema::AppToControlBox message) {
  OVIK_LOG(Info, kOvikMsgBuilderTarget, "encode_app_to_mcu, msg: {}", request_json(message));
  return encode_request(std::move(message), OvikModuleId::DEVICE);
}

Result<EncodedRequest> encode_app_to_dongle(schema::AppDongle message) {
  OVIK_LOG(Info, kOvikMsgBuilderTarget, "encode_app_to_dongle, msg: {}", request_json(message));
  return encode_request(std::move(message), OvikModuleId::DONGLE);
}

EncodedRequest encode_set_emg_config(schema::AfeSampleRate sample_rate, std::uint32_t channel_bits) {
  return build_device_request(schema::MsgCmd::ReqNone, [&](auto& message) {
    message.afe_config = schema::AfeConfig{.sample_rate = sample_rate, .channel_bits = channel_bits};
  });
}

EncodedRequest encode_set_imu_config(schema::ImuSampleRate imu_sr, schema::UploadDataType data_type) {
  return build_device_request(schema::MsgCmd::ReqNone, [&](auto& message) {
    message.imu_config = schema::ImuConfig{.imu_mode = schema::ImuMode::AccGyro,
                                           .imu_sr = imu_sr,
                                           .port = schema::CtrlBoxPort::PortNone,
                                           .data_type = data_type,
                                           .imu_calibration = std::nullopt};
  });
}

EncodedRequest encode_set_mag_config(schema::MagSampleRate mag_sr, schema::UploadDataType data_type) {
  return build_device_request(schema::MsgCmd::ReqNone, [&](auto& message) {
    message.mag_config = schema::MagConfig{.mag_sr = mag_sr, .data_type = data_type, .mag_calibration = std::nullopt};
  });
}

EncodedRequest encode_set_flex_config(schema::SamplingRate sample_rate) {
  return build_device_request(schema::MsgCmd::ReqNone,
                              [&](auto& message) { message.flex_config = schema::FlexConfig{.sample_rate = sample_rate}; });
}

EncodedRequest encode_start_data_stream() {
  return build_device_request(schema::MsgCmd::StartDataStream, kNoSubMessage);
}

EncodedRequest encode_stop_data_stream() { return build_device_request(schema::MsgCmd::StopDataStream, kNoSubMessage); }

EncodedRequest encode_ota_reboot() {
  return build_device_request(schema::MsgCmd::ReqNone, [](auto& message) {
    message.ota_cfg = schema::OtaConfig{};
    message.ota_cfg->cmd = schema::OtaCmd::OtaReboot;
  });
}

}  // namespace ovik::proto
