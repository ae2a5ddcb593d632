#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "log/capture.hpp"
#include "pipeline/ingestion.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/sample_buffers.hpp"
#include "proto/message_parser.hpp"
#include "schema/encode.hpp"
#include "support/frames.hpp"
#include "support/recording_sink.hpp"

namespace ovik::pipeline {
namespace {

using testing::Delivery;
using K = CallbackKind;
using schema::ImuData, schema::MagData, schema::SensorApp;

void ingest(proto::OvikMessage message) {
  process_message(std::make_shared<const proto::ParseResult>("dev", std::move(message)));
}

struct IngestCase {
  std::string name;
  proto::OvikMessage message;
  std::vector<K> slots;
  std::vector<Delivery> delivered;   // in kind order
  std::vector<std::string> logged;   // "" stands for "Received message: " and the message's debug text
  std::array<std::size_t, 5> sizes;  // EMG, IMU, Mag, Flex and quaternion buffers afterwards
};
class Ingest : public ::testing::TestWithParam<IngestCase> {};

TEST_P(Ingest, BuffersAndCallbackItems) {
  const IngestCase& c = GetParam();
  testing::RecordingSink& sink = testing::RecordingSink::installed(c.slots);
  log::ScopedCapture capture(log::Level::Debug);
  ingest(c.message);
  std::vector<Delivery> delivered = sink.wait_for(c.delivered.size());
  std::stable_sort(delivered.begin(), delivered.end(), [](auto& a, auto& b) { return a.kind < b.kind; });
  EXPECT_EQ(delivered, c.delivered);
  std::vector<std::string> logged = capture.messages(kAfeHandlerTarget), expected = c.logged;
  for (const std::string& text : capture.messages(kDataTarget)) logged.push_back(text);
  for (std::string& text : expected) text = text.empty() ? "Received message: " + proto::to_debug(c.message) : text;
  EXPECT_EQ(logged, expected);
  EXPECT_EQ((std::array{emg_buffer().size(), imu_buffer().size(), mag_buffer().size(), flex_buffer().size(),
                        quaternion_buffer().size()}), c.sizes);
}

const schema::Bytes kWords{1, 0, 2, 0, 3, 0}, kUp{0, 0, 0, 0, 0, 0x20}, kZero(6, 0);

INSTANTIATE_TEST_SUITE_P(
    Messages, Ingest,
    ::testing::Values(
        IngestCase{"config_reply_sets_scales_and_goes_to_the_message_callback",
                   SensorApp{.imu_resp = schema::ImuConfResp{.gyro_coefficient = 0.5f}}, {K::Imu},
                   {{K::MsgResp, {}, {"dev", R"({"Sensor2App":{"imuResp":{"gyroCoefficient":0.5}}})"}}}, {},
                   {0, 0, 0, 0, 0}},
        IngestCase{"rows_use_the_scales_of_their_own_message",
                   SensorApp{.imu_data = ImuData{.seq_num = 9, .acc_raw_data = kWords, .gyro_raw_data = kWords},
                             .imu_resp = schema::ImuConfResp{.acc_coefficient = 0.5f, .gyro_coefficient = 2},
                             .mag_data = MagData{.mag_raw_data = kWords},
                             .mag_resp = schema::MagConfResp{.mag_coefficient = 3}},
                   {K::Imu, K::Mag},
                   {{K::Imu, {{9, 0.5f, 1, 1.5f, 2, 4, 6}}, {}}, {K::Mag, {{0, 3, 6, 9}}, {}}}, {}, {0, 1, 1, 0, 1}},
        IngestCase{"present_but_empty_records_give_empty_batches", SensorApp{.imu_data = ImuData{}, .mag_data = MagData{}},
                   {K::Imu, K::ImuCalibration, K::Euler, K::Mag, K::MagCalibration},
                   {{K::Imu, {}, {}}, {K::Mag, {}, {}}, {K::ImuCalibration, {}, {}}, {K::MagCalibration, {}, {}},
                    {K::Euler, {{0}}, {}}},
                   {}, {0, 1, 1, 0, 0}},
        IngestCase{"only_the_euler_and_quaternion_slots",
                   SensorApp{.imu_data = ImuData{.seq_num = 4, .acc_raw_data = kUp, .gyro_raw_data = kZero}},
                   {K::Euler, K::Quaternion}, {{K::Euler, {{4, 0, 0, 0}}, {}}, {K::Quaternion, {{4, 1, 0, 0, 0}}, {}}},
                   {}, {0, 1, 0, 0, 1}},
        IngestCase{"bad_raw_length_logs_for_the_fusion_and_for_the_rows",
                   SensorApp{.imu_data = ImuData{.acc_raw_data = {1, 2, 3, 4, 5, 6, 7}, .gyro_raw_data = kZero}},
                   {K::Imu}, {{K::Imu, {}, {}}}, {"Invalid data length: 7", "Invalid data length: 7"},
                   {0, 1, 0, 0, 0}},
        IngestCase{"emg_and_flex_rows",
                   SensorApp{.afe_data = schema::AfeData{.seq_num = 2, .lead_off_bits = 5, .channel_adc_value = {{0xFF, 0xFF}}},
                             .flex_data = schema::FlexData{.seq_num = 3, .channel_adc_value = {{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0}}}},
                   {K::Emg, K::Flex}, {{K::Flex, {{3, 1, 2, 3, 4, 5, 6}}, {}}, {K::Emg, {{2, 5, -0.68666646f}}, {}}},
                   {}, {1, 0, 0, 1, 0}},
        IngestCase{"other_messages_go_to_the_message_callback", schema::DongleApp{.msg_id = 5}, {},
                   {{K::MsgResp, {}, {"dev", R"({"Dongle2App":{"msgId":5}})"}}}, {""}, {0, 0, 0, 0, 0}}),
    [](const auto& info) { return info.param.name; });

TEST(Ingest, ACapOfZeroKeepsTheBufferEmptyButTheRowsFlow) {
  testing::RecordingSink& sink = testing::RecordingSink::installed({K::Emg});
  set_buffer_cap(BufferCap::Emg, 0);
  ingest(SensorApp{.afe_data = schema::AfeData{.seq_num = 8}});
  EXPECT_EQ(sink.wait_for(1), (std::vector<Delivery>{{K::Emg, {{8, 0}}, {}}}));
  EXPECT_EQ(emg_buffer().size(), 0u);
}

// Every parser ingests what it decodes; the buffer shares the published record.
TEST(Ingest, ParsersIngestByDefault) {
  proto::MessageParser parser("dev", proto::MsgType::Ovik);
  auto results = parser.subscribe();
  parser.receive_data("dev", test::ovik_frame(3, 1, *schema::encode(SensorApp{.flex_data = schema::FlexData{.seq_num = 77}})));
  const std::vector<FlexRecord> taken = flex_buffer().take(SIZE_MAX, true);
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].get(), &*std::get<SensorApp>(results.try_recv().value->message).flex_data);
  EXPECT_EQ(taken[0]->seq_num, 77u);
}

// Forwarding a record takes the interpreter lock, and a Python thread holds it
// while it waits for a buffer: ingestion must not forward under that buffer.
struct InterpreterLockOutput : log::CaptureOutput {
  void write(const log::Record& record) override {
    std::lock_guard lock(interpreter_lock);
    CaptureOutput::write(record);
  }
  std::mutex interpreter_lock;
};

struct SignallingSink : testing::RecordingSink {
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
  auto ingesting = std::async(std::launch::async,
                              [] { ingest(SensorApp{.afe_data = schema::AfeData{.channel_adc_value = {{1, 2, 3, 4, 5}}}}); });
  if (ingesting.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "ingestion and the reader wait for each other";
    std::_Exit(1);
  }
  reader.join();
  EXPECT_EQ(output.messages(kAfeHandlerTarget),
            std::vector<std::string>{"Invalid AFE data length: 5 (not aligned to 3 bytes)"});
}

}  // namespace
}  // namespace ovik::pipeline
