#include "python/buffer_functions.hpp"

#include <cstddef>
#include <vector>

#include "pipeline/payload_decoders.hpp"
#include "pipeline/row_builders.hpp"
#include "pipeline/sample_buffers.hpp"
#include "python/py/class_builder.hpp"
#include "python/row_lists.hpp"

namespace ovik::python {

namespace {

using pipeline::BufferCap;
using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

template <BufferCap Cap>
Ref set_cap(Arguments& args) {
  pipeline::set_buffer_cap(Cap, args.get<std::size_t>(0));
  return py::none();
}

constexpr Param kBuffLen[] = {{"buff_len"}};
constexpr Param kImuBufferLen[] = {{"imu_buffer_len"}};
constexpr Param kMagBufferLen[] = {{"mag_buffer_len"}};
constexpr Signature kSetFlexCap{"set_flex_buffer_cfg", {}, kBuffLen};
constexpr Signature kSetEmgCap{"set_emg_buffer_cfg", {}, kBuffLen};
constexpr Signature kSetImuCap{"set_imu_buffer_cfg", {}, kImuBufferLen};
constexpr Signature kSetMagCap{"set_mag_buffer_cfg", {}, kMagBufferLen};

template <auto& Buffer>
Ref clear_buffer(Arguments&) {
  Buffer().clear();
  return py::none();
}

constexpr Signature kClearFlex{"clear_flex_buffer"};
constexpr Signature kClearEmg{"clear_emg_buffer"};
constexpr Signature kClearImu{"clear_imu_buffer"};
constexpr Signature kClearMag{"clear_mag_buffer"};

// Takes the records under the buffer's mutex; the rows and their Python
// objects are made after it is let go. `rows_of(record, rows)` appends the
// record's rows (one for most getters, any number for the calibration ones).
template <class Row, class Buffer, class RowsOf>
Ref read_buffer(Arguments& args, Buffer& buffer, RowsOf rows_of) {
  const auto take = args.get<std::size_t>(0);
  const bool clean = args.get<bool>(1);
  std::vector<Row> rows;
  for (const auto& record : buffer.take(take, clean)) rows_of(record, rows);
  return to_list(rows);
}

template <class Row, auto MakeRow>
auto one_row() {
  return [](const auto& record, std::vector<Row>& rows) { rows.push_back(MakeRow(*record)); };
}

template <auto MakeRows>
auto several_rows() {
  return [](const auto& record, pipeline::RowBatch& rows) {
    for (pipeline::Row& row : MakeRows(*record)) rows.push_back(std::move(row));
  };
}

Ref get_emg_buffer(Arguments& args) {
  return read_buffer<std::vector<double>>(args, pipeline::emg_buffer(),
                                          one_row<std::vector<double>, pipeline::decode_afe_data>());
}

Ref get_flex_buffer(Arguments& args) {
  return read_buffer<std::vector<double>>(args, pipeline::flex_buffer(),
                                          one_row<std::vector<double>, pipeline::decode_flex_data>());
}

Ref get_imu_buffer(Arguments& args) {
  return read_buffer<std::vector<std::int16_t>>(args, pipeline::imu_buffer(),
                                                one_row<std::vector<std::int16_t>, pipeline::imu_word_row>());
}

Ref get_mag_buffer(Arguments& args) {
  return read_buffer<std::vector<std::int16_t>>(args, pipeline::mag_buffer(),
                                                one_row<std::vector<std::int16_t>, pipeline::mag_word_row>());
}

Ref get_euler_buffer(Arguments& args) {
  return read_buffer<pipeline::Row>(
      args, pipeline::imu_buffer(),
      [](const pipeline::ImuRecord& record, pipeline::RowBatch& rows) { rows.push_back(pipeline::euler_row(record)); });
}

Ref get_imu_calibration_buff(Arguments& args) {
  return read_buffer<pipeline::Row>(args, pipeline::imu_buffer(), several_rows<pipeline::imu_calibration_rows>());
}

Ref get_mag_calibration_buff(Arguments& args) {
  return read_buffer<pipeline::Row>(args, pipeline::mag_buffer(), several_rows<pipeline::mag_calibration_rows>());
}

Ref get_quaternion_buffer(Arguments& args) {
  return read_buffer<pipeline::QuaternionRow>(
      args, pipeline::quaternion_buffer(),
      [](const pipeline::QuaternionRow& row, std::vector<pipeline::QuaternionRow>& rows) { rows.push_back(row); });
}

constexpr Param kTakeClean[] = {{"take"}, {"clean"}};
constexpr Signature kGetFlex{"get_flex_buffer", {}, kTakeClean};
constexpr Signature kGetEmg{"get_emg_buffer", {}, kTakeClean};
constexpr Signature kGetImu{"get_imu_buffer", {}, kTakeClean};
constexpr Signature kGetMag{"get_mag_buffer", {}, kTakeClean};
constexpr Signature kGetImuCalibration{"get_imu_calibration_buff", {}, kTakeClean};
constexpr Signature kGetMagCalibration{"get_mag_calibration_buff", {}, kTakeClean};
constexpr Signature kGetEuler{"get_euler_buffer", {}, kTakeClean};
constexpr Signature kGetQuaternion{"get_quaternion_buffer", {}, kTakeClean};

}  // namespace

std::span<const PyMethodDef> buffer_cap_functions() {
  static const PyMethodDef defs[] = {
      py::function<kSetFlexCap, set_cap<BufferCap::Flex>>(),
      py::function<kSetEmgCap, set_cap<BufferCap::Emg>>(),
      py::function<kSetImuCap, set_cap<BufferCap::Imu>>(),
      py::function<kSetMagCap, set_cap<BufferCap::Mag>>(),
  };
  return defs;
}

std::span<const PyMethodDef> clear_buffer_functions() {
  static const PyMethodDef defs[] = {
      py::function<kClearFlex, clear_buffer<pipeline::flex_buffer>>(),
      py::function<kClearEmg, clear_buffer<pipeline::emg_buffer>>(),
      py::function<kClearImu, clear_buffer<pipeline::imu_buffer>>(),
      py::function<kClearMag, clear_buffer<pipeline::mag_buffer>>(),
  };
  return defs;
}

std::span<const PyMethodDef> buffer_getter_functions() {
  static const PyMethodDef defs[] = {
      py::function<kGetFlex, get_flex_buffer>(),
      py::function<kGetEmg, get_emg_buffer>(),
      py::function<kGetImu, get_imu_buffer>(),
      py::function<kGetMag, get_mag_buffer>(),
      py::function<kGetImuCalibration, get_imu_calibration_buff>(),
      py::function<kGetMagCalibration, get_mag_calibration_buff>(),
      py::function<kGetEuler, get_euler_buffer>(),
      py::function<kGetQuaternion, get_quaternion_buffer>(),
  };
  return defs;
}

}  // namespace ovik::python
