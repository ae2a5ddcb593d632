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
  F(3, device_info_cfg, Optional<DeviceInfoConfig>)     \
  F(4, ble_conf, Optional<BleConfig>)                   \
  F(5, ota_cfg, Optional<OtaConfig>)                    \
  F(10, imu_config, Optional<ImuConfig>)                \
  F(11, mag_config, Optional<MagConfig>)                \
  F(20, afe_config, Optional<AfeConfig>)                \
  F(21, acc_config, Optional<AccConfig>)                \
  F(25, flex_config, Optional<FlexConfig>)              \
  F(30, ppg_config, Optional<PpgConfig>)
OVIK_DEFINE_MESSAGE(AppSensor)

// Host to the device through the control box's microcontroller.
#define OVIK_FIELDS_AppToControlBox(F)                       \
  F(1, msg_id, std::uint32_t)                                \
  F(2, msg_cmd, MsgCmd)                                      \
  F(3, device_info_cfg, Optional<DeviceInfoConfig>)     \
  F(5, ota_cfg, Optional<OtaConfig>)                    \
  F(10, imu_config, Optional<ImuConfig>)                \
  F(11, mag_config, Optional<MagConfig>)                \
  F(20, afe_config, Optional<AfeConfig>)                \
  F(21, acc_config, Optional<AccConfig>)                \
  F(23, hall_config, Optional<HallConfig>)              \
  F(25, flex_config, Optional<FlexConfig>)
OVIK_DEFINE_MESSAGE(AppToControlBox)

// Host to the USB dongle.
#define OVIK_FIELDS_AppDongle(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, msg_type, DongleMsgType)                              \
  F(3, device_info, Optional<DeviceInfoConfig>)         \
  F(4, setup_info, Optional<DeviceSetupInfo>)           \
  F(5, ota_cfg, Optional<OtaConfig>)
OVIK_DEFINE_MESSAGE(AppDongle)

// Dongle to host.
#define OVIK_FIELDS_DongleApp(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, error, DongleErr)                                     \
  F(3, device_info, Optional<DeviceInfo>)               \
  F(4, setup_info, Optional<DeviceSetupInfo>)           \
  F(5, pairing_status, PairingStatus)                        \
  F(6, ota_resp, Optional<OtaConfigResp>)
OVIK_DEFINE_MESSAGE(DongleApp)

// Sensor module to host, direct route.
#define OVIK_FIELDS_SensorApp(F)                             \
  F(1, msg_id, std::uint32_t)                                \
  F(2, device_info, Optional<DeviceInfo>)               \
  F(3, device_event, DeviceEvent)                            \
  F(5, ota_resp, Optional<OtaConfigResp>)               \
  F(6, ota_data, Optional<OtaData>)                     \
  F(10, imu_data, Optional<ImuData>)                    \
  F(11, imu_resp, Optional<ImuConfResp>)                \
  F(12, mag_data, Optional<MagData>)                    \
  F(13, mag_resp, Optional<MagConfResp>)                \
  F(15, acc_data, Optional<AccData>)                    \
  F(16, acc_resp, Optional<AccConfResp>)                \
  F(17, imu_data2, Optional<ImuData>)                   \
  F(20, afe_data, Optional<AfeData>)                    \
  F(21, afe_resp, Optional<AfeConfResp>)                \
  F(22, flex_data, Optional<FlexData>)                  \
  F(23, flex_resp, Optional<FlexConfResp>)              \
  F(30, ppg_data, Optional<PpgData>)                    \
  F(31, ppg_info, Optional<PpgInfo>)
OVIK_DEFINE_MESSAGE(SensorApp)

// Device to host through the control box's microcontroller.
#define OVIK_FIELDS_ControlBoxToApp(F)                       \
  F(1, msg_id, std::uint32_t)                                \
  F(2, device_info, Optional<DeviceInfo>)               \
  F(3, device_event, DeviceEvent)                            \
  F(4, port_stat, Optional<PortStat>)                   \
  F(5, ota_resp, Optional<OtaConfigResp>)               \
  F(10, imu_data, Optional<ImuData>)                    \
  F(11, imu_resp, Optional<ImuConfResp>)                \
  F(15, acc_data, Optional<AccData>)                    \
  F(16, acc_resp, Optional<AccConfResp>)                \
  F(22, flex_data, Optional<FlexData>)                  \
  F(23, flex_resp, Optional<FlexConfResp>)              \
  F(24, hall_data, Optional<HallData>)                  \
  F(25, hall_resp, Optional<HallResp>)
OVIK_DEFINE_MESSAGE(ControlBoxToApp)

}  // namespace ovik::schema
