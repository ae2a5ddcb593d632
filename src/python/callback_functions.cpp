#include "python/callback_functions.hpp"

#include "python/callback_slots.hpp"
#include "python/py/class_builder.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Ref;
using py::Signature;

constexpr py::Param kFunc[] = {{"func"}};
constexpr Signature kSetMsgResp{"set_msg_resp_callback", {}, kFunc};
constexpr Signature kSetFlex{"set_flex_data_callback", {}, kFunc};
constexpr Signature kSetEmg{"set_emg_data_callback", {}, kFunc};
constexpr Signature kSetImu{"set_imu_data_callback", {}, kFunc};
constexpr Signature kSetMag{"set_mag_data_callback", {}, kFunc};
constexpr Signature kSetImuCalibration{"set_imu_calibration_data_callback", {}, kFunc};
constexpr Signature kSetMagCalibration{"set_mag_calibration_data_callback", {}, kFunc};
constexpr Signature kSetEuler{"set_euler_data_callback", {}, kFunc};
constexpr Signature kSetQuaternion{"set_quaternion_data_callback", {}, kFunc};

// Any object is stored as it is (whether it can be called shows only when
// data arrives); None empties the slot.
template <CallbackKind Kind>
Ref register_callback(Arguments& args) {
  PyObject* func = args.raw(0);
  set_callback(Kind, func == Py_None ? Ref() : Ref::borrow(func));
  return py::none();
}

}  // namespace

std::span<const PyMethodDef> callback_functions() {
  static const PyMethodDef defs[] = {
      py::function<kSetMsgResp, register_callback<CallbackKind::MsgResp>>(),
      py::function<kSetFlex, register_callback<CallbackKind::Flex>>(),
      py::function<kSetEmg, register_callback<CallbackKind::Emg>>(),
      py::function<kSetImu, register_callback<CallbackKind::Imu>>(),
      py::function<kSetMag, register_callback<CallbackKind::Mag>>(),
      py::function<kSetImuCalibration, register_callback<CallbackKind::ImuCalibration>>(),
      py::function<kSetMagCalibration, register_callback<CallbackKind::MagCalibration>>(),
      py::function<kSetEuler, register_callback<CallbackKind::Euler>>(),
      py::function<kSetQuaternion, register_callback<CallbackKind::Quaternion>>(),
  };
  return defs;
}

}  // namespace ovik::python
