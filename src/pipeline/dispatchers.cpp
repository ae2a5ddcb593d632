#include "pipeline/dispatchers.hpp"

#include "common/global.hpp"

namespace ovik::pipeline {

namespace {

void invoke(CallbackKind kind, std::optional<RowBatch>& rows) {
  if (!rows) return;
  if (CallbackSink* sink = callback_sink()) sink->invoke(kind, std::move(*rows));
}

template <CallbackKind kind>
void handle_rows(RowBatch rows) {
  std::optional<RowBatch> present(std::move(rows));
  invoke(kind, present);
}

void handle_imu_item(ImuCallbackItem item) {
  invoke(CallbackKind::Imu, item.imu);
  invoke(CallbackKind::ImuCalibration, item.imu_calibration);
  invoke(CallbackKind::Euler, item.euler);
}

void handle_mag_item(MagCallbackItem item) {
  invoke(CallbackKind::Mag, item.mag);
  invoke(CallbackKind::MagCalibration, item.mag_calibration);
}

void handle_message_item(MessageCallbackItem item) {
  if (CallbackSink* sink = callback_sink()) sink->invoke_message(std::move(item.device_id), std::move(item.json));
}

template <class Item>
using DispatcherGlobal = Global<CallbackDispatcher<Item>>;

DispatcherGlobal<RowBatch> g_emg(+[] { return new CallbackDispatcher<RowBatch>("EMG", &handle_rows<CallbackKind::Emg>); });
DispatcherGlobal<ImuCallbackItem> g_imu(+[] { return new CallbackDispatcher<ImuCallbackItem>("IMU", &handle_imu_item); });
DispatcherGlobal<MagCallbackItem> g_mag(+[] { return new CallbackDispatcher<MagCallbackItem>("Mag", &handle_mag_item); });
DispatcherGlobal<RowBatch> g_flex(+[] { return new CallbackDispatcher<RowBatch>("Flex", &handle_rows<CallbackKind::Flex>); });
DispatcherGlobal<RowBatch> g_quaternion(
    +[] { return new CallbackDispatcher<RowBatch>("Quaternion", &handle_rows<CallbackKind::Quaternion>); });
DispatcherGlobal<MessageCallbackItem> g_message(
    +[] { return new CallbackDispatcher<MessageCallbackItem>("ovik message", &handle_message_item); });

}  // namespace

CallbackDispatcher<RowBatch>& emg_dispatcher() { return *g_emg; }
CallbackDispatcher<ImuCallbackItem>& imu_dispatcher() { return *g_imu; }
CallbackDispatcher<MagCallbackItem>& mag_dispatcher() { return *g_mag; }
CallbackDispatcher<RowBatch>& flex_dispatcher() { return *g_flex; }
CallbackDispatcher<RowBatch>& quaternion_dispatcher() { return *g_quaternion; }
CallbackDispatcher<MessageCallbackItem>& message_dispatcher() { return *g_message; }

void dispatch_message(std::string device_id, const proto::OvikMessage& message) {
  Result<std::string> json = proto::to_json(message);
  message_dispatcher().dispatch({std::move(device_id), json ? std::move(*json) : std::string()});
}

bool slot_set(CallbackKind kind) {
  const CallbackSink* sink = callback_sink();
  return sink && sink->is_set(kind);
}

}  // namespace ovik::pipeline
