#include "python/device/sensor_profile.hpp"

#include "python/enum_classes.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

constexpr Param kNewParams[] = {{"flex_rate", "None"},    {"imu_rate", "None"},         {"imu_data_type", "None"},
                                {"emg_rate", "None"},     {"emg_channel_bits", "None"}, {"mag_rate", "None"},
                                {"mag_data_type", "None"}};
constexpr Signature kProfileNew{"__new__", "SensorProfile", kNewParams};

// An enum setting read from Python, or None when unset.
template <const py::EnumClass& E>
std::optional<std::uint8_t> enum_setting(const Arguments& args, std::size_t index) {
  auto member = args.get<std::optional<py::Member<E>>>(index);
  if (!member) return std::nullopt;
  return member->value;
}

Ref profile_new(PyTypeObject* cls, Arguments& args) {
  ProfileSettings s;
  s.flex_rate = enum_setting<kSamplingRate>(args, 0);
  s.imu_rate = enum_setting<kImuSampleRate>(args, 1);
  s.imu_data_type = enum_setting<kUploadDataType>(args, 2);
  s.emg_rate = enum_setting<kAfeSampleRate>(args, 3);
  s.emg_channel_bits = args.get<std::optional<std::uint32_t>>(4);
  s.mag_rate = enum_setting<kMagSampleRate>(args, 5);
  s.mag_data_type = enum_setting<kUploadDataType>(args, 6);
  return py::make_instance(cls, SensorProfileObject{s});
}

// One read-write attribute per setting: the member's shared object (or the
// integer) when set, None when unset; assigning None unsets it.
template <const py::EnumClass& E, std::optional<std::uint8_t> ProfileSettings::*Field>
Ref get_enum(py::Shared<SensorProfileObject>& self) {
  const std::optional<std::uint8_t>& value = self->settings.*Field;
  return value ? py::enum_member<E>(*value) : py::none();
}

template <const py::EnumClass& E, std::optional<std::uint8_t> ProfileSettings::*Field>
void set_enum(py::Exclusive<SensorProfileObject>& self, std::optional<py::Member<E>> value) {
  self->settings.*Field = value ? std::optional<std::uint8_t>(value->value) : std::nullopt;
}

template <const py::EnumClass& E, std::optional<std::uint8_t> ProfileSettings::*Field>
PyGetSetDef enum_property(std::string_view name) {
  return py::property<get_enum<E, Field>, set_enum<E, Field>>(name);
}

Ref get_channel_bits(py::Shared<SensorProfileObject>& self) {
  const std::optional<std::uint32_t>& bits = self->settings.emg_channel_bits;
  return bits ? py::to_uint(*bits) : py::none();
}

void set_channel_bits(py::Exclusive<SensorProfileObject>& self, std::optional<std::uint32_t> bits) {
  self->settings.emg_channel_bits = bits;
}

}  // namespace

py::ClassSpec SensorProfileObject::class_spec() {
  py::ClassSpec spec;
  spec.name = "SensorProfile";
  spec.constructor = &kProfileNew;
  spec.new_function = py::constructor<kProfileNew, profile_new>();
  spec.properties = {
      enum_property<kSamplingRate, &ProfileSettings::flex_rate>("flex_rate"),
      enum_property<kImuSampleRate, &ProfileSettings::imu_rate>("imu_rate"),
      enum_property<kUploadDataType, &ProfileSettings::imu_data_type>("imu_data_type"),
      enum_property<kAfeSampleRate, &ProfileSettings::emg_rate>("emg_rate"),
      py::property<get_channel_bits, set_channel_bits>("emg_channel_bits"),
      enum_property<kMagSampleRate, &ProfileSettings::mag_rate>("mag_rate"),
      enum_property<kUploadDataType, &ProfileSettings::mag_data_type>("mag_data_type"),
  };
  return spec;
}

}  // namespace ovik::python
