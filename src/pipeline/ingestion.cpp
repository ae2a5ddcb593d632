#include "pipeline/ingestion.hpp"

#include "log/log.hpp"
#include "pipeline/dispatchers.hpp"
#include "pipeline/fusion.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/payload_decoders.hpp"
#include "pipeline/row_builders.hpp"
#include "pipeline/sample_buffers.hpp"

namespace ovik::pipeline {

namespace {

using Owner = std::shared_ptr<const proto::ParseResult>;

void ingest_emg(EmgRecord record) {
  emg_buffer().append(std::move(record), [](const EmgRecord& afe) {
    if (slot_set(CallbackKind::Emg)) emg_dispatcher().dispatch(RowBatch{decoded_row(decode_afe_data(*afe))});
  });
}

void ingest_imu(const Owner& result, const schema::ImuData& imu) {
  const ImuScale scale = imu_scale();
  ImuRecord fused{std::shared_ptr<const schema::ImuData>(result, &imu), mahony_update(imu, scale)};
  imu_buffer().append(std::move(fused), [](const ImuRecord& record) {
    const bool rows = slot_set(CallbackKind::Imu);
    const bool calibration = slot_set(CallbackKind::ImuCalibration);
    const bool euler = slot_set(CallbackKind::Euler);
    if (!rows && !calibration && !euler) return;
    ImuCallbackItem item;
    if (rows) item.imu = imu_rows(*record, imu_scale());
    if (calibration) item.imu_calibration = imu_calibration_rows(*record);
    if (euler) item.euler = RowBatch{euler_row(record)};
    imu_dispatcher().dispatch(std::move(item));
  });
}

void ingest_mag(MagRecord record) {
  mag_buffer().append(std::move(record), [](const MagRecord& mag) {
    const bool rows = slot_set(CallbackKind::Mag);
    const bool calibration = slot_set(CallbackKind::MagCalibration);
    if (!rows && !calibration) return;
    MagCallbackItem item;
    if (rows) item.mag = mag_rows(*mag, mag_scale());
    if (calibration) item.mag_calibration = mag_calibration_rows(*mag);
    mag_dispatcher().dispatch(std::move(item));
  });
}

void ingest_flex(FlexRecord record) {
  flex_buffer().append(std::move(record), [](const FlexRecord& flex) {
    if (slot_set(CallbackKind::Flex)) flex_dispatcher().dispatch(RowBatch{decoded_row(decode_flex_data(*flex))});
  });
}

void ingest_sensor(const Owner& result, const schema::SensorApp& sensor) {
  if (sensor.imu_resp) update_imu_scale(sensor.imu_resp->acc_coefficient, sensor.imu_resp->gyro_coefficient);
  if (sensor.mag_resp) update_mag_scale(sensor.mag_resp->mag_coefficient);
  if (!sensor.afe_data && !sensor.imu_data && !sensor.mag_data && !sensor.flex_data) {
    dispatch_message(result->device_id, result->message);
    return;
  }
  // The buffered records share the published result instead of copying it.
  if (sensor.afe_data) ingest_emg(EmgRecord(result, &*sensor.afe_data));
  if (sensor.imu_data) ingest_imu(result, *sensor.imu_data);
  if (sensor.mag_data) ingest_mag(MagRecord(result, &*sensor.mag_data));
  if (sensor.flex_data) ingest_flex(FlexRecord(result, &*sensor.flex_data));
}

}  // namespace

void process_message(const Owner& result) {
  log::DeferredScope deferred;
  if (const auto* sensor = std::get_if<schema::SensorApp>(&result->message)) {
    ingest_sensor(result, *sensor);
    return;
  }
  OVIK_LOG(Debug, kDataTarget, "Received message: {}", proto::to_debug(result->message));
  dispatch_message(result->device_id, result->message);
}

}  // namespace ovik::pipeline
