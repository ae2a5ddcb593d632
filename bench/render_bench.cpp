// JSON and debug rendering of typical received messages. Each case renders
// one message into a reused buffer; the text size is reported as bytes/s.
#include <benchmark/benchmark.h>

#include <string>

#include "schema/debug_writer.hpp"
#include "schema/json_writer.hpp"
#include "schema/messages.hpp"

namespace ovik::schema {
namespace {

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 37);
  return b;
}

Repeated<float> floats(std::size_t count, float scale) {
  Repeated<float> v(count);
  for (std::size_t i = 0; i < count; ++i) v[i] = scale * (float(i) - 4.3f) / 7.0f;
  return v;
}

// 10 raw accelerometer and gyroscope samples and the Euler angles.
SensorApp imu_raw() {
  SensorApp m;
  m.msg_id = 123456;
  m.imu_data.emplace();
  m.imu_data->seq_num = 98765;
  m.imu_data->acc_raw_data = pattern(60, 1);
  m.imu_data->gyro_raw_data = pattern(60, 2);
  m.imu_data->euler_raw_data = {12.5f, -3.25f, 178.9f};
  m.imu_data->port = CtrlBoxPort::PortA;
  return m;
}

// 10 calibrated accelerometer and gyroscope samples (x, y, z each).
SensorApp imu_calibrated() {
  SensorApp m;
  m.msg_id = 123457;
  m.imu_data.emplace();
  m.imu_data->seq_num = 98766;
  m.imu_data->acc_correction_data = floats(30, 9.81f);
  m.imu_data->gyro_correction_data = floats(30, 250.0f);
  m.imu_data->port = CtrlBoxPort::PortC;
  return m;
}

// 8 channels of 10 24-bit EMG samples, one element per channel.
SensorApp emg() {
  SensorApp m;
  m.msg_id = 123458;
  m.afe_data.emplace();
  m.afe_data->seq_num = 4242;
  m.afe_data->lead_off_bits = 0x0F;
  for (std::uint8_t ch = 0; ch < 8; ++ch) m.afe_data->channel_adc_value.push_back(pattern(30, ch));
  return m;
}

// 10 flex samples of six 16-bit channels.
SensorApp flex() {
  SensorApp m;
  m.msg_id = 123459;
  m.flex_data.emplace();
  m.flex_data->seq_num = 777;
  m.flex_data->channel_adc_value.push_back(pattern(120, 9));
  return m;
}

// The configuration reply that reaches the message callback as JSON.
SensorApp imu_config_reply() {
  SensorApp m;
  m.msg_id = 17;
  m.imu_resp.emplace();
  m.imu_resp->port = CtrlBoxPort::PortB;
  m.imu_resp->config = ImuConfig{ImuMode::AccGyro, ImuSampleRate::ImuSr100, CtrlBoxPort::PortB,
                                 UploadDataType::RawData, std::nullopt};
  m.imu_resp->acc_coefficient = 0.000598f;
  m.imu_resp->gyro_coefficient = 0.0305f;
  return m;
}

bool render_json(const SensorApp& message, std::string& out) { return bool(write_json(message, out)); }

bool render_debug(const SensorApp& message, std::string& out) {
  write_debug(message, out);
  return true;
}

template <SensorApp (*Make)(), bool (*Render)(const SensorApp&, std::string&)>
void BM_Render(benchmark::State& state) {
  const SensorApp message = Make();
  std::string out;
  for (auto _ : state) {
    out.clear();
    if (!Render(message, out)) state.SkipWithError("rendering failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
  state.counters["text_bytes"] = double(out.size());
}

// A fresh text per message, as the callers build it (128-byte start).
template <SensorApp (*Make)()>
void BM_ToJson(benchmark::State& state) {
  const SensorApp message = Make();
  for (auto _ : state) {
    auto text = to_json_as_kind("Sensor2App", message);
    benchmark::DoNotOptimize(text);
  }
}

BENCHMARK(BM_Render<imu_raw, render_json>)->Name("json/imu_raw");
BENCHMARK(BM_Render<imu_calibrated, render_json>)->Name("json/imu_calibrated");
BENCHMARK(BM_Render<emg, render_json>)->Name("json/emg");
BENCHMARK(BM_Render<flex, render_json>)->Name("json/flex");
BENCHMARK(BM_Render<imu_config_reply, render_json>)->Name("json/imu_config_reply");
BENCHMARK(BM_ToJson<imu_raw>)->Name("to_json_as_kind/imu_raw");
BENCHMARK(BM_ToJson<emg>)->Name("to_json_as_kind/emg");
BENCHMARK(BM_ToJson<imu_config_reply>)->Name("to_json_as_kind/imu_config_reply");
BENCHMARK(BM_Render<imu_raw, render_debug>)->Name("debug/imu_raw");
BENCHMARK(BM_Render<imu_calibrated, render_debug>)->Name("debug/imu_calibrated");
BENCHMARK(BM_Render<emg, render_debug>)->Name("debug/emg");

}  // namespace
}  // namespace ovik::schema

BENCHMARK_MAIN();
