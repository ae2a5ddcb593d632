#include "pipeline/sample_buffers.hpp"

#include "common/global.hpp"

namespace ovik::pipeline {

namespace {

template <class Record, BufferCap cap>
SampleBuffer<Record>& buffer() {
  static Global<SampleBuffer<Record>> instance(+[] { return new SampleBuffer<Record>(cap); });
  return instance.get();
}

}  // namespace

SampleBuffer<EmgRecord>& emg_buffer() { return buffer<EmgRecord, BufferCap::Emg>(); }
SampleBuffer<ImuRecord>& imu_buffer() { return buffer<ImuRecord, BufferCap::Imu>(); }
SampleBuffer<MagRecord>& mag_buffer() { return buffer<MagRecord, BufferCap::Mag>(); }
SampleBuffer<FlexRecord>& flex_buffer() { return buffer<FlexRecord, BufferCap::Flex>(); }
SampleBuffer<QuaternionRow>& quaternion_buffer() { return buffer<QuaternionRow, BufferCap::Imu>(); }

}  // namespace ovik::pipeline
