#pragma once
// Configuration, device description, firmware update and configuration
// response records.
#include "schema/enums.hpp"
#include "schema/message_traits.hpp"
#include "schema/sensor_messages.hpp"

namespace ovik::schema {

#define OVIK_FIELDS_DeviceInfo(F)      \
  F(1, sensor_type, SensorType)        \
  F(2, model, std::string)             \
  F(3, sn, std::string)                \
  F(4, hw_version, std::string)        \
  F(5, fw_version, std::string)        \
  F(6, build_time, std::string)        \
  F(7, commit_hash, std::string)       \
  F(8, sensor_features, std::uint32_t)
OVIK_DEFINE_MESSAGE(DeviceInfo)

#define OVIK_FIELDS_DeviceInfoConfig(F) \
  F(1, model, std::string)              \
  F(2, sn, std::string)
OVIK_DEFINE_MESSAGE(DeviceInfoConfig)

#define OVIK_FIELDS_UsbInfo(F)  \
  F(1, usb_pid, std::uint32_t)  \
  F(2, usb_vid, std::uint32_t)
OVIK_DEFINE_MESSAGE(UsbInfo)

#define OVIK_FIELDS_DeviceSetupInfo(F) \
  F(2, model, std::string)             \
  F(3, sn, std::string)                \
  F(4, mac_address, Bytes)             \
  F(5, usb_info, Optional<UsbInfo>)
OVIK_DEFINE_MESSAGE(DeviceSetupInfo)

#define OVIK_FIELDS_ImuCalibration(F)            \
  F(2, acc_correction, Optional<Xyz>)       \
  F(3, gyro_correction, Optional<Xyz>)
OVIK_DEFINE_MESSAGE(ImuCalibration)

#define OVIK_FIELDS_ImuConfig(F)                          \
  F(1, imu_mode, ImuMode)                                 \
  F(2, imu_sr, ImuSampleRate)                             \
  F(3, port, CtrlBoxPort)                                 \
  F(4, data_type, UploadDataType)                         \
  F(5, imu_calibration, Optional<ImuCalibration>)
OVIK_DEFINE_MESSAGE(ImuConfig)

#define OVIK_FIELDS_AccConfig(F)                          \
  F(1, acc_sr, SamplingRate)                              \
  F(2, port, CtrlBoxPort)                                 \
  F(3, data_type, UploadDataType)                         \
  F(4, imu_calibration, Optional<ImuCalibration>)
OVIK_DEFINE_MESSAGE(AccConfig)

#define OVIK_FIELDS_MagCalibration(F)                        \
  F(2, mag_local_field, Optional<Xyz>)                  \
  F(3, mag_hard_iron_correction, Optional<Xyz>)         \
  F(4, mag_soft_iron_correction, Repeated<Xyz>)
OVIK_DEFINE_MESSAGE(MagCalibration)

#define OVIK_FIELDS_MagConfig(F)                          \
  F(1, mag_sr, MagSampleRate)                             \
  F(2, data_type, UploadDataType)                         \
  F(3, mag_calibration, Optional<MagCalibration>)
OVIK_DEFINE_MESSAGE(MagConfig)

#define OVIK_FIELDS_AfeConfig(F)    \
  F(1, sample_rate, AfeSampleRate)  \
  F(2, channel_bits, std::uint32_t)
OVIK_DEFINE_MESSAGE(AfeConfig)

#define OVIK_FIELDS_FlexConfig(F) F(1, sample_rate, SamplingRate)
OVIK_DEFINE_MESSAGE(FlexConfig)

#define OVIK_FIELDS_HallConfig(F) \
  F(1, hall_sr, SamplingRate)     \
  F(2, port, CtrlBoxPort)
OVIK_DEFINE_MESSAGE(HallConfig)

#define OVIK_FIELDS_PpgConfig(F) \
  F(1, ppg_mode, PpgMode)        \
  F(2, ppg_ur, PpgUr)
OVIK_DEFINE_MESSAGE(PpgConfig)

#define OVIK_FIELDS_BleConfig(F)    \
  F(1, device_name, std::string)    \
  F(2, mac_address, Bytes)          \
  F(3, pair_cmd, PairCmd)           \
  F(4, pair_key, std::string)
OVIK_DEFINE_MESSAGE(BleConfig)

#define OVIK_FIELDS_OtaData(F)  \
  F(1, offset, std::uint32_t)   \
  F(2, data, Bytes)             \
  F(3, finished, bool)
OVIK_DEFINE_MESSAGE(OtaData)

#define OVIK_FIELDS_OtaConfig(F)                \
  F(1, cmd, OtaCmd)                             \
  F(2, ota_data, Optional<OtaData>)        \
  F(3, file_size, std::uint32_t)                \
  F(4, file_md5, std::string)                   \
  F(5, file_sha256, std::string)
OVIK_DEFINE_MESSAGE(OtaConfig)

#define OVIK_FIELDS_OtaConfigResp(F) \
  F(1, state, OtaState)              \
  F(2, offset, std::uint32_t)
OVIK_DEFINE_MESSAGE(OtaConfigResp)

#define OVIK_FIELDS_ImuConfResp(F)              \
  F(1, error, ConfigErr)                        \
  F(2, port, CtrlBoxPort)                       \
  F(3, config, Optional<ImuConfig>)        \
  F(4, acc_coefficient, float)                  \
  F(5, gyro_coefficient, float)
OVIK_DEFINE_MESSAGE(ImuConfResp)

#define OVIK_FIELDS_AccConfResp(F)              \
  F(1, error, ConfigErr)                        \
  F(2, port, CtrlBoxPort)                       \
  F(3, config, Optional<AccConfig>)        \
  F(4, acc_coefficient, float)
OVIK_DEFINE_MESSAGE(AccConfResp)

#define OVIK_FIELDS_MagConfResp(F)              \
  F(1, resp_err, ConfigErr)                     \
  F(2, config, Optional<MagConfig>)        \
  F(3, mag_coefficient, float)
OVIK_DEFINE_MESSAGE(MagConfResp)

#define OVIK_FIELDS_AfeConfResp(F)                \
  F(1, error, ConfigErr)                          \
  F(2, channel_subscriptions, std::uint32_t)      \
  F(3, config, Optional<AfeConfig>)
OVIK_DEFINE_MESSAGE(AfeConfResp)

#define OVIK_FIELDS_FlexConfResp(F)             \
  F(1, error, ConfigErr)                        \
  F(2, config, Optional<FlexConfig>)
OVIK_DEFINE_MESSAGE(FlexConfResp)

#define OVIK_FIELDS_HallResp(F)                 \
  F(1, error, ConfigErr)                        \
  F(2, hall_conf, Optional<HallConfig>)    \
  F(3, port, CtrlBoxPort)
OVIK_DEFINE_MESSAGE(HallResp)

}  // namespace ovik::schema
