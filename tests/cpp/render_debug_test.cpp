// Debug text of messages: every type at its defaults in both renderings (a
// typo in any field list shows here), and the text of a log placeholder.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "schema/debug_writer.hpp"
#include "schema/json_writer.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

struct DefaultCase {
  std::string_view type;
  std::string debug;
  std::string json;
  const char* expected;
};

template <class M>
DefaultCase defaults(const char* expected) {
  auto json = to_json(M{});
  return {descriptor_of<M>().name, to_debug(M{}), json ? *json : json.error().message(), expected};
}

TEST(RenderDefaults, EveryTypeInBothRenderings) {
  const DefaultCase cases[] = {
      defaults<AppSensor>("AppSensor { msg_id: 0, msg_cmd: ReqNone, device_info_cfg: None, ble_conf: None, "
                          "ota_cfg: None, imu_config: None, mag_config: None, afe_config: None, acc_config: None, "
                          "flex_config: None, ppg_config: None }"),
      defaults<AppToControlBox>("AppToControlBox { msg_id: 0, msg_cmd: ReqNone, device_info_cfg: None, "
                                "ota_cfg: None, imu_config: None, mag_config: None, afe_config: None, "
                                "acc_config: None, hall_config: None, flex_config: None }"),
      defaults<AppDongle>("AppDongle { msg_id: 0, msg_type: None, device_info: None, setup_info: None, "
                          "ota_cfg: None }"),
      defaults<DongleApp>("DongleApp { msg_id: 0, error: ErrNone, device_info: None, setup_info: None, "
                          "pairing_status: None, ota_resp: None }"),
      defaults<SensorApp>("SensorApp { msg_id: 0, device_info: None, device_event: None, ota_resp: None, "
                          "ota_data: None, imu_data: None, imu_resp: None, mag_data: None, mag_resp: None, "
                          "acc_data: None, acc_resp: None, imu_data2: None, afe_data: None, afe_resp: None, "
                          "flex_data: None, flex_resp: None, ppg_data: None, ppg_info: None }"),
      defaults<ControlBoxToApp>("ControlBoxToApp { msg_id: 0, device_info: None, device_event: None, "
                                "port_stat: None, ota_resp: None, imu_data: None, imu_resp: None, "
                                "acc_data: None, acc_resp: None, flex_data: None, flex_resp: None, "
                                "hall_data: None, hall_resp: None }"),
      defaults<Xyz>("Xyz { x: 0.0, y: 0.0, z: 0.0 }"),
      defaults<ImuData>("ImuData { seq_num: 0, acc_raw_data: [], gyro_raw_data: [], euler_raw_data: [], "
                        "port: PortNone, acc_correction_data: [], gyro_correction_data: [] }"),
      defaults<AccData>("AccData { seq_num: 0, port: PortNone, acc_raw_data: [], acc_correction_data: [] }"),
      defaults<MagData>("MagData { seq_num: 0, mag_raw_data: [], mag_correction_data: [] }"),
      defaults<AfeData>("AfeData { seq_num: 0, lead_off_bits: 0, channel_adc_value: [] }"),
      defaults<FlexData>("FlexData { error: ConfigErrSuccess, seq_num: 0, channel_adc_value: [] }"),
      defaults<HallData>("HallData { error: ConfigErrSuccess, seq_num: 0, sample_rate: None, hall_value: [], "
                         "magnetic_intensity: [], port: PortNone }"),
      defaults<PpgData>("PpgData { seq_num: 0, report_rate: PpgInvalid, mode: Invalid, report: None, "
                        "seg_finished: false }"),
      defaults<PpgReport>("PpgReport { raw: [], algo: [] }"),
      defaults<RawData>("RawData { green1: 0, green2: 0, ir: 0, red: 0 }"),
      defaults<AlgoData>("AlgoData { op_mode: OpModeContHrmContSpo2, hr: 0, hr_conf: 0, rr: 0, rr_conf: 0, "
                         "activity: PpgActRest, r: 0, spo2_conf: 0, spo2: 0, spo2_progress: 0, "
                         "spo2_lsq_flag: false, spo2_mt_flag: false, spo2_lp_flag: false, spo2_ur_flag: false, "
                         "spo2_state: Spo2StateLedAdjustment, scd_state: ScdStateUndetected }"),
      defaults<PpgInfo>("PpgInfo { dev_err: ErrNone, chip: PpgMax32664, version: \"\" }"),
      defaults<PortStat>("PortStat { port_connected_bits: 0, box_sensor_list: [] }"),
      defaults<DeviceInfo>("DeviceInfo { sensor_type: SensorNone, model: \"\", sn: \"\", hw_version: \"\", "
                           "fw_version: \"\", build_time: \"\", commit_hash: \"\", sensor_features: 0 }"),
      defaults<DeviceInfoConfig>("DeviceInfoConfig { model: \"\", sn: \"\" }"),
      defaults<DeviceSetupInfo>("DeviceSetupInfo { model: \"\", sn: \"\", mac_address: [], usb_info: None }"),
      defaults<UsbInfo>("UsbInfo { usb_pid: 0, usb_vid: 0 }"),
      defaults<ImuConfig>("ImuConfig { imu_mode: NotSet, imu_sr: ImuSrUnused, port: PortNone, "
                          "data_type: TypeUnspecified, imu_calibration: None }"),
      defaults<ImuCalibration>("ImuCalibration { acc_correction: None, gyro_correction: None }"),
      defaults<AccConfig>("AccConfig { acc_sr: None, port: PortNone, data_type: TypeUnspecified, "
                          "imu_calibration: None }"),
      defaults<MagConfig>("MagConfig { mag_sr: MagSrUnused, data_type: TypeUnspecified, mag_calibration: None }"),
      defaults<MagCalibration>("MagCalibration { mag_local_field: None, mag_hard_iron_correction: None, "
                               "mag_soft_iron_correction: [] }"),
      defaults<AfeConfig>("AfeConfig { sample_rate: AfeSrInvalid, channel_bits: 0 }"),
      defaults<FlexConfig>("FlexConfig { sample_rate: None }"),
      defaults<HallConfig>("HallConfig { hall_sr: None, port: PortNone }"),
      defaults<PpgConfig>("PpgConfig { ppg_mode: Invalid, ppg_ur: PpgInvalid }"),
      defaults<BleConfig>("BleConfig { device_name: \"\", mac_address: [], pair_cmd: Unknown, pair_key: \"\" }"),
      defaults<OtaConfig>("OtaConfig { cmd: None, ota_data: None, file_size: 0, file_md5: \"\", "
                          "file_sha256: \"\" }"),
      defaults<OtaData>("OtaData { offset: 0, data: [], finished: false }"),
      defaults<OtaConfigResp>("OtaConfigResp { state: None, offset: 0 }"),
      defaults<ImuConfResp>("ImuConfResp { error: ConfigErrSuccess, port: PortNone, config: None, "
                            "acc_coefficient: 0.0, gyro_coefficient: 0.0 }"),
      defaults<AccConfResp>("AccConfResp { error: ConfigErrSuccess, port: PortNone, config: None, "
                            "acc_coefficient: 0.0 }"),
      defaults<MagConfResp>("MagConfResp { resp_err: ConfigErrSuccess, config: None, mag_coefficient: 0.0 }"),
      defaults<AfeConfResp>("AfeConfResp { error: ConfigErrSuccess, channel_subscriptions: 0, config: None }"),
      defaults<FlexConfResp>("FlexConfResp { error: ConfigErrSuccess, config: None }"),
      defaults<HallResp>("HallResp { error: ConfigErrSuccess, hall_conf: None, port: PortNone }"),
  };
  std::set<std::string_view> covered;
  for (const DefaultCase& c : cases) {
    EXPECT_EQ(c.debug, c.expected);
    EXPECT_EQ(c.json, "{}") << c.type;
    EXPECT_TRUE(covered.insert(c.type).second) << c.type;
  }
  std::set<std::string_view> all;
  AllMessages::for_each([&](auto type) { all.insert(descriptor_of<typename decltype(type)::type>().name); });
  EXPECT_EQ(covered, all);
  EXPECT_EQ(all.size(), 42u);
}

TEST(RenderDebug, LogPlaceholderIsTheDebugText) {
  EXPECT_EQ(fmt::format("Received message: {}", UsbInfo{1, 2}), "Received message: UsbInfo { usb_pid: 1, usb_vid: 2 }");
}

}  // namespace
}  // namespace ovik::schema
