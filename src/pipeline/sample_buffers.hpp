#pragma once
// The five process-wide sample buffers. Records are shared and immutable: a
// record is what was appended, so a getter sees it as it was then (an IMU
// record carries the Euler angles the fusion computed for it).
#include <array>
#include <memory>
#include <optional>

#include "pipeline/mahony_filter.hpp"
#include "pipeline/sample_buffer.hpp"
#include "schema/messages.hpp"

namespace ovik::pipeline {

using EmgRecord = std::shared_ptr<const schema::AfeData>;
// The decoded record, shared as received, and the angles the fusion computed
// for it, which stand in for the record's own euler_raw_data: fusing costs no
// copy of the record.
struct ImuRecord {
  const schema::ImuData& operator*() const { return *data; }
  const schema::ImuData* operator->() const { return data.get(); }

  std::shared_ptr<const schema::ImuData> data;
  std::optional<EulerAngles> fused;
};

inline void prefetch_release(const ImuRecord& record) { prefetch_release(record.data); }
using MagRecord = std::shared_ptr<const schema::MagData>;
using FlexRecord = std::shared_ptr<const schema::FlexData>;
// [seq_num, w, x, y, z]: seq_num exact, the components float values.
using QuaternionRow = std::array<double, 5>;

SampleBuffer<EmgRecord>& emg_buffer();
SampleBuffer<ImuRecord>& imu_buffer();
SampleBuffer<MagRecord>& mag_buffer();
SampleBuffer<FlexRecord>& flex_buffer();
// Capped by the IMU capacity.
SampleBuffer<QuaternionRow>& quaternion_buffer();

}  // namespace ovik::pipeline
