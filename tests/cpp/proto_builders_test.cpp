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

using log::CapturedRecord;
using log::Level;
using test::Bytes;
namespace s = schema;

constexpr const char* kTarget = "ovik_sdk::proto::ovik::msg_builder::ovik_msg_builder";

class Builders : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_flag_ = VIA_MCU_FLAG.load();
    VIA_MCU_FLAG.store(false);
    MSG_ID_COUNTER.store(1);
  }
  void TearDown() override { VIA_MCU_FLAG.store(saved_flag_); }

 private:
  bool saved_flag_ = false;
};

struct Worked {
  const char* name;
  EncodedRequest (*build)();
  Bytes payload;
  const char* json;
};

const Worked kWorked[] = {
    {"start", [] { return encode_start_data_stream(); }, {0x08, 0x01, 0x10, 0x06},
     R"({"msgId":1,"msgCmd":"START_DATA_STREAM"})"},
    {"stop", [] { return encode_stop_data_stream(); }, {0x08, 0x01, 0x10, 0x07},
     R"({"msgId":1,"msgCmd":"STOP_DATA_STREAM"})"},
    {"flex", [] { return encode_set_flex_config(s::SamplingRate::SamplingRate100); },
     {0x08, 0x01, 0xCA, 0x01, 0x02, 0x08, 0x04}, R"({"msgId":1,"flexConfig":{"sampleRate":"SAMPLING_RATE_100"}})"},
    {"emg", [] { return encode_set_emg_config(s::AfeSampleRate::AfeSr500, 255); },
     {0x08, 0x01, 0xA2, 0x01, 0x05, 0x08, 0x04, 0x10, 0xFF, 0x01},
     R"({"msgId":1,"afeConfig":{"sampleRate":"AFE_SR_500","channelBits":255}})"},
    {"imu", [] { return encode_set_imu_config(s::ImuSampleRate::ImuSr100, s::UploadDataType::RawData); },
     {0x08, 0x01, 0x52, 0x06, 0x08, 0x03, 0x10, 0x04, 0x20, 0x01},
     R"({"msgId":1,"imuConfig":{"imuMode":"ACC_GYRO","imuSr":"IMU_SR_100","dataType":"RAW_DATA"}})"},
    {"mag", [] { return encode_set_mag_config(s::MagSampleRate::MagSr50, s::UploadDataType::CalibratedData); },
     {0x08, 0x01, 0x5A, 0x04, 0x08, 0x04, 0x10, 0x02},
     R"({"msgId":1,"magConfig":{"magSr":"MAG_SR_50","dataType":"CALIBRATED_DATA"}})"},
    {"reboot", [] { return encode_ota_reboot(); }, {0x08, 0x01, 0x2A, 0x02, 0x08, 0x02},
     R"({"msgId":1,"otaCfg":{"cmd":"OTA_REBOOT"}})"},
};

// Each builder's payload is the same on both routes; the log line names the
// route and its JSON text.
TEST_F(Builders, WorkedPayloadsFramesAndLogLinesOnBothRoutes) {
  for (bool via_mcu : {false, true}) {
    for (const Worked& w : kWorked) {
      SCOPED_TRACE(std::string(w.name) + (via_mcu ? " via mcu" : " direct"));
      VIA_MCU_FLAG.store(via_mcu);
      MSG_ID_COUNTER.store(1);
      log::ScopedCapture capture;
      EncodedRequest request = w.build();
      EXPECT_EQ(request, (EncodedRequest{1, test::ovik_frame(1, 3, w.payload)}));
      const std::string line = via_mcu ? std::string("encode_app_to_mcu, msg: ") + w.json
                                       : std::string("encode_app_to_sensor, ") + w.json;
      EXPECT_EQ(capture.messages(kTarget), std::vector<std::string>{line});
      for (const CapturedRecord& record : capture.records()) {
        if (record.target == kTarget) EXPECT_EQ(record.level, Level::Info);
      }
    }
  }
}

TEST_F(Builders, ConsecutiveIdsAndTheWrap) {
  EXPECT_EQ(encode_start_data_stream().msg_id, 1u);
  EXPECT_EQ(encode_start_data_stream().msg_id, 2u);

  MSG_ID_COUNTER.store(0xFFFFFFFF);
  EncodedRequest last = encode_start_data_stream();
  EXPECT_EQ(last, (EncodedRequest{0xFFFFFFFF, test::ovik_frame(1, 3, Bytes{0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x10, 0x06})}));
  EncodedRequest wrapped = encode_start_data_stream();
  // 0 is a default value, so the payload has no msg_id field at all.
  EXPECT_EQ(wrapped, (EncodedRequest{0, test::ovik_frame(1, 3, Bytes{0x10, 0x06})}));
  EXPECT_EQ(encode_start_data_stream().msg_id, 1u);
}

TEST_F(Builders, ConcurrentRequestsTakeDistinctIds) {
  std::vector<std::vector<std::uint32_t>> ids(8);
  std::vector<std::thread> threads;
  for (auto& mine : ids) {
    threads.emplace_back([&mine] {
      for (int i = 0; i < 1000; ++i) mine.push_back(encode_stop_data_stream().msg_id);
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::uint32_t> all;
  for (const auto& mine : ids) all.insert(all.end(), mine.begin(), mine.end());
  std::sort(all.begin(), all.end());
  std::vector<std::uint32_t> expected(8000);
  std::iota(expected.begin(), expected.end(), 1u);
  EXPECT_EQ(all, expected);
}

TEST_F(Builders, EdgePayloads) {
  // A present sub-message with every field at its default is still written.
  EXPECT_EQ(encode_set_flex_config(s::SamplingRate::None).frame,
            test::ovik_frame(1, 3, Bytes{0x08, 0x01, 0xCA, 0x01, 0x00}));
  // Enumeration numbers without a name pass through unchecked; the log line
  // then carries empty text and the frame is built all the same.
  log::ScopedCapture capture;
  EXPECT_EQ(encode_set_flex_config(static_cast<s::SamplingRate>(9)).frame,
            test::ovik_frame(1, 3, Bytes{0x08, 0x02, 0xCA, 0x01, 0x02, 0x08, 0x09}));
  EXPECT_EQ(capture.messages(kTarget), std::vector<std::string>{"encode_app_to_sensor, "});
}

TEST_F(Builders, DongleRequestsIgnoreTheRoute) {
  for (bool via_mcu : {false, true}) {
    VIA_MCU_FLAG.store(via_mcu);
    log::ScopedCapture capture;
    s::AppDongle message;
    message.msg_id = 5;
    message.msg_type = s::DongleMsgType::PairGet;
    Result<EncodedRequest> request = encode_app_to_dongle(message);
    ASSERT_TRUE(request);
    EXPECT_EQ(*request, (EncodedRequest{5, test::ovik_frame(1, 2, Bytes{0x08, 0x05, 0x10, 0x04})}));
    EXPECT_EQ(capture.messages(kTarget),
              std::vector<std::string>{R"(encode_app_to_dongle, msg: {"msgId":5,"msgType":"PAIR_GET"})"});
  }
}

TEST_F(Builders, EncodersRefuseMessagesTooLongForAFrame) {
  s::AppSensor message;
  message.ble_conf = s::BleConfig{};
  message.ble_conf->device_name = std::string(70000, 'n');
  EXPECT_FALSE(encode_app_to_sensor(message));
  s::AppToControlBox fits;
  fits.ota_cfg = s::OtaConfig{};
  fits.ota_cfg->ota_data = s::OtaData{};
  fits.ota_cfg->ota_data->data = Bytes(60000, 0xAB);
  Result<EncodedRequest> request = encode_app_to_mcu(fits);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->frame.size(), 13u + 60012u);  // 12 bytes of keys and lengths
}

TEST_F(Builders, NothingLoggedBelowInfo) {
  log::ScopedCapture capture(Level::Warn);
  EXPECT_EQ(encode_start_data_stream().frame, test::ovik_frame(1, 3, Bytes{0x08, 0x01, 0x10, 0x06}));
  EXPECT_TRUE(capture.records().empty());
}

}  // namespace
}  // namespace ovik::proto
