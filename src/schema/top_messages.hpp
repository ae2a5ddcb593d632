#pragma once
// The six top-level messages, one per direction. A frame's route (source and
// destination module, and the via-MCU flag) says which one its payload is.
#include "schema/config_messages.hpp"
#include "schema/enums.hpp"
#include "schema/message_traits.hpp"
#include "schema/sensor_messages.hpp"

namespace ovik::schema {

// Host to a sensor module, direct route.
#define OVIK_FIELDS_AppSensor(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, msg_cmd, MsgCmd)                                      \
  F(3, device_info_cfg, std::optional<DeviceInfoConfig>)     \
  F(4, ble_conf, std::optional<BleConfig>)                   \
  F(5, ota_cfg, std::optional<OtaConfig>)                    \
  F(10, imu_config, std::optional<ImuConfig>)                \
  F(11, mag_config, std::optional<MagConfig>)                \
  F(20, afe_config, std::optional<AfeConfig>)                \
  F(21, acc_config, std::optional<AccConfig>)                \
  F(25, flex_config, std::optional<FlexConfig>)              \
  F(30, ppg_config, std::optional<PpgConfig>)
OVIK_DEFINE_MESSAGE(AppSensor)

// Host to the device through the control box's microcontroller.
#define OVIK_FIELDS_AppToControlBox(F)                       \
  F(1, msg_id, std::uint32_t)                                \
  F(2, msg_cmd, MsgCmd)                                      \
  F(3, device_info_cfg, std::optional<DeviceInfoConfig>)     \
  F(5, ota_cfg, std::optional<OtaConfig>)                    \
  F(10, imu_config, std::optional<ImuConfig>)                \
  F(11, mag_config, std::optional<MagConfig>)                \
  F(20, afe_config, std::optional<AfeConfig>)                \
  F(21, acc_config, std::optional<AccConfig>)                \
  F(23, hall_config, std::optional<HallConfig>)              \
  F(25, flex_config, std::optional<FlexConfig>)
OVIK_DEFINE_MESSAGE(AppToControlBox)

// Host to the USB dongle.
#define OVIK_FIELDS_AppDongle(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, msg_type, DongleMsgType)                              \
  F(3, device_info, std::optional<DeviceInfoConfig>)         \
  F(4, setup_info, std::optional<DeviceSetupInfo>)           \
  F(5, ota_cfg, std::optional<OtaConfig>)
OVIK_DEFINE_MESSAGE(AppDongle)

// Dongle to host.
#define OVIK_FIELDS_DongleApp(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, error, DongleErr)                                     \
  F(3, device_info, std::optional<DeviceInfo>)               \
  F(4, setup_info, std::optional<DeviceSetupInfo>)           \
  F(5, pairing_status, PairingStatus)                        \
  F(6, ota_resp, std::optional<OtaConfigResp>)
OVIK_DEFINE_MESSAGE(DongleApp)

// Sensor module to host, direct route.
#define OVIK_FIELDS_SensorApp(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, device_info, std::optional<DeviceInfo>)               \
  F(3, device_event, DeviceEvent)                            \
  F(5, ota_resp, std::optional<OtaConfigResp>)               \
  F(6, ota_data, std::optional<OtaData>)                     \
  F(10, imu_data, std::optional<ImuData>)                    \
  F(11, imu_resp, std::optional<ImuConfResp>)                \
  F(12, mag_data, std::optional<MagData>)                    \
  F(13, mag_resp, std::optional<MagConfResp>)                \
  F(15, acc_data, std::optional<AccData>)                    \
  F(16, acc_resp, std::optional<AccConfResp>)                \
  F(17, imu_data2, std::optional<ImuData>)                   \
  F(20, afe_data, std::optional<AfeData>)                    \
  F(21, afe_resp, std::optional<AfeConfResp>)                \
  F(22, flex_data, std::optional<FlexData>)                  \
  F(23, flex_resp, std::optional<FlexConfResp>)              \
  F(30, ppg_data, std::optional<PpgData>)                    \
  F(31, ppg_info, std::optional<PpgInfo>)
OVIK_DEFINE_MESSAGE(SensorApp)

// Device to host through the control box's microcontroller.
#define OVIK_FIELDS_ControlBoxToApp(F)                       \
  F(1, msg_id, std::uint32_t)                                \
  F(2, device_info, std::optional<DeviceInfo>)               \
  F(3, device_event, DeviceEvent)                            \
  F(4, port_stat, std::optional<PortStat>)                   \
  F(5, ota_resp, std::optional<OtaConfigResp>)               \
  F(10, imu_data, std::optional<ImuData>)                    \
  F(11, imu_resp, std::optional<ImuConfResp>)                \
  F(15, acc_data, std::optional<AccData>)                    \
  F(16, acc_resp, std::optional<AccConfResp>)                \
  F(22, flex_data, std::optional<FlexData>)                  \
  F(23, flex_resp, std::optional<FlexConfResp>)              \
  F(24, hall_data, std::optional<HallData>)                  \
  F(25, hall_resp, std::optional<HallResp>)
OVIK_DEFINE_MESSAGE(ControlBoxToApp)

}  // namespace ovik::schema
