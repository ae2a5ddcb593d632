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

using AllMessages =
    TypeList<AppDongle, DongleApp, AppSensor, SensorApp, AppToControlBox, ControlBoxToApp,  //
             Xyz, ImuData, AccData, MagData, AfeData, FlexData, HallData, RawData, AlgoData,
             PpgReport, PpgData, PpgInfo, PortStat,  //
             DeviceInfo, DeviceInfoConfig, UsbInfo, DeviceSetupInfo, ImuCalibration, ImuConfig,
             AccConfig, MagCalibration, MagConfig, AfeConfig, FlexConfig, HallConfig, PpgConfig,
             BleConfig, OtaData, OtaConfig, OtaConfigResp, ImuConfResp, AccConfResp, MagConfResp,
             AfeConfResp, FlexConfResp, HallResp>;

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
