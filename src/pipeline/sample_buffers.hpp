#pragma once
// The five process-wide sample buffers. Records are shared and immutable: a
// record is what was appended, so a getter sees it as it was then (an IMU
// record carries the Euler angles the fusion computed for it).
#include <array>
#include <memory>

#include "pipeline/sample_buffer.hpp"
#include "schema/messages.hpp"

namespace ovik::pipeline {

using EmgRecord = std::shared_ptr<const schema::AfeData>;
using ImuRecord = std::shared_ptr<const schema::ImuData>;
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
