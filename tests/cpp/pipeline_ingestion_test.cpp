#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <semaphore>
#include <thread>

#include "log/capture.hpp"
#include "pipeline/callback_sink.hpp"
#include "pipeline/ingestion.hpp"
#include "pipeline/ingestion_hook.hpp"
#include "pipeline/log_targets.hpp"
#include "pipeline/sample_buffers.hpp"
#include "proto/message_parser.hpp"
#include "schema/encode.hpp"
#include "support/frames.hpp"

namespace ovik::pipeline {
namespace {

using K = CallbackKind;
using schema::AfeData, schema::FlexData, schema::ImuData, schema::MagData, schema::SensorApp;

// Kind, rows, and for MsgResp the device id and the JSON text.
using Delivery = std::tuple<K, RowBatch, std::vector<std::string>>;

// Records what the dispatchers deliver. `inside_buffer`, when set, is told of
// the next slot test, which ingestion makes under a buffer's lock, and that
// test then lasts long enough for another thread to wait for the buffer.
struct RecordingSink : CallbackSink {
  bool is_set(K kind) const override {
    if (std::promise<void>* signal = std::exchange(inside_buffer, nullptr)) {
      signal->set_value();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::find(slots.begin(), slots.end(), kind) != slots.end();
  }
  void run_batch(const std::function<void()>& body) override { body(); }
  void invoke(K kind, RowBatch rows) override { record(Delivery{kind, std::move(rows), {}}); }
  void invoke_message(std::string id, std::string json) override { record(Delivery{K::MsgResp, {}, {id, json}}); }
  void record(Delivery delivery) {
    std::lock_guard lock(mutex);
    deliveries.push_back(std::move(delivery));
  }
  // All deliveries, in kind order, once there are `count` (at most 10 s later).
  std::vector<Delivery> wait_for(std::size_t count) {
    const auto arrived = [&] {
      std::lock_guard lock(mutex);
      return deliveries.size() >= count;
    };
    for (int spins = 0; spins < 1000 && !arrived(); ++spins) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::lock_guard lock(mutex);
    std::stable_sort(deliveries.begin(), deliveries.end(), [](auto& a, auto& b) { return get<0>(a) < get<0>(b); });
    return deliveries;
  }

  std::vector<K> slots;
  mutable std::promise<void>* inside_buffer = nullptr;
  std::mutex mutex;
  std::vector<Delivery> deliveries;
};

// Process-wide and never removed: workers may still reach it.
RecordingSink& recording_sink(std::vector<K> slots) {
  static RecordingSink* sink = new RecordingSink;
  sink->slots = std::move(slots);
  install_callback_sink(sink);
  return *sink;
}

struct IngestCase {
  proto::OvikMessage message;
  std::vector<K> slots;
  std::vector<Delivery> delivered;   // in kind order
  std::vector<std::string> logged;
  std::array<std::size_t, 5> sizes;  // EMG, IMU, Mag, Flex and quaternion buffers afterwards
};
class Ingest : public ::testing::TestWithParam<IngestCase> {};

TEST_P(Ingest, BuffersAndCallbackItems) {
  const IngestCase& c = GetParam();
  RecordingSink& sink = recording_sink(c.slots);
  log::ScopedCapture capture(log::Level::Debug);
  process_message(std::make_shared<const proto::ParseResult>("dev", proto::OvikMessage(c.message)));
  EXPECT_EQ(sink.wait_for(c.delivered.size()), c.delivered);
  std::vector<std::string> logged = capture.messages(kAfeHandlerTarget);
  for (const std::string& text : capture.messages(kDataTarget)) logged.push_back(text);
  EXPECT_EQ(logged, c.logged);
  EXPECT_EQ((std::array{emg_buffer().size(), imu_buffer().size(), mag_buffer().size(), flex_buffer().size(),
                        quaternion_buffer().size()}), c.sizes);
}

const schema::Bytes kWords{1, 0, 2, 0, 3, 0}, kUp{0, 0, 0, 0, 0, 0x20}, kZero(6, 0);

INSTANTIATE_TEST_SUITE_P(
    Messages, Ingest,
    ::testing::Values(
        // config reply sets scales and goes to the message callback
        IngestCase{SensorApp{.imu_resp = schema::ImuConfResp{.gyro_coefficient = 0.5f}}, {K::Imu},
                   {{K::MsgResp, {}, {"dev", R"({"Sensor2App":{"imuResp":{"gyroCoefficient":0.5}}})"}}}, {},
                   {0, 0, 0, 0, 0}},
        // every kind with the scales of its own message
        IngestCase{SensorApp{.imu_data = ImuData{.seq_num = 9, .acc_raw_data = kWords, .gyro_raw_data = kWords,
                                                 .acc_correction_data = {2, 4, 6, 1, 2, 3, 4},
                                                 .gyro_correction_data = {1, 2, 3}},
                             .imu_resp = schema::ImuConfResp{.acc_coefficient = 0.5f, .gyro_coefficient = 2},
                             .mag_data = MagData{.mag_raw_data = kWords, .mag_correction_data = {1, 2, 3, 4, 5}},
                             .mag_resp = schema::MagConfResp{.mag_coefficient = 3},
                             .afe_data = AfeData{.seq_num = 2, .lead_off_bits = 5, .channel_adc_value = {{0xFF, 0xFF}}},
                             .flex_data = FlexData{.seq_num = 3, .channel_adc_value = {kWords, {4, 0, 5, 0, 6, 0}}}},
                   {K::Imu, K::Mag, K::Emg, K::Flex, K::ImuCalibration, K::MagCalibration},
                   {{K::Flex, {{3, 1, 2, 3, 4, 5, 6}}, {}}, {K::Emg, {{2, 5, -0.68666646f}}, {}},
                    {K::Imu, {{9, 0.5f, 1, 1.5f, 2, 4, 6}}, {}}, {K::Mag, {{0, 3, 6, 9}}, {}},
                    {K::ImuCalibration, {{9, 1, 2, 3, 2, 4, 6}}, {}}, {K::MagCalibration, {{0, 3, 6, 9}}, {}}},
                   {}, {1, 1, 1, 1, 1}},
        // present but empty records give empty batches
        IngestCase{SensorApp{.imu_data = ImuData{}, .mag_data = MagData{}},
                   {K::Imu, K::ImuCalibration, K::Euler, K::Mag, K::MagCalibration},
                   {{K::Imu, {}, {}}, {K::Mag, {}, {}}, {K::ImuCalibration, {}, {}}, {K::MagCalibration, {}, {}},
                    {K::Euler, {{0}}, {}}},
                   {}, {0, 1, 1, 0, 0}},
        // only the euler and quaternion slots
        IngestCase{SensorApp{.imu_data = ImuData{.seq_num = 4, .acc_raw_data = kUp, .gyro_raw_data = kZero}},
                   {K::Euler, K::Quaternion}, {{K::Euler, {{4, 0, 0, 0}}, {}}, {K::Quaternion, {{4, 1, 0, 0, 0}}, {}}},
                   {}, {0, 1, 0, 0, 1}},
        // fused angles take the place of the device's own euler values, which stay when nothing was fused
        IngestCase{SensorApp{.imu_data = ImuData{.seq_num = 4, .acc_raw_data = kUp, .gyro_raw_data = kZero,
                                                 .euler_raw_data = {7, 8}}},
                   {K::Euler}, {{K::Euler, {{4, 0, 0, 0}}, {}}}, {}, {0, 1, 0, 0, 1}},
        IngestCase{SensorApp{.imu_data = ImuData{.seq_num = 6, .acc_raw_data = {1, 2, 3, 4, 5, 6, 7},
                                                 .gyro_raw_data = kZero, .euler_raw_data = {7, 8}}},
                   {K::Euler}, {{K::Euler, {{6, 7, 8}}, {}}}, {"Invalid data length: 7"}, {0, 1, 0, 0, 0}},
        // other messages go to the message callback
        IngestCase{schema::DongleApp{.msg_id = 5}, {},
                   {{K::MsgResp, {}, {"dev", R"({"Dongle2App":{"msgId":5}})"}}},
                   {"Received message: " + proto::to_debug(schema::DongleApp{.msg_id = 5})}, {0, 0, 0, 0, 0}}));

// Once installed, every parser ingests what it decodes; the buffer shares the
// published record.
TEST(Ingest, InstalledIngestionTakesWhatParsersDecode) {
  install_ingestion();
  proto::MessageParser parser("dev", proto::MsgType::Ovik);
  auto results = parser.subscribe();
  const std::vector<std::uint8_t> frame = *schema::encode(SensorApp{.flex_data = FlexData{.seq_num = 7}});
  parser.receive_data("dev", test::ovik_frame(3, 1, frame));
  const std::vector<FlexRecord> taken = flex_buffer().take(SIZE_MAX, true);
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].get(), &*std::get<SensorApp>(results.try_recv().value->message).flex_data);
}

// Forwarding a record takes the interpreter lock, and a Python thread holds it
// while it waits for a buffer: ingestion must not forward under that buffer.
struct InterpreterLockOutput : log::CaptureOutput {
  void write(const log::Record& record) override {
    interpreter_lock.acquire();
    CaptureOutput::write(record);
    interpreter_lock.release();
  }
  std::binary_semaphore interpreter_lock{1};
};

TEST(Ingest, LogsUnderABufferWaitForItsRelease) {
  static InterpreterLockOutput output;
  std::promise<void> inside_buffer;
  recording_sink({K::Emg}).inside_buffer = &inside_buffer;
  log::sink().install(log::Slot::Capture, &output);
  output.interpreter_lock.acquire();
  std::thread reader([&] {
    inside_buffer.get_future().wait();
    emg_buffer().take(1, false);
    output.interpreter_lock.release();
  });
  auto ingesting = std::async(std::launch::async, [] {
    const SensorApp message{.afe_data = AfeData{.channel_adc_value = {{1, 2, 3, 4, 5}}}};
    process_message(std::make_shared<const proto::ParseResult>("dev", proto::OvikMessage(message)));
  });
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
