// Request builders and encoders: payloads, frames, ids, routes, log lines.
#include <algorithm>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/request_builders.hpp"
#include "proto/route_flag.hpp"
#include "support/frames.hpp"

namespace ovik::proto {
namespace {

using test::Bytes;
using test::hex;
namespace s = schema;

constexpr const char* kTarget = "ovik_sdk::proto::ovik::msg_builder::ovik_msg_builder";

class Builders : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_flag_ = VIA_MCU_FLAG.exchange(false);
    MSG_ID_COUNTER.store(1);
  }
  void TearDown() override { VIA_MCU_FLAG.store(saved_flag_); }

 private:
  bool saved_flag_ = false;
};

// The payload is the same on both routes; the Info line names the route.
TEST_F(Builders, PayloadsFramesAndLogLinesOnBothRoutes) {
  const struct {
    EncodedRequest (*build)();
    const char* payload;
    const char* json;
  } cases[] = {
      {[] { return encode_start_data_stream(); }, "08 01 10 06", R"({"msgId":1,"msgCmd":"START_DATA_STREAM"})"},
      {[] { return encode_stop_data_stream(); }, "08 01 10 07", R"({"msgId":1,"msgCmd":"STOP_DATA_STREAM"})"},
      {[] { return encode_set_flex_config(s::SamplingRate::SamplingRate100); }, "08 01 CA 01 02 08 04",
       R"({"msgId":1,"flexConfig":{"sampleRate":"SAMPLING_RATE_100"}})"},
      {[] { return encode_set_emg_config(s::AfeSampleRate::AfeSr500, 255); }, "08 01 A2 01 05 08 04 10 FF 01",
       R"({"msgId":1,"afeConfig":{"sampleRate":"AFE_SR_500","channelBits":255}})"},
      {[] { return encode_set_imu_config(s::ImuSampleRate::ImuSr100, s::UploadDataType::RawData); },
       "08 01 52 06 08 03 10 04 20 01",
       R"({"msgId":1,"imuConfig":{"imuMode":"ACC_GYRO","imuSr":"IMU_SR_100","dataType":"RAW_DATA"}})"},
      {[] { return encode_set_mag_config(s::MagSampleRate::MagSr50, s::UploadDataType::CalibratedData); },
       "08 01 5A 04 08 04 10 02", R"({"msgId":1,"magConfig":{"magSr":"MAG_SR_50","dataType":"CALIBRATED_DATA"}})"},
      {[] { return encode_ota_reboot(); }, "08 01 2A 02 08 02", R"({"msgId":1,"otaCfg":{"cmd":"OTA_REBOOT"}})"},
  };
  for (bool via_mcu : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.json);
      VIA_MCU_FLAG.store(via_mcu);
      MSG_ID_COUNTER.store(1);
      log::ScopedCapture capture(log::Level::Info);
      EXPECT_EQ(c.build(), (EncodedRequest{1, test::ovik_frame(1, 3, hex(c.payload))}));
      EXPECT_EQ(capture.records(), (std::vector<log::CapturedRecord>{
                                       {log::Level::Info, kTarget,
                                        (via_mcu ? "encode_app_to_mcu, msg: " : "encode_app_to_sensor, ") +
                                            std::string(c.json)}}));
    }
  }
}

TEST_F(Builders, IdsCountUpWrapAndNeverRepeatAcrossThreads) {
  MSG_ID_COUNTER.store(0xFFFFFFFF);
  EXPECT_EQ(encode_start_data_stream(),
            (EncodedRequest{0xFFFFFFFF, test::ovik_frame(1, 3, hex("08 FF FF FF FF 0F 10 06"))}));
  // 0 is a default value, so the payload has no msg_id field at all.
  EXPECT_EQ(encode_start_data_stream(), (EncodedRequest{0, test::ovik_frame(1, 3, hex("10 06"))}));
  std::vector<std::vector<std::uint32_t>> ids(8);
  std::vector<std::thread> threads;
  for (auto& mine : ids)
    threads.emplace_back([&mine] {
      for (int i = 0; i < 1000; ++i) mine.push_back(encode_stop_data_stream().msg_id);
    });
  for (auto& thread : threads) thread.join();
  std::vector<std::uint32_t> all;
  for (const auto& mine : ids) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  std::vector<std::uint32_t> expected(8000);
  std::iota(expected.begin(), expected.end(), 1u);
  EXPECT_EQ(all, expected);
}

TEST_F(Builders, EdgeMessages) {
  // A present sub-message with every field at its default is still written.
  EXPECT_EQ(encode_set_flex_config(s::SamplingRate::None).frame, test::ovik_frame(1, 3, hex("08 01 CA 01 00")));
  // A number without a name passes unchecked; the log line has empty text.
  log::ScopedCapture capture;
  EXPECT_EQ(encode_set_flex_config(static_cast<s::SamplingRate>(9)).frame,
            test::ovik_frame(1, 3, hex("08 02 CA 01 02 08 09")));
  EXPECT_EQ(capture.messages(kTarget), std::vector<std::string>{"encode_app_to_sensor, "});

  // Dongle requests ignore the route.
  VIA_MCU_FLAG.store(true);
  capture.clear();
  Result<EncodedRequest> dongle = encode_app_to_dongle(s::AppDongle{.msg_id = 5, .msg_type = s::DongleMsgType::PairGet});
  ASSERT_TRUE(dongle);
  EXPECT_EQ(*dongle, (EncodedRequest{5, test::ovik_frame(1, 2, hex("08 05 10 04"))}));
  EXPECT_EQ(capture.messages(kTarget),
            std::vector<std::string>{R"(encode_app_to_dongle, msg: {"msgId":5,"msgType":"PAIR_GET"})"});

  s::AppSensor too_long;
  too_long.ble_conf = s::BleConfig{.device_name = std::string(70000, 'n')};
  Result<EncodedRequest> refused = encode_app_to_sensor(too_long);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "message of 70008 bytes exceeds the payload limit of 65535 bytes");
  s::AppToControlBox fits;
  fits.ota_cfg = s::OtaConfig{.ota_data = s::OtaData{.data = s::Bytes(60000, 0xAB)}};
  Result<EncodedRequest> request = encode_app_to_mcu(fits);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->frame.size(), 13u + 60012u);  // 12 bytes of keys and lengths
}

}  // namespace
}  // namespace ovik::proto
