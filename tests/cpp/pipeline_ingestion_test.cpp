#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "log/capture.hpp"
#include "pipeline/ingestion.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/sample_buffers.hpp"
#include "pipeline/scales.hpp"
#include "proto/message_parser.hpp"
#include "schema/encode.hpp"
#include "support/frames.hpp"
#include "support/recording_sink.hpp"

namespace ovik::pipeline {
namespace {

using testing::Delivery;
using K = CallbackKind;

schema::ImuData imu(std::uint32_t seq, schema::Bytes acc, schema::Bytes gyro) {
  schema::ImuData data;
  data.seq_num = seq;
  data.acc_raw_data = std::move(acc);
  data.gyro_raw_data = std::move(gyro);
  return data;
}

schema::SensorApp sensor(std::function<void(schema::SensorApp&)> fill) {
  schema::SensorApp message;
  fill(message);
  return message;
}

struct IngestCase {
  std::string name;
  proto::OvikMessage message;
  std::vector<K> slots;
  std::vector<Delivery> delivered;  // in kind order
  std::vector<std::string> logged;  // pipeline targets, "" for the debug text of the message
  std::array<std::size_t, 5> sizes;  // EMG, IMU, Mag, Flex, quaternion buffers after it
};

class Ingest : public ::testing::TestWithParam<IngestCase> {};

TEST_P(Ingest, BuffersAndCallbackItems) {
  const IngestCase& c = GetParam();
  testing::RecordingSink& sink = testing::RecordingSink::installed();
  sink.set(c.slots);
  log::ScopedCapture capture(log::Level::Debug);
  process_message(std::make_shared<const proto::ParseResult>("dev", proto::OvikMessage(c.message)));
  std::vector<Delivery> delivered = sink.wait_for(c.delivered.size());
  std::stable_sort(delivered.begin(), delivered.end(), [](auto& a, auto& b) { return a.kind < b.kind; });
  EXPECT_EQ(delivered, c.delivered);
  std::vector<std::string> logged = capture.messages(kAfeHandlerTarget);
  for (const std::string& text : capture.messages(kDataTarget)) logged.push_back(text);
  std::vector<std::string> expected = c.logged;
  for (std::string& text : expected) {
    if (text.empty()) text = "Received message: " + proto::to_debug(c.message);
  }
  EXPECT_EQ(logged, expected);
  EXPECT_EQ((std::array{emg_buffer().size(), imu_buffer().size(), mag_buffer().size(), flex_buffer().size(),
                        quaternion_buffer().size()}),
            c.sizes);
}

const schema::Bytes kSix{1, 0, 2, 0, 3, 0};

INSTANTIATE_TEST_SUITE_P(
    Messages, Ingest,
    ::testing::Values(
        IngestCase{"config_reply_sets_scales_and_goes_to_the_message_callback",
                   sensor([](auto& m) { m.imu_resp.emplace().gyro_coefficient = 0.5f; }),
                   {K::Imu},
                   {{K::MsgResp, {}, {"dev", R"({"Sensor2App":{"imuResp":{"gyroCoefficient":0.5}}})"}}},
                   {},
                   {0, 0, 0, 0, 0}},
        IngestCase{"rows_use_the_scales_of_their_own_message",
                   sensor([](auto& m) {
                     m.imu_data = imu(9, kSix, {4, 0, 5, 0, 6, 0});
                     m.imu_resp.emplace().acc_coefficient = 0.5f;
                     m.imu_resp->gyro_coefficient = 2.0f;
                     m.mag_data.emplace().mag_raw_data = kSix;
                     m.mag_resp.emplace().mag_coefficient = 3.0f;
                   }),
                   {K::Imu, K::Mag},
                   {{K::Imu, {{9, 0.5f, 1, 1.5f, 8, 10, 12}}, {}}, {K::Mag, {{0, 3, 6, 9}}, {}}},
                   {},
                   {0, 1, 1, 0, 1}},
        IngestCase{"present_but_empty_records_give_empty_batches",
                   sensor([](auto& m) {
                     m.imu_data.emplace();
                     m.mag_data.emplace();
                   }),
                   {K::Imu, K::ImuCalibration, K::Euler, K::Mag, K::MagCalibration},
                   {{K::Imu, {}, {}}, {K::Mag, {}, {}}, {K::ImuCalibration, {}, {}}, {K::MagCalibration, {}, {}},
                    {K::Euler, {{0}}, {}}},
                   {},
                   {0, 1, 1, 0, 0}},
        IngestCase{"only_the_euler_and_quaternion_slots",
                   sensor([](auto& m) { m.imu_data = imu(4, {0, 0, 0, 0, 0, 0x20}, {0, 0, 0, 0, 0, 0}); }),
                   {K::Euler, K::Quaternion},
                   {{K::Euler, {{4, 0, 0, 0}}, {}}, {K::Quaternion, {{4, 1, 0, 0, 0}}, {}}},
                   {},
                   {0, 1, 0, 0, 1}},
        IngestCase{"bad_raw_length_logs_for_the_fusion_and_for_the_rows",
                   sensor([](auto& m) { m.imu_data = imu(4, {1, 2, 3, 4, 5, 6, 7}, kSix); }),
                   {K::Imu},
                   {{K::Imu, {}, {}}},
                   {"Invalid data length: 7", "Invalid data length: 7"},
                   {0, 1, 0, 0, 0}},
        IngestCase{"emg_and_flex_rows",
                   sensor([](auto& m) {
                     auto& afe = m.afe_data.emplace();
                     afe.seq_num = 2;
                     afe.lead_off_bits = 5;
                     afe.channel_adc_value = {{0xFF, 0xFF}};
                     auto& flex = m.flex_data.emplace();
                     flex.seq_num = 3;
                     flex.channel_adc_value = {{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0}};
                   }),
                   {K::Emg, K::Flex},
                   {{K::Flex, {{3, 1, 2, 3, 4, 5, 6}}, {}}, {K::Emg, {{2, 5, -0.68666646f}}, {}}},
                   {},
                   {1, 0, 0, 1, 0}},
        IngestCase{"other_messages_go_to_the_message_callback", proto::OvikMessage(schema::DongleApp{.msg_id = 5}),
                   {}, {{K::MsgResp, {}, {"dev", R"({"Dongle2App":{"msgId":5}})"}}}, {""}, {0, 0, 0, 0, 0}}),
    [](const auto& info) { return info.param.name; });

TEST(Ingest, ACapOfZeroKeepsTheBufferEmptyButTheRowsFlow) {
  testing::RecordingSink& sink = testing::RecordingSink::installed();
  sink.set({K::Emg});
  set_buffer_cap(BufferCap::Emg, 0);
  schema::SensorApp message;
  message.afe_data.emplace().seq_num = 8;
  process_message(std::make_shared<const proto::ParseResult>("dev", proto::OvikMessage(message)));
  EXPECT_EQ(sink.wait_for(1), (std::vector<Delivery>{{K::Emg, {{8, 0}}, {}}}));
  EXPECT_EQ(emg_buffer().size(), 0u);
}

// Every parser ingests what it decodes, and the buffer shares the published
// record.
TEST(Ingest, ParsersIngestByDefault) {
  schema::SensorApp message;
  message.flex_data.emplace().seq_num = 77;
  proto::MessageParser parser("dev", proto::MsgType::Ovik);
  auto results = parser.subscribe();
  const std::vector<std::uint8_t> frame = test::ovik_frame(3, 1, *schema::encode(message));
  parser.receive_data("dev", frame);
  const std::vector<FlexRecord> taken = flex_buffer().take(SIZE_MAX, true);
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0]->seq_num, 77u);
  const auto published = results.try_recv();
  EXPECT_EQ(taken[0].get(), &*std::get<schema::SensorApp>(published.value->message).flex_data);
}

// Forwarding a record takes the interpreter lock; a Python thread holds it
// while it waits for a buffer. Ingestion must not forward under that buffer.
class InterpreterLockOutput : public log::CaptureOutput {
 public:
  void write(const log::Record& record) override {
    std::lock_guard lock(interpreter_lock);
    CaptureOutput::write(record);
  }
  std::mutex interpreter_lock;
};

class SignallingSink : public testing::RecordingSink {
 public:
  bool is_set(CallbackKind) const override {
    inside_buffer.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the reader is now waiting for the buffer
    return true;
  }
  mutable std::promise<void> inside_buffer;
};

TEST(Ingest, LogsUnderABufferWaitForItsRelease) {
  static InterpreterLockOutput output;
  static SignallingSink sink;
  install_callback_sink(&sink);
  log::sink().install(log::Slot::Capture, &output);
  std::promise<void> reader_holds_lock;
  std::thread reader([&] {
    std::lock_guard lock(output.interpreter_lock);
    reader_holds_lock.set_value();
    sink.inside_buffer.get_future().wait();
    emg_buffer().take(1, false);
  });
  reader_holds_lock.get_future().wait();
  auto ingest = std::async(std::launch::async, [] {
    schema::SensorApp message;
    message.afe_data.emplace().channel_adc_value = {{1, 2, 3, 4, 5}};
    process_message(std::make_shared<const proto::ParseResult>("dev", proto::OvikMessage(message)));
  });
  if (ingest.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "ingestion and the reader wait for each other";
    std::_Exit(1);
  }
  reader.join();
  EXPECT_EQ(output.messages(kAfeHandlerTarget),
            std::vector<std::string>{"Invalid AFE data length: 5 (not aligned to 3 bytes)"});
}

}  // namespace
}  // namespace ovik::pipeline
