#pragma once
// The six process-wide callback dispatchers, their items and the message
// dispatch.
#include <optional>
#include <string>

#include "pipeline/callback_sink.hpp"
#include "pipeline/dispatcher.hpp"
#include "proto/ovik_message.hpp"

namespace ovik::pipeline {

// Parts absent when their slot was unset at ingestion.
struct ImuCallbackItem {
  std::optional<RowBatch> imu;
  std::optional<RowBatch> imu_calibration;
  std::optional<RowBatch> euler;
};

struct MagCallbackItem {
  std::optional<RowBatch> mag;
  std::optional<RowBatch> mag_calibration;
};

struct MessageCallbackItem {
  std::string device_id;
  std::string json;
};

CallbackDispatcher<RowBatch>& emg_dispatcher();         // "EMG"
CallbackDispatcher<ImuCallbackItem>& imu_dispatcher();  // "IMU"
CallbackDispatcher<MagCallbackItem>& mag_dispatcher();  // "Mag"
CallbackDispatcher<RowBatch>& flex_dispatcher();        // "Flex"
CallbackDispatcher<RowBatch>& quaternion_dispatcher();  // "Quaternion"
CallbackDispatcher<MessageCallbackItem>& message_dispatcher();  // "ovik message"

// Queues (device id, the message's JSON text) for the message-response
// callback; a message that cannot be rendered gives the empty text.
void dispatch_message(std::string device_id, const proto::OvikMessage& message);

// Whether the kind's callback slot holds an object now (false with no sink).
bool slot_set(CallbackKind kind);

}  // namespace ovik::pipeline
