#pragma once
// Callback and getter rows of the records. seq_num enters every float row
// exactly; the other columns are 32-bit float values.
#include <cstdint>
#include <vector>

#include "pipeline/callback_sink.hpp"
#include "pipeline/sample_buffers.hpp"
#include "pipeline/scales.hpp"
#include "schema/messages.hpp"

namespace ovik::pipeline {

// A decoded EMG or flex record as a callback row: the values after seq_num
// narrowed to the nearest float.
Row decoded_row(std::vector<double> values);

// [seq_num, ax, ay, az, gx, gy, gz] per complete triple on both sides: raw
// words times the scales. Raw data of a bad length gives no rows.
RowBatch imu_rows(const schema::ImuData& imu, ImuScale scale);
// The same from the correction values, with the scales current now.
RowBatch imu_calibration_rows(const schema::ImuData& imu);
// [seq_num, yaw, pitch, roll] when the fusion gave the record angles, else
// [seq_num, then every value of euler_raw_data].
Row euler_row(const ImuRecord& imu);
// [seq_num, mx, my, mz] per complete triple of raw words times `scale`.
RowBatch mag_rows(const schema::MagData& mag, float scale);
// The same from the correction values, with the scale current now.
RowBatch mag_calibration_rows(const schema::MagData& mag);

// Getter rows of whole words: [seq_num's low 16 bits as a signed value,
// every word of acc_raw_data, every word of gyro_raw_data] ...
std::vector<std::int16_t> imu_word_row(const schema::ImuData& imu);
// ... and [seq_num likewise, every word of mag_raw_data].
std::vector<std::int16_t> mag_word_row(const schema::MagData& mag);

}  // namespace ovik::pipeline
