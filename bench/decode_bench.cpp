// Our payload decoder, as the parser runs it, against libprotobuf on the same
// sensor payloads.
// libprotobuf is timed twice: parsing into a fresh message each time (what our
// decoder does: it returns a new record) and into one message reused across
// iterations (its best case). Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ovik.pb.h"
#include "proto/result_block.hpp"
#include "schema/decode.hpp"
#include "schema/encode.hpp"

namespace {

using namespace ovik::schema;
using Payload = std::vector<std::uint8_t>;

Bytes pattern(std::size_t size, std::uint8_t seed) {
  Bytes out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 37);
  return out;
}

Repeated<float> ramp(std::size_t size, float start) {
  Repeated<float> out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = start + 0.125f * static_cast<float>(i);
  return out;
}

// Ten IMU samples, ten magnetometer samples, ten 24-bit samples on eight EMG
// channels, ten frames of six flex channels.
ImuData imu_raw() {
  return {.seq_num = 123456, .acc_raw_data = pattern(60, 1), .gyro_raw_data = pattern(60, 2), .port = CtrlBoxPort::PortA};
}
ImuData imu_calibrated() {
  return {.seq_num = 123457,
          .euler_raw_data = ramp(3, 10.0f),
          .port = CtrlBoxPort::PortB,
          .acc_correction_data = ramp(30, -1.0f),
          .gyro_correction_data = ramp(30, 0.5f)};
}
MagData mag() { return {.seq_num = 99, .mag_raw_data = pattern(60, 3), .mag_correction_data = ramp(30, 20.0f)}; }
AfeData emg() {
  AfeData afe{.seq_num = 4242, .lead_off_bits = 0x0F};
  for (std::uint8_t channel = 0; channel < 8; ++channel) afe.channel_adc_value.push_back(pattern(30, channel));
  return afe;
}
FlexData flex() { return {.seq_num = 77, .channel_adc_value = {pattern(120, 9)}}; }

struct Sample {
  std::string name;
  Payload payload;
};

std::vector<Sample> samples() {
  std::vector<std::pair<std::string, SensorApp>> messages = {
      {"imu_raw", {.msg_id = 1, .imu_data = imu_raw()}},
      {"imu_calibrated", {.msg_id = 2, .imu_data = imu_calibrated()}},
      {"mag", {.msg_id = 3, .mag_data = mag()}},
      {"emg", {.msg_id = 4, .afe_data = emg()}},
      {"flex", {.msg_id = 5, .flex_data = flex()}},
      {"all_four", {.msg_id = 6, .imu_data = imu_raw(), .mag_data = mag(), .afe_data = emg(), .flex_data = flex()}},
  };
  std::vector<Sample> out;
  for (auto& [name, message] : messages) {
    ovik::Result<Payload> bytes = encode(message);
    ovik_proto::SensorApp check;
    if (!bytes || !check.ParseFromArray(bytes->data(), static_cast<int>(bytes->size())) ||
        check.msg_id() != message.msg_id || !decode<SensorApp>(*bytes)) {
      fmt::print(stderr, "payload {} does not decode on both sides\n", name);
      std::exit(1);
    }
    out.push_back({name, std::move(*bytes)});
  }
  return out;
}

// As the parser decodes: into a fresh arena of a result block's size, which
// a larger message overflows onto the heap.
void ours(benchmark::State& state, const Payload* payload) {
  for (auto _ : state) {
    alignas(std::max_align_t) std::byte space[ovik::proto::ResultBlock::kArenaBytes];
    Arena arena(space, sizeof space);
    ovik::Result<SensorApp> message = decode<SensorApp>(*payload, &arena);
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload->size()));
}

void libprotobuf_fresh(benchmark::State& state, const Payload* payload) {
  for (auto _ : state) {
    ovik_proto::SensorApp message;
    benchmark::DoNotOptimize(message.ParseFromArray(payload->data(), static_cast<int>(payload->size())));
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload->size()));
}

void libprotobuf_reused(benchmark::State& state, const Payload* payload) {
  ovik_proto::SensorApp message;
  for (auto _ : state) {
    benchmark::DoNotOptimize(message.ParseFromArray(payload->data(), static_cast<int>(payload->size())));
    benchmark::DoNotOptimize(message);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload->size()));
}

// Keeps each benchmark's least CPU time per iteration over its repetitions
// (the one least disturbed by other load), for the ratio table.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "min") nanoseconds[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> nanoseconds;
};

double least(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

}  // namespace

int main(int argc, char** argv) {
  const std::vector<Sample> all = samples();
  for (const Sample& sample : all) {
    using Function = void (*)(benchmark::State&, const Payload*);
    const std::pair<std::string, Function> decoders[] = {
        {"ours/", ours}, {"libprotobuf_fresh/", libprotobuf_fresh}, {"libprotobuf_reused/", libprotobuf_reused}};
    for (const auto& [label, function] : decoders) {
      benchmark::RegisterBenchmark((label + sample.name).c_str(), function, &sample.payload)
          ->Repetitions(15)
          ->ReportAggregatesOnly(true)
          ->ComputeStatistics("min", least);
    }
  }
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  fmt::print("\n{:<16} {:>6} {:>10} {:>12} {:>7} {:>12} {:>7}\n", "payload", "bytes", "ours ns", "fresh ns",
             "ratio", "reused ns", "ratio");
  double ours_total = 0, fresh_total = 0, reused_total = 0;
  for (const Sample& sample : all) {
    const double o = collector.nanoseconds["ours/" + sample.name];
    const double f = collector.nanoseconds["libprotobuf_fresh/" + sample.name];
    const double r = collector.nanoseconds["libprotobuf_reused/" + sample.name];
    if (o <= 0) continue;  // filtered out
    ours_total += o;
    fresh_total += f;
    reused_total += r;
    fmt::print("{:<16} {:>6} {:>10.1f} {:>12.1f} {:>6.2f}x {:>12.1f} {:>6.2f}x\n", sample.name,
               sample.payload.size(), o, f, f / o, r, r / o);
  }
  if (ours_total > 0) {
    fmt::print("{:<16} {:>6} {:>10.1f} {:>12.1f} {:>6.2f}x {:>12.1f} {:>6.2f}x\n", "all payloads", "", ours_total,
               fresh_total, fresh_total / ours_total, reused_total, reused_total / ours_total);
  }
  return 0;
}
