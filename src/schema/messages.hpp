#pragma once
// The whole message schema: 42 records, 26 enumerations, and lists of them
// for code that works over every type.
#include <array>
#include <cstddef>
#include <type_traits>

#include "schema/config_messages.hpp"
#include "schema/enums.hpp"
#include "schema/sensor_messages.hpp"
#include "schema/top_messages.hpp"

namespace ovik::schema {

template <class... Ts>
struct TypeList {
  static constexpr std::size_t size = sizeof...(Ts);
  // Calls f(std::type_identity<T>{}) for each type, in order.
  template <class F>
  static constexpr void for_each(F&& f) {
    (f(std::type_identity<Ts>{}), ...);
  }
};

// In the order of the message kinds of a decoded frame.
using TopLevelMessages =
    TypeList<AppDongle, DongleApp, AppSensor, SensorApp, AppToControlBox, ControlBoxToApp>;

// Every record, for code that must name each one (explicit instantiations).
#define OVIK_SCHEMA_MESSAGES(X)                                                                   \
  X(AppDongle) X(DongleApp) X(AppSensor) X(SensorApp) X(AppToControlBox) X(ControlBoxToApp)        \
  X(Xyz) X(ImuData) X(AccData) X(MagData) X(AfeData) X(FlexData) X(HallData) X(RawData)            \
  X(AlgoData) X(PpgReport) X(PpgData) X(PpgInfo) X(PortStat) X(DeviceInfo) X(DeviceInfoConfig)     \
  X(UsbInfo) X(DeviceSetupInfo) X(ImuCalibration) X(ImuConfig) X(AccConfig) X(MagCalibration)      \
  X(MagConfig) X(AfeConfig) X(FlexConfig) X(HallConfig) X(PpgConfig) X(BleConfig) X(OtaData)       \
  X(OtaConfig) X(OtaConfigResp) X(ImuConfResp) X(AccConfResp) X(MagConfResp) X(AfeConfResp)        \
  X(FlexConfResp) X(HallResp)

namespace detail {
template <class List>
struct DropFirst;
template <class First, class... Rest>
struct DropFirst<TypeList<First, Rest...>> {
  using type = TypeList<Rest...>;
};
}  // namespace detail

#define OVIK_TYPE_AFTER_COMMA_(Name) , Name
using AllMessages = detail::DropFirst<TypeList<void OVIK_SCHEMA_MESSAGES(OVIK_TYPE_AFTER_COMMA_)>>::type;
#undef OVIK_TYPE_AFTER_COMMA_

using AllEnums =
    TypeList<MsgCmd, DongleMsgType, PairingStatus, DongleErr, DeviceEvent, ConfigErr, CtrlBoxPort,
             OtaCmd, UploadDataType, SamplingRate, PpgChip, PpgDevErr, PairCmd, SensorType,
             AfeSampleRate, ImuSampleRate, ImuMode, OtaState, PpgUr, PpgMode, MagSampleRate,
             BoxSensorType, AlgoOpMode, PpgActivity, ScdState, Spo2State>;

namespace detail {
template <class... Ms>
constexpr std::array<const MessageDescriptor*, sizeof...(Ms)> descriptors(TypeList<Ms...>) {
  return {&MessageTraits<Ms>::descriptor...};
}
template <class... Es>
constexpr std::array<const EnumTable*, sizeof...(Es)> tables(TypeList<Es...>) {
  return {&EnumTraits<Es>::table...};
}
}  // namespace detail

inline constexpr auto kAllMessageDescriptors = detail::descriptors(AllMessages{});
inline constexpr auto kAllEnumTables = detail::tables(AllEnums{});

static_assert(AllMessages::size == 42);
static_assert(AllEnums::size == 26);
static_assert(
    [] {
      std::size_t fields = 0;
      for (const MessageDescriptor* d : kAllMessageDescriptors) fields += d->field_count;
      return fields;
    }() == 198,
    "the schema has 198 fields");

}  // namespace ovik::schema
