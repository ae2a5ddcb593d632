// JSON text of messages: the examples of the rendering rules, every kind of
// field, and failures on enumeration numbers without a name at any depth.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "schema/json_writer.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

template <class M>
std::string json(const M& m) {
  auto text = to_json(m);
  if (!text) return "error: " + text.error().message();
  return *text;
}

template <class M>
std::string failure(const M& m) {
  auto text = to_json(m);
  return text ? "rendered: " + *text : text.error().message();
}

Bytes bytes(std::initializer_list<std::uint8_t> list) { return Bytes(list); }

TEST(RenderJson, MessageEnumWrapper) {
  DongleApp reply;
  reply.msg_id = 7;
  reply.pairing_status = PairingStatus::Paired;
  EXPECT_EQ(*to_json_as_kind("Dongle2App", reply), R"({"Dongle2App":{"msgId":7,"pairingStatus":"PAIRED"}})");
  EXPECT_EQ(*to_json_as_kind("App2Sensor", AppSensor{}), R"({"App2Sensor":{}})");
  EXPECT_EQ(*to_json_as_kind("Sensor2App", SensorApp{}), R"({"Sensor2App":{}})");

  AppSensor bad;
  bad.msg_cmd = MsgCmd(5);
  auto wrapped = to_json_as_kind("App2Sensor", bad);
  ASSERT_FALSE(wrapped);
  EXPECT_EQ(wrapped.error().message(), "Invalid variant 5");
}

TEST(RenderJson, GoldenTexts) {
  struct Case {
    std::string name;
    std::string text;
    std::string expected;
  };
  std::vector<Case> cases;
  const auto add = [&](std::string name, const auto& message, std::string expected) {
    cases.push_back({std::move(name), json(message), std::move(expected)});
  };

  {
    SensorApp m;
    m.ota_data.emplace();
    add("present all-default sub-message", m, R"({"otaData":{}})");
  }
  {
    Xyz m{-0.0f, kNaN, 0.25f};
    add("-0.0 left out, NaN null", m, R"({"y":null,"z":0.25})");
    add("infinities null", Xyz{kInf, -kInf, 0.0f}, R"({"x":null,"y":null})");
    add("float layouts", Xyz{1e12f, 1e13f, 1e-7f}, R"({"x":1000000000000.0,"y":1e+13,"z":1e-7})");
    add("float layouts", Xyz{0.000001f, 1.0f, -2.5f}, R"({"x":0.000001,"y":1.0,"z":-2.5})");
  }
  {
    ImuData m;
    m.euler_raw_data = {0.0f, -0.0f, kNaN, 1.5f, -kInf};
    add("zeros, NaN and infinity inside a float list", m, R"({"eulerRawData":[0.0,-0.0,null,1.5,null]})");
  }
  {
    PortStat m;
    m.box_sensor_list = {BoxSensorType(1), BoxSensorType(0), BoxSensorType(4)};
    add("repeated enum writes member 0", m, R"({"boxSensorList":["SENS_IMU","SENS_NONE","SENS_FLEX"]})");
  }
  {
    ControlBoxToApp m;
    m.device_event = DeviceEvent(0);
    add("enum 0 left out", m, "{}");
    m.device_event = DeviceEvent::PortConnected;
    add("enum by protocol name", m, R"({"deviceEvent":"PORT_CONNECTED"})");
  }
  {
    AppSensor m;
    m.msg_cmd = MsgCmd::StopDataStream;
    add("msg_cmd", m, R"({"msgCmd":"STOP_DATA_STREAM"})");
  }
  {
    PpgInfo m;
    add("chip 0 left out", m, "{}");
    m.chip = PpgChip(1);
    add("chip 1", m, R"({"chip":"PPG_GH3011"})");
  }
  {
    OtaData m;
    add("bool false left out", m, "{}");
    m.finished = true;
    add("bool true", m, R"({"finished":true})");
  }
  {
    DeviceInfo m;
    m.model = "a\tb\"c";
    m.sn = "\x01";
    m.hw_version = "\xc3\xa9t\xc3\xa9";
    add("string escapes", m, "{\"model\":\"a\\tb\\\"c\",\"sn\":\"\\u0001\",\"hwVersion\":\"\xc3\xa9t\xc3\xa9\"}");
  }
  {
    HallData m;
    m.hall_value = bytes({1});
    m.magnetic_intensity = bytes({1, 2});
    add("bytes of 1 and 2", m, R"({"hallValue":"AQ==","magneticIntensity":"AQI="})");
    OtaData o;
    o.data = bytes({1, 2, 3});
    add("bytes of 3", o, R"({"data":"AQID"})");
  }
  {
    AfeData m;
    m.channel_adc_value = {bytes({1, 2, 3}), bytes({}), bytes({255})};
    add("repeated bytes with an empty element", m, R"({"channelAdcValue":["AQID","","/w=="]})");
  }
  {
    RawData m{-17, 0, 2147483647, -2147483647 - 1};
    add("signed counts", m, R"({"green1":-17,"ir":2147483647,"red":-2147483648})");
  }
  {
    AfeConfig m;
    m.channel_bits = 4294967295u;
    add("largest unsigned", m, R"({"channelBits":4294967295})");
  }
  {
    MagCalibration m;
    m.mag_hard_iron_correction = Xyz{1.0f, 0.0f, 0.0f};
    m.mag_soft_iron_correction = {Xyz{}, Xyz{0.0f, 2.0f, 0.0f}};
    add("repeated sub-messages, all-default element", m,
        R"({"magHardIronCorrection":{"x":1.0},"magSoftIronCorrection":[{},{"y":2.0}]})");
  }
  {
    DeviceSetupInfo m;
    m.model = "M";
    m.mac_address = bytes({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
    m.usb_info = UsbInfo{1, 2};
    add("gap in field numbers", m, R"({"model":"M","macAddress":"qrvM3e7/","usbInfo":{"usbPid":1,"usbVid":2}})");
  }
  {
    // Keys of the lowerCamelCase examples.
    SensorApp s;
    s.imu_data2.emplace();
    s.imu_data2->seq_num = 1;
    add("imuData2", s, R"({"imuData2":{"seqNum":1}})");
    AppSensor a;
    a.device_info_cfg = DeviceInfoConfig{"m", ""};
    add("deviceInfoCfg", a, R"({"deviceInfoCfg":{"model":"m"}})");
    OtaConfig o;
    o.file_sha256 = "ab";
    add("fileSha256", o, R"({"fileSha256":"ab"})");
    AlgoData g;
    g.r = 3;
    g.spo2_lsq_flag = true;
    add("r and spo2LsqFlag", g, R"({"r":3,"spo2LsqFlag":true})");
  }
  for (const Case& c : cases) EXPECT_EQ(c.text, c.expected) << c.name;
}

TEST(RenderJson, FullSensorMessageInFieldOrder) {
  SensorApp m;
  m.msg_id = 42;
  m.imu_data.emplace();
  m.imu_data->seq_num = 1042;
  m.imu_data->acc_raw_data = bytes({1, 0, 255, 255, 0, 128});
  m.imu_data->euler_raw_data = {1.5f, -0.5f, 90.0f};
  m.imu_data->port = CtrlBoxPort::PortB;
  m.imu_data->gyro_correction_data = {0.1f};
  m.mag_resp.emplace();
  m.mag_resp->mag_coefficient = 0.15f;
  m.afe_data.emplace();
  m.afe_data->lead_off_bits = 3;
  m.ppg_data.emplace();
  m.ppg_data->report.emplace();
  m.ppg_data->report->raw = {RawData{1, -2, 3, -4}};
  m.ppg_data->report->algo = {AlgoData{}, AlgoData{}};
  m.ppg_data->report->algo[1].op_mode = AlgoOpMode(6);
  m.ppg_data->report->algo[1].scd_state = ScdState(3);
  m.ppg_data->seg_finished = true;
  EXPECT_EQ(json(m),
            R"({"msgId":42,"imuData":{"seqNum":1042,"accRawData":"AQD//wCA","eulerRawData":[1.5,-0.5,90.0],)"
            R"("port":"PORT_B","gyroCorrectionData":[0.1]},"magResp":{"magCoefficient":0.15},)"
            R"("afeData":{"leadOffBits":3},"ppgData":{"report":{"raw":[{"green1":1,"green2":-2,"ir":3,"red":-4}],)"
            R"("algo":[{},{"opMode":"OP_MODE_SPO2_CALIBRATION","scdState":"SCD_STATE_ON_SKIN"}]},"segFinished":true}})");
}

TEST(RenderJson, EnumerationNumbersWithoutNameFailAtAnyDepth) {
  struct Case {
    std::string name;
    std::string result;
    const char* expected;
  };
  std::vector<Case> cases;
  {
    AppSensor m;
    m.msg_cmd = MsgCmd(5);
    cases.push_back({"gap in MsgCmd", failure(m), "Invalid variant 5"});
    m.msg_cmd = MsgCmd(-1);
    cases.push_back({"negative", failure(m), "Invalid variant -1"});
    m.msg_cmd = MsgCmd(-2147483647 - 1);
    cases.push_back({"most negative", failure(m), "Invalid variant -2147483648"});
  }
  {
    AppSensor m;
    m.mag_config.emplace();
    m.mag_config->data_type = UploadDataType(5);
    cases.push_back({"nested", failure(m), "Invalid variant 5"});
  }
  {
    SensorApp m;
    m.imu_resp.emplace();
    m.imu_resp->config.emplace();
    m.imu_resp->config->port = CtrlBoxPort(-1);
    cases.push_back({"two levels down", failure(m), "Invalid variant -1"});
  }
  {
    SensorApp m;
    m.ppg_data.emplace();
    m.ppg_data->report.emplace();
    m.ppg_data->report->algo = {AlgoData{}, AlgoData{}};
    m.ppg_data->report->algo[1].activity = PpgActivity(-1);
    cases.push_back({"inside a repeated sub-message", failure(m), "Invalid variant -1"});
  }
  {
    ControlBoxToApp m;
    m.port_stat.emplace();
    m.port_stat->box_sensor_list = {BoxSensorType(1), BoxSensorType(5), BoxSensorType(-1)};
    cases.push_back({"repeated enum, first bad entry", failure(m), "Invalid variant 5"});
    m.port_stat->box_sensor_list = {BoxSensorType(-1), BoxSensorType(5)};
    cases.push_back({"repeated enum, negative entry", failure(m), "Invalid variant -1"});
    m.port_stat->box_sensor_list = {BoxSensorType(1), BoxSensorType(9), BoxSensorType(2)};
    cases.push_back({"repeated enum (1, 9, 2)", failure(m), "Invalid variant 9"});
  }
  {
    PpgInfo m;
    m.chip = PpgChip(2);
    cases.push_back({"chip 2", failure(m), "Invalid variant 2"});
  }
  {
    // The first bad field in field order is the one reported.
    DongleApp m;
    m.error = DongleErr(4);
    m.pairing_status = PairingStatus(6);
    cases.push_back({"first in field order", failure(m), "Invalid variant 4"});
  }
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
}

TEST(RenderJson, WriteJsonAppendsToAnOpenText) {
  std::string out = "[";
  ASSERT_TRUE(write_json(UsbInfo{1, 0}, out));
  out += ',';
  ASSERT_TRUE(write_json(UsbInfo{}, out));
  EXPECT_EQ(out, R"([{"usbPid":1},{})");

  AppDongle bad;
  bad.msg_type = DongleMsgType(6);
  auto result = write_json(bad, out);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message(), "Invalid variant 6");
}

}  // namespace
}  // namespace ovik::schema
