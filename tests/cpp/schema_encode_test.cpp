#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/decode.hpp"
#include "schema/encode.hpp"
#include "support/schema_bytes.hpp"

namespace ovik::schema {
namespace {

using test::to_hex;

// The hex of the encoding; also checks that the predicted size is exact.
template <class T>
std::string encoded(const T& message) {
  Result<std::vector<std::uint8_t>> bytes = encode(message);
  if (!bytes) return "error: " + bytes.error().message();
  EXPECT_EQ(encoded_size(message), bytes->size());
  return to_hex(*bytes);
}

// The requests as the command builders fill them, on both device routes.
TEST(SchemaEncode, WorkedRequestPayloadsByteForByte) {
  struct Case {
    const char* what;
    AppSensor message;
    const char* hex;
  };
  const Case cases[] = {
      {"start data stream", {.msg_id = 1, .msg_cmd = MsgCmd::StartDataStream}, "08 01 10 06"},
      {"stop data stream", {.msg_id = 1, .msg_cmd = MsgCmd::StopDataStream}, "08 01 10 07"},
      {"flex config", {.msg_id = 1, .flex_config = FlexConfig{.sample_rate = SamplingRate::SamplingRate100}},
       "08 01 CA 01 02 08 04"},
      {"EMG config",
       {.msg_id = 1, .afe_config = AfeConfig{.sample_rate = AfeSampleRate::AfeSr500, .channel_bits = 255}},
       "08 01 A2 01 05 08 04 10 FF 01"},
      {"IMU config",
       {.msg_id = 1,
        .imu_config = ImuConfig{.imu_mode = ImuMode::AccGyro,
                                .imu_sr = ImuSampleRate::ImuSr100,
                                .port = CtrlBoxPort::PortNone,
                                .data_type = UploadDataType::RawData}},
       "08 01 52 06 08 03 10 04 20 01"},
      {"magnetometer config",
       {.msg_id = 1,
        .mag_config = MagConfig{.mag_sr = MagSampleRate::MagSr50, .data_type = UploadDataType::CalibratedData}},
       "08 01 5A 04 08 04 10 02"},
      {"firmware reboot", {.msg_id = 1, .ota_cfg = OtaConfig{.cmd = OtaCmd::OtaReboot}}, "08 01 2A 02 08 02"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encoded(c.message), c.hex) << c.what;
    const AppSensor& m = c.message;
    const AppToControlBox via_mcu{.msg_id = m.msg_id,
                                  .msg_cmd = m.msg_cmd,
                                  .ota_cfg = m.ota_cfg,
                                  .imu_config = m.imu_config,
                                  .mag_config = m.mag_config,
                                  .afe_config = m.afe_config,
                                  .flex_config = m.flex_config};
    EXPECT_EQ(encoded(via_mcu), c.hex) << c.what << " via the control box";
  }
}

TEST(SchemaEncode, ZeroValuesAreLeftOutAndPresentRecordsWritten) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(encoded(AppSensor{}), "");
  EXPECT_EQ(encoded(AppSensor{.msg_id = 0, .msg_cmd = MsgCmd::ReqNone}), "");
  EXPECT_EQ(encoded(AppSensor{.flex_config = FlexConfig{.sample_rate = SamplingRate::None}}), "CA 01 00");
  EXPECT_EQ(encoded(Xyz{.x = 0.0f, .y = -0.0f, .z = 1.5f}), "1D 00 00 C0 3F");
  EXPECT_EQ(encoded(Xyz{.x = nan}), "0D 00 00 C0 7F");
  EXPECT_EQ(encoded(OtaData{.offset = 0, .data = {}, .finished = false}), "");
  EXPECT_EQ(encoded(OtaData{.finished = true}), "18 01");
  EXPECT_EQ(encoded(BleConfig{.device_name = "", .pair_key = "k"}), "22 01 6B");
  EXPECT_EQ(encoded(ImuCalibration{.acc_correction = Xyz{}, .gyro_correction = std::nullopt}), "12 00");
}

TEST(SchemaEncode, SignedNumbersTakeTenBytes) {
  EXPECT_EQ(encoded(AppSensor{.msg_cmd = static_cast<MsgCmd>(-1)}), "10 FF FF FF FF FF FF FF FF FF 01");
  EXPECT_EQ(encoded(AppSensor{.msg_cmd = static_cast<MsgCmd>(5)}), "10 05");
  EXPECT_EQ(encoded(RawData{.green1 = -5, .red = std::numeric_limits<std::int32_t>::min()}),
            "08 FB FF FF FF FF FF FF FF FF 01 20 80 80 80 80 F8 FF FF FF FF 01");
  EXPECT_EQ(encoded(UsbInfo{.usb_pid = 0xFFFFFFFF}), "08 FF FF FF FF 0F");
}

TEST(SchemaEncode, RepeatedFieldsPackScalarsAndRepeatTheRest) {
  EXPECT_EQ(encoded(ImuData{.euler_raw_data = {1.0f, -0.0f, 0.0f}}),
            "3A 0C 00 00 80 3F 00 00 00 80 00 00 00 00");
  EXPECT_EQ(encoded(PortStat{.box_sensor_list = {BoxSensorType::SensImu, static_cast<BoxSensorType>(-1),
                                                 BoxSensorType::SensNone}}),
            "12 0C 01 FF FF FF FF FF FF FF FF FF 01 00");
  EXPECT_EQ(encoded(AfeData{.channel_adc_value = {{1, 2}, {}}}), "22 02 01 02 22 00");
  EXPECT_EQ(encoded(MagCalibration{.mag_soft_iron_correction = {Xyz{}, Xyz{.x = 1.0f}}}),
            "22 00 22 05 0D 00 00 80 3F");
  EXPECT_EQ(encoded(PpgReport{.raw = {RawData{.ir = 3}}, .algo = {AlgoData{.spo2_ur_flag = true}}}),
            "0A 02 18 03 12 02 70 01");
}

TEST(SchemaEncode, TwoByteKeys) {
  EXPECT_EQ(encoded(AppSensor{.afe_config = AfeConfig{}}), "A2 01 00");
  EXPECT_EQ(encoded(AppSensor{.acc_config = AccConfig{}}), "AA 01 00");
  EXPECT_EQ(encoded(AppToControlBox{.hall_config = HallConfig{}}), "BA 01 00");
  EXPECT_EQ(encoded(AppSensor{.flex_config = FlexConfig{}}), "CA 01 00");
  EXPECT_EQ(encoded(AppSensor{.ppg_config = PpgConfig{}}), "F2 01 00");
}

TEST(SchemaEncode, RefusesWhatAFrameCannotCarry) {
  // OtaData: key, three-byte length, data.
  const OtaData largest{.data = Bytes(65531, 0xAB)};
  ASSERT_EQ(encoded_size(largest), 65535u);
  Result<std::vector<std::uint8_t>> fits = encode(largest);
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->size(), 65535u);

  const OtaData one_more{.data = Bytes(65532, 0xAB)};
  Result<std::vector<std::uint8_t>> refused = encode(one_more);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "message of 65536 bytes exceeds the payload limit of 65535 bytes");

  // The limit applies to the whole payload, not to each record.
  const AppSensor nested{.ota_cfg = OtaConfig{.ota_data = OtaData{.data = Bytes(65524, 1)}}};
  EXPECT_EQ(encoded_size(nested), 65536u);
  EXPECT_FALSE(encode(nested));
}

TEST(SchemaEncode, DecodingTheEncodingGivesTheRecordBack) {
  const SensorApp sensor{
      .msg_id = 0xFFFFFFFF,
      .device_info = DeviceInfo{.sensor_type = SensorType::SensorGlove, .model = "g\xC3\xA9", .sensor_features = 3},
      .device_event = static_cast<DeviceEvent>(-7),
      .imu_data = ImuData{.seq_num = 1,
                          .acc_raw_data = {1, 2, 3, 4, 5, 6},
                          .euler_raw_data = {0.0f, -0.0f, 1e-30f},
                          .port = CtrlBoxPort::PortF,
                          .gyro_correction_data = {std::numeric_limits<float>::infinity()}},
      .afe_data = AfeData{.seq_num = 2, .lead_off_bits = 9, .channel_adc_value = {{}, {0xFF}}},
      .ppg_data = PpgData{.report = PpgReport{.raw = {RawData{.green2 = -1}, RawData{}}}},
      .ppg_info = PpgInfo{.chip = PpgChip::PpgGh3011, .version = "1.0"},
  };
  Result<std::vector<std::uint8_t>> bytes = encode(sensor);
  ASSERT_TRUE(bytes);
  Result<SensorApp> back = decode<SensorApp>(*bytes);
  ASSERT_TRUE(back) << back.error().message();
  EXPECT_EQ(*back, sensor);
  EXPECT_TRUE(std::signbit(back->imu_data->euler_raw_data[1]));
}

}  // namespace
}  // namespace ovik::schema
