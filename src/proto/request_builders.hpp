#pragma once
// Outgoing requests: the message id source, the three message encoders and
// the command builders. Each result is the request's msg_id (to match the
// answer) and the complete frame to write to the port.
#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/result.hpp"
#include "proto/route_flag.hpp"
#include "schema/messages.hpp"

namespace ovik::proto {

inline constexpr std::string_view kOvikMsgBuilderTarget = "ovik_sdk::proto::ovik::msg_builder::ovik_msg_builder";

// MSG_ID_COUNTER: the msg_id of the next request. Wraps from 4,294,967,295
// to 0 and is never reset. Constant-initialised, so it exists before first
// use and outlives every thread.
inline std::atomic<std::uint32_t> MSG_ID_COUNTER{1};

// Takes the counter's value and leaves it one higher.
inline std::uint32_t next_msg_id() { return MSG_ID_COUNTER.fetch_add(1, std::memory_order_seq_cst); }

struct EncodedRequest {
  std::uint32_t msg_id;
  std::vector<std::uint8_t> frame;
  bool operator==(const EncodedRequest&) const = default;
};

// Log the message's JSON at Info (rendered only when that line is written),
// encode it and frame it from APP to DEVICE (sensor, mcu) or DONGLE. They fail
// only for a message whose encoding exceeds the frame's 65,535-byte limit.
Result<EncodedRequest> encode_app_to_sensor(schema::AppSensor message);
Result<EncodedRequest> encode_app_to_mcu(schema::AppToControlBox message);
Result<EncodedRequest> encode_app_to_dongle(schema::AppDongle message);

// Fills the device request of the current route (the next msg_id, then
// VIA_MCU_FLAG read once); `fill` sets the command's sub-message, whose field
// has the same name and number on both routes. Throws the encoder's error for
// a message beyond the frame limit; a builder's few bytes never are.
template <class Fill>
EncodedRequest build_device_request(schema::MsgCmd command, Fill fill) {
  const std::uint32_t msg_id = next_msg_id();
  if (VIA_MCU_FLAG.load(std::memory_order_acquire)) {
    schema::AppToControlBox message;
    message.msg_id = msg_id;
    message.msg_cmd = command;
    fill(message);
    return encode_app_to_mcu(std::move(message)).value();
  }
  schema::AppSensor message;
  message.msg_id = msg_id;
  message.msg_cmd = command;
  fill(message);
  return encode_app_to_sensor(std::move(message)).value();
}

// Device commands: the next msg_id, then an AppSensor request, or an
// AppToControlBox request while VIA_MCU_FLAG is set. Enumeration arguments are
// passed through unchecked.
EncodedRequest encode_set_emg_config(schema::AfeSampleRate sample_rate, std::uint32_t channel_bits);
EncodedRequest encode_set_imu_config(schema::ImuSampleRate imu_sr, schema::UploadDataType data_type);
EncodedRequest encode_set_mag_config(schema::MagSampleRate mag_sr, schema::UploadDataType data_type);
EncodedRequest encode_set_flex_config(schema::SamplingRate sample_rate);
EncodedRequest encode_start_data_stream();
EncodedRequest encode_stop_data_stream();
EncodedRequest encode_ota_reboot();

}  // namespace ovik::proto
