#include "pipeline/row_builders.hpp"

#include <algorithm>
#include <span>

#include "pipeline/payload_decoders.hpp"

namespace ovik::pipeline {

namespace {

double seq(std::uint32_t seq_num) { return seq_num; }

// One row per complete triple of `first` (and of `second`, when given): seq,
// the triple times `first_scale`, then the second triple times `second_scale`.
template <class A, class B>
RowBatch triple_rows(std::uint32_t seq_num, const A& first, float first_scale, const B* second, float second_scale) {
  std::size_t n = first.size() / 3;
  if (second) n = std::min(n, second->size() / 3);
  RowBatch rows;
  rows.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    Row& row = rows.emplace_back();
    row.reserve(second ? 7 : 4);
    row.push_back(seq(seq_num));
    for (std::size_t k = 0; k < 3; ++k) row.push_back(static_cast<float>(first[3 * i + k]) * first_scale);
    if (!second) continue;
    for (std::size_t k = 0; k < 3; ++k) row.push_back(static_cast<float>((*second)[3 * i + k]) * second_scale);
  }
  return rows;
}

std::vector<std::int16_t> word_row(std::uint32_t seq_num, std::initializer_list<const schema::Bytes*> fields) {
  std::vector<std::int16_t> row{static_cast<std::int16_t>(static_cast<std::uint16_t>(seq_num))};
  for (const schema::Bytes* field : fields) {
    std::vector<std::int16_t> words = bytes_to_i16(*field);
    row.insert(row.end(), words.begin(), words.end());
  }
  return row;
}

}  // namespace

Row decoded_row(std::vector<double> values) {
  for (std::size_t i = 1; i < values.size(); ++i) values[i] = static_cast<float>(values[i]);
  return values;
}

RowBatch imu_rows(const schema::ImuData& imu, ImuScale scale) {
  const std::vector<std::int16_t> acc = bytes_to_i16(imu.acc_raw_data);
  const std::vector<std::int16_t> gyro = bytes_to_i16(imu.gyro_raw_data);
  return triple_rows(imu.seq_num, acc, scale.acc, &gyro, scale.gyro);
}

RowBatch imu_calibration_rows(const schema::ImuData& imu) {
  const ImuScale scale = imu_scale();
  return triple_rows(imu.seq_num, imu.acc_correction_data, scale.acc, &imu.gyro_correction_data, scale.gyro);
}

Row euler_row(const ImuRecord& imu) {
  if (imu.fused) return {seq(imu->seq_num), imu.fused->yaw, imu.fused->pitch, imu.fused->roll};
  Row row{seq(imu->seq_num)};
  row.insert(row.end(), imu->euler_raw_data.begin(), imu->euler_raw_data.end());
  return row;
}

RowBatch mag_rows(const schema::MagData& mag, float scale) {
  const std::vector<std::int16_t> words = bytes_to_i16(mag.mag_raw_data);
  return triple_rows<std::vector<std::int16_t>, schema::Repeated<float>>(mag.seq_num, words, scale, nullptr, 0);
}

RowBatch mag_calibration_rows(const schema::MagData& mag) {
  return triple_rows<schema::Repeated<float>, schema::Repeated<float>>(mag.seq_num, mag.mag_correction_data, mag_scale(),
                                                             nullptr, 0);
}

std::vector<std::int16_t> imu_word_row(const schema::ImuData& imu) {
  return word_row(imu.seq_num, {&imu.acc_raw_data, &imu.gyro_raw_data});
}

std::vector<std::int16_t> mag_word_row(const schema::MagData& mag) {
  return word_row(mag.seq_num, {&mag.mag_raw_data});
}

}  // namespace ovik::pipeline
