// The examples given for both renderings, as one table: each row renders a
// message as JSON or as debug text and compares the whole text.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/debug_writer.hpp"
#include "schema/json_writer.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

Bytes bytes(std::initializer_list<std::uint8_t> list) { return Bytes(list); }

struct Example {
  std::string name;
  std::string text;
  std::string expected;
};

class Examples {
 public:
  template <class M>
  void json_case(std::string name, const M& message, std::string expected) {
    auto text = to_json(message);
    rows_.push_back({"json: " + name, text ? *text : "error: " + text.error().message(), std::move(expected)});
  }
  template <class M>
  void debug_case(std::string name, const M& message, std::string expected) {
    rows_.push_back({"debug: " + name, to_debug(message), std::move(expected)});
  }
  void text_case(std::string name, std::string text, std::string expected) {
    rows_.push_back({std::move(name), std::move(text), std::move(expected)});
  }
  const std::vector<Example>& rows() const { return rows_; }

 private:
  std::vector<Example> rows_;
};

Examples all_examples() {
  Examples e;
  {
    DongleApp reply;
    reply.msg_id = 7;
    reply.pairing_status = PairingStatus::Paired;
    e.text_case("json: message enum", *to_json_as_kind("Dongle2App", reply),
                R"({"Dongle2App":{"msgId":7,"pairingStatus":"PAIRED"}})");
    e.text_case("json: empty request in the message enum", *to_json_as_kind("App2Sensor", AppSensor{}),
                R"({"App2Sensor":{}})");
    e.text_case("json: all defaults in the message enum", *to_json_as_kind("Sensor2App", SensorApp{}),
                R"({"Sensor2App":{}})");
    DongleApp debug_reply;
    debug_reply.msg_id = 3;
    debug_reply.error = DongleErr::Success;
    debug_reply.pairing_status = PairingStatus::Paired;
    std::string text;
    write_debug_as_kind("Dongle2App", debug_reply, text);
    e.text_case("debug: message enum", text,
                "Dongle2App(DongleApp { msg_id: 3, error: Success, device_info: None, setup_info: None, "
                "pairing_status: Paired, ota_resp: None })");
  }

  {
    SensorApp m;
    m.ota_data.emplace();
    e.json_case("present all-default sub-message", m, R"({"otaData":{}})");
  }
  {
    Xyz m{-0.0f, kNaN, 0.25f};
    e.json_case("-0.0 left out, NaN null", m, R"({"y":null,"z":0.25})");
    e.json_case("infinities null", Xyz{kInf, -kInf, 0.0f}, R"({"x":null,"y":null})");
    e.json_case("float layouts", Xyz{1e12f, 1e13f, 1e-7f}, R"({"x":1000000000000.0,"y":1e+13,"z":1e-7})");
    e.json_case("float layouts", Xyz{0.000001f, 1.0f, -2.5f}, R"({"x":0.000001,"y":1.0,"z":-2.5})");
  }
  {
    ImuData m;
    m.euler_raw_data = {0.0f, -0.0f, kNaN, 1.5f, -kInf};
    e.json_case("zeros, NaN and infinity inside a float list", m, R"({"eulerRawData":[0.0,-0.0,null,1.5,null]})");
  }
  {
    PortStat m;
    m.box_sensor_list = {BoxSensorType(1), BoxSensorType(0), BoxSensorType(4)};
    e.json_case("repeated enum writes member 0", m, R"({"boxSensorList":["SENS_IMU","SENS_NONE","SENS_FLEX"]})");
  }
  {
    ControlBoxToApp m;
    m.device_event = DeviceEvent(0);
    e.json_case("enum 0 left out", m, "{}");
    m.device_event = DeviceEvent::PortConnected;
    e.json_case("enum by protocol name", m, R"({"deviceEvent":"PORT_CONNECTED"})");
  }
  {
    AppSensor m;
    m.msg_cmd = MsgCmd::StopDataStream;
    e.json_case("msg_cmd", m, R"({"msgCmd":"STOP_DATA_STREAM"})");
  }
  {
    PpgInfo m;
    e.json_case("chip 0 left out", m, "{}");
    m.chip = PpgChip(1);
    e.json_case("chip 1", m, R"({"chip":"PPG_GH3011"})");
  }
  {
    OtaData m;
    e.json_case("bool false left out", m, "{}");
    m.finished = true;
    e.json_case("bool true", m, R"({"finished":true})");
  }
  {
    DeviceInfo m;
    m.model = "a\tb\"c";
    m.sn = "\x01";
    m.hw_version = "\xc3\xa9t\xc3\xa9";
    e.json_case("string escapes", m, "{\"model\":\"a\\tb\\\"c\",\"sn\":\"\\u0001\",\"hwVersion\":\"\xc3\xa9t\xc3\xa9\"}");
  }
  {
    HallData m;
    m.hall_value = bytes({1});
    m.magnetic_intensity = bytes({1, 2});
    e.json_case("bytes of 1 and 2", m, R"({"hallValue":"AQ==","magneticIntensity":"AQI="})");
    OtaData o;
    o.data = bytes({1, 2, 3});
    e.json_case("bytes of 3", o, R"({"data":"AQID"})");
  }
  {
    AfeData m;
    m.channel_adc_value = {bytes({1, 2, 3}), bytes({}), bytes({255})};
    e.json_case("repeated bytes with an empty element", m, R"({"channelAdcValue":["AQID","","/w=="]})");
  }
  {
    RawData m{-17, 0, 2147483647, -2147483647 - 1};
    e.json_case("signed counts", m, R"({"green1":-17,"ir":2147483647,"red":-2147483648})");
  }
  {
    AfeConfig m;
    m.channel_bits = 4294967295u;
    e.json_case("largest unsigned", m, R"({"channelBits":4294967295})");
  }
  {
    MagCalibration m;
    m.mag_hard_iron_correction = Xyz{1.0f, 0.0f, 0.0f};
    m.mag_soft_iron_correction = {Xyz{}, Xyz{0.0f, 2.0f, 0.0f}};
    e.json_case("repeated sub-messages, all-default element", m,
        R"({"magHardIronCorrection":{"x":1.0},"magSoftIronCorrection":[{},{"y":2.0}]})");
  }
  {
    DeviceSetupInfo m;
    m.model = "M";
    m.mac_address = bytes({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    m.usb_info = UsbInfo{1, 2};
    e.json_case("gap in field numbers", m, R"({"model":"M","macAddress":"qrvM3e7/","usbInfo":{"usbPid":1,"usbVid":2}})");
  }
  {
    // Keys of the lowerCamelCase examples.
    SensorApp s;
    s.imu_data2.emplace();
    s.imu_data2->seq_num = 1;
    e.json_case("imuData2", s, R"({"imuData2":{"seqNum":1}})");
    AppSensor a;
    a.device_info_cfg = DeviceInfoConfig{"m", ""};
    e.json_case("deviceInfoCfg", a, R"({"deviceInfoCfg":{"model":"m"}})");
    OtaConfig o;
    o.file_sha256 = "ab";
    e.json_case("fileSha256", o, R"({"fileSha256":"ab"})");
    AlgoData g;
    g.r = 3;
    g.spo2_lsq_flag = true;
    e.json_case("r and spo2LsqFlag", g, R"({"r":3,"spo2LsqFlag":true})");
  }
  {
    ImuData m;
    m.seq_num = 1042;
    m.euler_raw_data = {1.5f, -0.5f, 90.0f};
    m.port = CtrlBoxPort(255);
    e.debug_case("numbers, float list, unnamed enum", m,
        "ImuData { seq_num: 1042, acc_raw_data: [], gyro_raw_data: [], euler_raw_data: [1.5, -0.5, 90.0], "
        "port: 255, acc_correction_data: [], gyro_correction_data: [] }");
  }
  e.debug_case("signed", RawData{-17, 0, 0, -2147483647 - 1}, "RawData { green1: -17, green2: 0, ir: 0, red: -2147483648 }");
  e.debug_case("bytes", OtaData{7, bytes({1, 2, 255}), true}, "OtaData { offset: 7, data: [1, 2, 255], finished: true }");
  e.debug_case("float", Xyz{0.25f, 0.0001f, 0.00005f}, "Xyz { x: 0.25, y: 0.0001, z: 5e-5 }");
  e.debug_case("float thresholds", Xyz{1e16f, 100.0f, -0.0f}, "Xyz { x: 1e16, y: 100.0, z: -0.0 }");
  e.debug_case("float specials", Xyz{std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()},
      "Xyz { x: NaN, y: inf, z: -inf }");
  e.debug_case("string", DeviceInfoConfig{"a\"b\n", "A1B2"}, "DeviceInfoConfig { model: \"a\\\"b\\n\", sn: \"A1B2\" }");
  {
    AfeData m;
    m.channel_adc_value = {bytes({1, 2, 3}), bytes({4, 5, 6})};
    e.debug_case("repeated bytes", m, "AfeData { seq_num: 0, lead_off_bits: 0, channel_adc_value: [[1, 2, 3], [4, 5, 6]] }");
    m.channel_adc_value = {bytes({})};
    e.debug_case("repeated bytes with one empty item", m, "AfeData { seq_num: 0, lead_off_bits: 0, channel_adc_value: [[]] }");
  }
  {
    AppSensor m;
    m.msg_cmd = MsgCmd::GetDeviceInfo;
    m.flex_config = FlexConfig{SamplingRate(4)};
    e.debug_case("enum name, FlexConfig", m,
        "AppSensor { msg_id: 0, msg_cmd: GetDeviceInfo, device_info_cfg: None, ble_conf: None, ota_cfg: None, "
        "imu_config: None, mag_config: None, afe_config: None, acc_config: None, "
        "flex_config: Some(FlexConfig { sample_rate: SamplingRate100 }), ppg_config: None }");
    m.msg_cmd = MsgCmd(5);
    m.flex_config.reset();
    e.debug_case("unnamed enum 5", m,
        "AppSensor { msg_id: 0, msg_cmd: 5, device_info_cfg: None, ble_conf: None, ota_cfg: None, "
        "imu_config: None, mag_config: None, afe_config: None, acc_config: None, flex_config: None, "
        "ppg_config: None }");
  }
  {
    DongleApp m;
    m.error = DongleErr(-1);
    e.debug_case("negative unnamed enum", m,
        "DongleApp { msg_id: 0, error: -1, device_info: None, setup_info: None, pairing_status: None, "
        "ota_resp: None }");
  }
  {
    PortStat m;
    m.box_sensor_list = {BoxSensorType(1), BoxSensorType(4)};
    e.debug_case("repeated enum", m, "PortStat { port_connected_bits: 0, box_sensor_list: [SensImu, SensFlex] }");
    m.box_sensor_list = {BoxSensorType(1), BoxSensorType(0), BoxSensorType(4), BoxSensorType(9)};
    e.debug_case("repeated enum with 0 and unnamed", m,
        "PortStat { port_connected_bits: 0, box_sensor_list: [SensImu, SensNone, SensFlex, 9] }");
  }
  {
    DeviceSetupInfo m;
    m.usb_info = UsbInfo{1, 2};
    e.debug_case("Some(sub-message)", m,
        "DeviceSetupInfo { model: \"\", sn: \"\", mac_address: [], usb_info: Some(UsbInfo { usb_pid: 1, usb_vid: 2 }) }");
  }
  {
    MagCalibration m;
    m.mag_soft_iron_correction = {Xyz{1.0f, 0.0f, 0.0f}};
    e.debug_case("repeated sub-message", m,
        "MagCalibration { mag_local_field: None, mag_hard_iron_correction: None, "
        "mag_soft_iron_correction: [Xyz { x: 1.0, y: 0.0, z: 0.0 }] }");
  }
  {
    PpgInfo m;
    m.chip = PpgChip(1);
    m.version = "1.0";
    e.debug_case("PpgChip 1", m, "PpgInfo { dev_err: ErrNone, chip: PpgGh3011, version: \"1.0\" }");
  }
  {
    // Nesting restores the separators of the enclosing message.
    ImuConfig m;
    m.imu_calibration.emplace();
    m.imu_calibration->gyro_correction = Xyz{};
    m.data_type = UploadDataType(2);
    e.debug_case("nested", m,
        "ImuConfig { imu_mode: NotSet, imu_sr: ImuSrUnused, port: PortNone, data_type: CalibratedData, "
        "imu_calibration: Some(ImuCalibration { acc_correction: None, gyro_correction: Some(Xyz { x: 0.0, "
        "y: 0.0, z: 0.0 }) }) }");
  }
  {
    Xyz m{1.5e-7f, 0.1f, 1.0f};
    e.json_case("float layouts", m, R"({"x":1.5e-7,"y":0.1,"z":1.0})");
    e.debug_case("float layouts", Xyz{0.0f, 1.0f, -3.5f}, "Xyz { x: 0.0, y: 1.0, z: -3.5 }");
    e.debug_case("float exponent form", Xyz{2.5e16f, 1e-5f, 0.0001f}, "Xyz { x: 2.5e16, y: 1e-5, z: 0.0001 }");
  }
  {
    DeviceInfoConfig m{"bell\x07", "it's"};
    e.debug_case("bell and single quote", m, "DeviceInfoConfig { model: \"bell\\u{7}\", sn: \"it's\" }");
  }
  {
    AlgoData m;
    m.op_mode = AlgoOpMode(2);
    m.activity = PpgActivity(3);
    m.spo2_state = Spo2State(1);
    m.scd_state = ScdState(2);
    e.debug_case("AlgoData enumerations by debug name", m,
                 "AlgoData { op_mode: OpModeContHrm, hr: 0, hr_conf: 0, rr: 0, rr_conf: 0, activity: PpgActRun, "
                 "r: 0, spo2_conf: 0, spo2: 0, spo2_progress: 0, spo2_lsq_flag: false, spo2_mt_flag: false, "
                 "spo2_lp_flag: false, spo2_ur_flag: false, spo2_state: Spo2StateComputation, "
                 "scd_state: ScdStateOnSomeSubject }");
    e.json_case("AlgoData enumerations by protocol name", m,
                R"({"opMode":"OP_MODE_CONT_HRM","activity":"PPG_ACT_RUN","spo2State":"SPO2_STATE_COMPUTATION",)"
                R"("scdState":"SCD_STATE_ON_SOME_SUBJECT"})");
  }
  {
    ControlBoxToApp m;
    e.debug_case("DeviceEvent 0", m,
                 "ControlBoxToApp { msg_id: 0, device_info: None, device_event: None, port_stat: None, "
                 "ota_resp: None, imu_data: None, imu_resp: None, acc_data: None, acc_resp: None, flex_data: None, "
                 "flex_resp: None, hall_data: None, hall_resp: None }");
  }
  return e;
}

TEST(RenderExamples, Table) {
  const Examples examples = all_examples();
  for (const Example& row : examples.rows()) EXPECT_EQ(row.text, row.expected) << row.name;
}

}  // namespace
}  // namespace ovik::schema
