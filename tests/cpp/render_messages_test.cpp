// Whole texts of messages: the debug text of every type at its defaults (a
// wrong name in any field list or enumeration shows here), and what the
// official runtime's JSON cannot judge: NaN, infinities, -0.0, enumeration
// numbers without a name, and debug texts in each of their forms.
#include <cmath>
#include <limits>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "schema/debug_writer.hpp"
#include "schema/json_writer.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

template <class M>
std::string json(const M& m) {
  auto text = to_json(m);
  return text ? *text : "error: " + text.error().message();
}

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

TEST(RenderJson, WhatOnlyOurRulesDecide) {
  ImuData floats;
  floats.euler_raw_data = {0.0f, -0.0f, kNaN, 1.5f, -kInf};
  EXPECT_EQ(json(floats), R"({"eulerRawData":[0.0,-0.0,null,1.5,null]})");
  EXPECT_EQ(json(Xyz{-0.0f, kNaN, 0.25f}), R"({"y":null,"z":0.25})");
  EXPECT_EQ(json(Xyz{kInf, -kInf, 0.0f}), R"({"x":null,"y":null})");
  DongleApp reply;
  reply.msg_id = 7;
  reply.pairing_status = PairingStatus::Paired;
  EXPECT_EQ(*to_json_as_kind("Dongle2App", reply), R"({"Dongle2App":{"msgId":7,"pairingStatus":"PAIRED"}})");
  std::string out = "[";
  ASSERT_TRUE(write_json(UsbInfo{1, 0}, out));
  out += ',';
  ASSERT_TRUE(write_json(UsbInfo{}, out));
  EXPECT_EQ(out, R"([{"usbPid":1},{})");
}

// The first number without a name, in field order, at any depth.
TEST(RenderJson, EnumerationNumbersWithoutANameFail) {
  std::vector<std::pair<std::string, const char*>> cases;
  AppSensor request;
  request.msg_cmd = MsgCmd(-2147483647 - 1);
  cases.push_back({json(request), "error: Invalid variant -2147483648"});
  request.msg_cmd = MsgCmd(5);
  Result<std::string> wrapped = to_json_as_kind("App2Sensor", request);
  cases.push_back({wrapped ? *wrapped : wrapped.error().message(), "Invalid variant 5"});
  SensorApp nested;
  nested.imu_resp.emplace().config.emplace().port = CtrlBoxPort(-1);
  cases.push_back({json(nested), "error: Invalid variant -1"});
  SensorApp in_list;
  in_list.ppg_data.emplace().report.emplace().algo = {AlgoData{}, AlgoData{.activity = PpgActivity(-1)}};
  cases.push_back({json(in_list), "error: Invalid variant -1"});
  ControlBoxToApp sensors;
  sensors.port_stat.emplace().box_sensor_list = {BoxSensorType(1), BoxSensorType(9), BoxSensorType(5)};
  cases.push_back({json(sensors), "error: Invalid variant 9"});
  cases.push_back({json(PpgInfo{.chip = PpgChip(2)}), "error: Invalid variant 2"});
  DongleApp two;
  two.error = DongleErr(4);
  two.pairing_status = PairingStatus(6);
  cases.push_back({json(two), "error: Invalid variant 4"});
  std::string appended;
  Result<void> failed = write_json(AppDongle{.msg_type = DongleMsgType(6)}, appended);
  cases.push_back({failed ? "written" : failed.error().message(), "Invalid variant 6"});
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

TEST(RenderDebug, Examples) {
  const auto debug = [](const auto& m) { return to_debug(m); };
  ImuData imu;
  imu.seq_num = 1042;
  imu.euler_raw_data = {1.5f, -0.5f, 90.0f};
  imu.port = CtrlBoxPort(255);
  AppSensor request;
  request.msg_cmd = MsgCmd::GetDeviceInfo;
  request.flex_config = FlexConfig{SamplingRate(4)};
  DongleApp negative;
  negative.error = DongleErr(-1);
  PortStat sensors;
  sensors.box_sensor_list = {BoxSensorType(1), BoxSensorType(0), BoxSensorType(4), BoxSensorType(9)};
  ImuConfig nested;
  nested.imu_calibration.emplace().gyro_correction = Xyz{};
  nested.data_type = UploadDataType(2);
  AlgoData algo;
  algo.op_mode = AlgoOpMode(2);
  algo.activity = PpgActivity(3);
  algo.spo2_state = Spo2State(1);
  algo.scd_state = ScdState(2);
  DongleApp reply;
  reply.msg_id = 3;
  reply.error = DongleErr::Success;
  reply.pairing_status = PairingStatus::Paired;
  std::string wrapped;
  write_debug_as_kind("Dongle2App", reply, wrapped);
  const std::pair<std::string, const char*> cases[] = {
      {debug(imu),
       "ImuData { seq_num: 1042, acc_raw_data: [], gyro_raw_data: [], euler_raw_data: [1.5, -0.5, 90.0], "
       "port: 255, acc_correction_data: [], gyro_correction_data: [] }"},
      {debug(RawData{-17, 0, 0, -2147483647 - 1}), "RawData { green1: -17, green2: 0, ir: 0, red: -2147483648 }"},
      {debug(OtaData{7, Bytes{1, 2, 255}, true}), "OtaData { offset: 7, data: [1, 2, 255], finished: true }"},
      {debug(Xyz{kNaN, 1e16f, 0.00005f}), "Xyz { x: NaN, y: 1e16, z: 5e-5 }"},
      {debug(DeviceInfoConfig{"a\"b\n\x07", "it's"}),
       "DeviceInfoConfig { model: \"a\\\"b\\n\\u{7}\", sn: \"it's\" }"},
      {debug(AfeData{.channel_adc_value = {Bytes{1, 2, 3}, Bytes{}}}),
       "AfeData { seq_num: 0, lead_off_bits: 0, channel_adc_value: [[1, 2, 3], []] }"},
      {debug(request),
       "AppSensor { msg_id: 0, msg_cmd: GetDeviceInfo, device_info_cfg: None, ble_conf: None, ota_cfg: None, "
       "imu_config: None, mag_config: None, afe_config: None, acc_config: None, "
       "flex_config: Some(FlexConfig { sample_rate: SamplingRate100 }), ppg_config: None }"},
      {debug(negative),
       "DongleApp { msg_id: 0, error: -1, device_info: None, setup_info: None, pairing_status: None, "
       "ota_resp: None }"},
      {debug(sensors), "PortStat { port_connected_bits: 0, box_sensor_list: [SensImu, SensNone, SensFlex, 9] }"},
      {debug(MagCalibration{.mag_soft_iron_correction = {Xyz{1.0f, 0.0f, 0.0f}}}),
       "MagCalibration { mag_local_field: None, mag_hard_iron_correction: None, "
       "mag_soft_iron_correction: [Xyz { x: 1.0, y: 0.0, z: 0.0 }] }"},
      {debug(PpgInfo{.chip = PpgChip(1), .version = "1.0"}),
       "PpgInfo { dev_err: ErrNone, chip: PpgGh3011, version: \"1.0\" }"},
      // Nesting restores the separators of the enclosing message.
      {debug(nested),
       "ImuConfig { imu_mode: NotSet, imu_sr: ImuSrUnused, port: PortNone, data_type: CalibratedData, "
       "imu_calibration: Some(ImuCalibration { acc_correction: None, gyro_correction: Some(Xyz { x: 0.0, "
       "y: 0.0, z: 0.0 }) }) }"},
      {debug(algo),
       "AlgoData { op_mode: OpModeContHrm, hr: 0, hr_conf: 0, rr: 0, rr_conf: 0, activity: PpgActRun, "
       "r: 0, spo2_conf: 0, spo2: 0, spo2_progress: 0, spo2_lsq_flag: false, spo2_mt_flag: false, "
       "spo2_lp_flag: false, spo2_ur_flag: false, spo2_state: Spo2StateComputation, "
       "scd_state: ScdStateOnSomeSubject }"},
      {wrapped,
       "Dongle2App(DongleApp { msg_id: 3, error: Success, device_info: None, setup_info: None, "
       "pairing_status: Paired, ota_resp: None })"},
      {fmt::format("Received message: {}", UsbInfo{1, 2}), "Received message: UsbInfo { usb_pid: 1, usb_vid: 2 }"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

// The forms a placeholder's options ask for: layout, nesting depth and the digits of
// every kind of integer, while floats, booleans, strings and names keep theirs.
TEST(RenderDebug, MultiLineAndHexadecimalForms) {
  ImuData imu;
  imu.seq_num = 1042;
  imu.acc_raw_data = {0, 255};
  imu.euler_raw_data = {1.5f};
  imu.port = CtrlBoxPort(255);
  ImuConfig nested;
  nested.imu_calibration.emplace().gyro_correction = Xyz{0.5f, 0.0f, 100.0f};
  PortStat sensors;
  sensors.port_connected_bits = 0xFFFFFFFF;
  sensors.box_sensor_list = {BoxSensorType(1), BoxSensorType(-1)};
  DongleApp reply;
  reply.msg_id = 3;
  reply.error = DongleErr::Success;
  reply.pairing_status = PairingStatus::Paired;
  std::string wrapped;
  write_debug_as_kind("Dongle2App", reply, wrapped, {.multi_line = true});
  const auto refused = [](std::string_view options) {
    try {
      return fmt::format(fmt::runtime(options), UsbInfo{});
    } catch (const fmt::format_error& e) {
      return std::string(e.what());
    }
  };
  const char* const kRefusal = "messages take {}, {:?}, {:#?}, {:x?}, {:X?}, {:#x?} or {:#X?}";
  const std::pair<std::string, const char*> cases[] = {
      {fmt::format("{:#?}", Xyz{1.0f, 2.0f, 3.0f}), "Xyz {\n    x: 1.0,\n    y: 2.0,\n    z: 3.0,\n}"},
      {fmt::format("{:#?}", nested),
       "ImuConfig {\n"
       "    imu_mode: NotSet,\n"
       "    imu_sr: ImuSrUnused,\n"
       "    port: PortNone,\n"
       "    data_type: TypeUnspecified,\n"
       "    imu_calibration: Some(\n"
       "        ImuCalibration {\n"
       "            acc_correction: None,\n"
       "            gyro_correction: Some(\n"
       "                Xyz {\n"
       "                    x: 0.5,\n"
       "                    y: 0.0,\n"
       "                    z: 100.0,\n"
       "                },\n"
       "            ),\n"
       "        },\n"
       "    ),\n"
       "}"},
      {fmt::format("{:#?}", AfeData{.seq_num = 7, .channel_adc_value = {Bytes{1, 2}, Bytes{}}}),
       "AfeData {\n    seq_num: 7,\n    lead_off_bits: 0,\n    channel_adc_value: [\n        [\n"
       "            1,\n            2,\n        ],\n        [],\n    ],\n}"},
      {fmt::format("{:#?}", MagCalibration{.mag_soft_iron_correction = {Xyz{}}}),
       "MagCalibration {\n    mag_local_field: None,\n    mag_hard_iron_correction: None,\n"
       "    mag_soft_iron_correction: [\n        Xyz {\n            x: 0.0,\n            y: 0.0,\n"
       "            z: 0.0,\n        },\n    ],\n}"},
      {wrapped,
       "Dongle2App(\n    DongleApp {\n        msg_id: 3,\n        error: Success,\n        device_info: None,\n"
       "        setup_info: None,\n        pairing_status: Paired,\n        ota_resp: None,\n    },\n)"},
      {fmt::format("{:x?}", imu),
       "ImuData { seq_num: 412, acc_raw_data: [0, ff], gyro_raw_data: [], euler_raw_data: [1.5], port: ff, "
       "acc_correction_data: [], gyro_correction_data: [] }"},
      {fmt::format("{:X?}", imu),
       "ImuData { seq_num: 412, acc_raw_data: [0, FF], gyro_raw_data: [], euler_raw_data: [1.5], port: FF, "
       "acc_correction_data: [], gyro_correction_data: [] }"},
      {fmt::format("{:x?}", sensors), "PortStat { port_connected_bits: ffffffff, box_sensor_list: [SensImu, ffffffff] }"},
      {fmt::format("{:X?}", RawData{-17, 10, 0, -2147483647 - 1}),
       "RawData { green1: FFFFFFEF, green2: A, ir: 0, red: 80000000 }"},
      {fmt::format("{:x?}", DongleApp{.error = DongleErr(-1)}),
       "DongleApp { msg_id: 0, error: ffffffff, device_info: None, setup_info: None, pairing_status: None, "
       "ota_resp: None }"},
      {fmt::format("{:x?}", DeviceSetupInfo{"ab", "12", Bytes{16}, UsbInfo{26, 0}}),
       "DeviceSetupInfo { model: \"ab\", sn: \"12\", mac_address: [10], usb_info: Some(UsbInfo { usb_pid: 1a, "
       "usb_vid: 0 }) }"},
      {fmt::format("{:#x?}", OtaData{16, Bytes{0, 171}, true}),
       "OtaData {\n    offset: 0x10,\n    data: [\n        0x0,\n        0xab,\n    ],\n    finished: true,\n}"},
      {fmt::format("{:#X?}", HallConfig{SamplingRate(4), CtrlBoxPort(255)}),
       "HallConfig {\n    hall_sr: SamplingRate100,\n    port: 0xFF,\n}"},
      {fmt::format("{:?}|{}", UsbInfo{10, 2}, UsbInfo{10, 2}), "UsbInfo { usb_pid: 10, usb_vid: 2 }|UsbInfo { usb_pid: 10, usb_vid: 2 }"},
      {refused("{:5?}"), kRefusal},
      {refused("{:#}"), kRefusal},
      {refused("{:x}"), kRefusal},
      {refused("{:?x}"), kRefusal},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace ovik::schema
