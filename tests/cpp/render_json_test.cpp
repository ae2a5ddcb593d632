// JSON text of messages: a full message in field order, the message enum
// wrapper, appending to an open text, and failures on enumeration numbers
// without a name at any depth.
#include <string>

#include <gtest/gtest.h>

#include "schema/json_writer.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

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

TEST(RenderJson, MessageEnumWrapperFailsWithItsMessage) {
  AppSensor bad;
  bad.msg_cmd = MsgCmd(5);
  auto wrapped = to_json_as_kind("App2Sensor", bad);
  ASSERT_FALSE(wrapped);
  EXPECT_EQ(wrapped.error().message(), "Invalid variant 5");
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
