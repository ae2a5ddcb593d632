// Throughput of the ingestion (`process_message`) on a realistic mix of
// decoded sensor messages: EMG of 8 channels x 24 bits x 4 samples, raw IMU
// (fused), raw magnetometer and flex. Without callbacks it reports messages/s
// on one thread; with every callback kind set and a sink that only counts,
// it reports the callback items delivered per second.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "pipeline/callback_sink.hpp"
#include "pipeline/ingestion.hpp"
#include "proto/parse_result.hpp"

namespace {

using namespace ovik;
using Result = std::shared_ptr<const proto::ParseResult>;

schema::Bytes counting(std::size_t size, std::uint32_t seed) {
  schema::Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed * 31 + i * 7);
  return bytes;
}

// One message of each kind per four, sequence numbers counting up.
std::vector<Result> message_mix(std::size_t count) {
  std::vector<Result> mix;
  for (std::uint32_t seq = 0; seq < count; ++seq) {
    schema::SensorApp message;
    switch (seq % 4) {
      case 0: {
        auto& afe = message.afe_data.emplace();
        afe.seq_num = seq;
        for (int channel = 0; channel < 8; ++channel) afe.channel_adc_value.push_back(counting(12, seq + channel));
        break;
      }
      case 1:
        message.imu_data = schema::ImuData{.seq_num = seq, .acc_raw_data = {0, 1, 0, 2, 0, 0x20},
                                           .gyro_raw_data = counting(6, seq), .port = schema::CtrlBoxPort::PortA};
        break;
      case 2:
        message.mag_data = schema::MagData{.seq_num = seq, .mag_raw_data = {0x40, 0, 0x80, 0, 0, 0x01}};
        break;
      default:
        message.flex_data = schema::FlexData{.seq_num = seq, .channel_adc_value = {counting(24, seq)}};
    }
    mix.push_back(std::make_shared<const proto::ParseResult>("bench", proto::OvikMessage(std::move(message))));
  }
  return mix;
}

// Counts what reaches the callbacks, and when the last item came; every slot
// is set.
class CountingSink : public pipeline::CallbackSink {
 public:
  bool is_set(pipeline::CallbackKind) const override { return true; }
  void run_batch(const std::function<void()>& body) override {
    runs.fetch_add(1, std::memory_order_relaxed);
    body();
  }
  void invoke(pipeline::CallbackKind, pipeline::RowBatch rows) override {
    benchmark::DoNotOptimize(rows.data());
    count();
  }
  void invoke_message(std::string, std::string) override { count(); }

  std::atomic<std::uint64_t> delivered{0}, runs{0};
  std::atomic<std::chrono::steady_clock::rep> last{0};

 private:
  void count() {
    delivered.fetch_add(1, std::memory_order_relaxed);
    last.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  }
};

void BM_IngestNoCallbacks(benchmark::State& state) {
  pipeline::install_callback_sink(nullptr);
  const std::vector<Result> mix = message_mix(4096);
  std::size_t next = 0;
  for (auto _ : state) pipeline::process_message(mix[next++ % mix.size()]);
  state.counters["messages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IngestNoCallbacks);

// Items delivered from the start of the ingestion to the last delivery, with
// one thread ingesting as fast as it can. Items dropped on full queues do not
// count.
void BM_IngestAllCallbacks(benchmark::State& state) {
  static CountingSink sink;
  pipeline::install_callback_sink(&sink);
  const std::vector<Result> mix = message_mix(4096);
  std::uint64_t delivered = 0;
  double seconds = 0;
  for (auto _ : state) {
    const std::uint64_t before = sink.delivered.load();
    const auto start = std::chrono::steady_clock::now();
    for (const Result& message : mix) pipeline::process_message(message);
    for (std::uint64_t seen = ~0ull; seen != sink.delivered.load();) {
      seen = sink.delivered.load();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    delivered += sink.delivered.load() - before;
    const std::chrono::steady_clock::duration busy(sink.last.load() - start.time_since_epoch().count());
    seconds += std::chrono::duration<double>(busy).count();
    state.SetIterationTime(std::chrono::duration<double>(busy).count());
  }
  pipeline::install_callback_sink(nullptr);
  state.counters["items/s"] = double(delivered) / seconds;
  state.counters["items/run"] = double(delivered) / double(sink.runs.load());
  state.counters["items/message"] = double(delivered) / double(state.iterations() * mix.size());
}
BENCHMARK(BM_IngestAllCallbacks)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
