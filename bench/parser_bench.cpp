// Throughput of MessageParser::receive_data on a stream of typical sensor
// frames (EMG, IMU, magnetometer, flex), fed in 4,096-byte reads as the serial
// listener does, with logging at Info. Reports frames/s and bytes/s, for a
// clean stream, for one with junk between frames and damaged frames, and for
// the clean stream ingested.
#include <benchmark/benchmark.h>

#include <random>

#include "log/log.hpp"
#include "pipeline/ingestion_hook.hpp"
#include "proto/crc.hpp"
#include "proto/message_parser.hpp"
#include "schema/encode.hpp"

namespace {

using namespace ovik;
using Bytes = std::vector<std::uint8_t>;

// What the Python forwarding does at level Info, minus Python: records up to
// Info are formatted and handed on.
class InfoOutput : public log::Output {
 public:
  bool enabled(log::Level level, std::string_view) const override { return log::passes(level, log::Level::Info); }
  void write(const log::Record& record) override { benchmark::DoNotOptimize(record.message.data()); }
  log::Level max_level() const override { return log::Level::Info; }
};

// A device-to-host frame: header version 2, project id 12.
Bytes device_frame(const schema::SensorApp& message) {
  const Bytes payload = *schema::encode(message);
  Bytes frame = {'Q', 'O', 'V', 'A', 2, 12, static_cast<std::uint8_t>(payload.size()),
                 static_cast<std::uint8_t>(payload.size() >> 8), 3, 1, 0};
  frame.insert(frame.end(), payload.begin(), payload.end());
  const std::uint16_t crc = proto::crc16_modbus(frame);
  frame.push_back(static_cast<std::uint8_t>(crc));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return frame;
}

schema::Bytes filled(std::mt19937& rng, std::size_t size) {
  schema::Bytes out(size);
  for (auto& byte : out) byte = static_cast<std::uint8_t>(rng());
  return out;
}

// Four samples of eight EMG channels of 24 bits, in one byte string (the
// EMG decoder joins the strings, so a device sends them as one).
schema::SensorApp emg(std::mt19937& rng, std::uint32_t seq) {
  schema::SensorApp m;
  m.msg_id = seq;
  m.afe_data = schema::AfeData{};
  m.afe_data->seq_num = seq;
  m.afe_data->lead_off_bits = 0;
  m.afe_data->channel_adc_value.push_back(filled(rng, 4 * 8 * 3));
  return m;
}

// Two accelerometer and gyroscope samples of 16-bit axes.
schema::SensorApp imu(std::mt19937& rng, std::uint32_t seq) {
  schema::SensorApp m;
  m.msg_id = seq;
  m.imu_data = schema::ImuData{};
  m.imu_data->seq_num = seq;
  m.imu_data->acc_raw_data = filled(rng, 12);
  m.imu_data->gyro_raw_data = filled(rng, 12);
  return m;
}

schema::SensorApp mag(std::mt19937& rng, std::uint32_t seq) {
  schema::SensorApp m;
  m.msg_id = seq;
  m.mag_data = schema::MagData{};
  m.mag_data->seq_num = seq;
  m.mag_data->mag_raw_data = filled(rng, 6);
  return m;
}

// Two samples of six flex channels of 16 bits.
schema::SensorApp flex(std::mt19937& rng, std::uint32_t seq) {
  schema::SensorApp m;
  m.msg_id = seq;
  m.flex_data = schema::FlexData{};
  m.flex_data->seq_num = seq;
  m.flex_data->channel_adc_value.push_back(filled(rng, 2 * 6 * 2));
  return m;
}

struct Stream {
  Bytes bytes;
  std::size_t frames = 0;
};

// Half EMG, a quarter IMU, an eighth each magnetometer and flex. With junk:
// a tenth of the frames follow a few junk bytes, and one in a hundred
// arrives with a damaged checksum.
Stream make_stream(std::size_t frames, bool junk) {
  std::mt19937 rng(42);
  Stream stream;
  for (std::uint32_t seq = 1; seq <= frames; ++seq) {
    const unsigned pick = seq % 8;
    Bytes frame = device_frame(pick < 4 ? emg(rng, seq) : pick < 6 ? imu(rng, seq) : pick == 6 ? mag(rng, seq)
                                                                                                : flex(rng, seq));
    if (junk && seq % 10 == 0) {
      schema::Bytes noise = filled(rng, 1 + rng() % 16);
      for (auto& byte : noise) byte = byte == 'Q' ? 'q' : byte;
      stream.bytes.insert(stream.bytes.end(), noise.begin(), noise.end());
    }
    if (junk && seq % 100 == 0) frame.back() ^= 0x5A;
    else ++stream.frames;
    stream.bytes.insert(stream.bytes.end(), frame.begin(), frame.end());
  }
  return stream;
}

// With `ingest`, every message also goes through the ingestion, as in the
// module's parsers (no callbacks set).
void receive_data(benchmark::State& state, bool junk, bool ingest) {
  static InfoOutput output;
  log::sink().install(log::Slot::Capture, &output);
  if (ingest) pipeline::install_ingestion();
  const Stream stream = make_stream(20000, junk);
  proto::MessageParser parser("bench", proto::MsgType::Ovik);
  // A subscriber that never reads, as a parser's own receiver.
  auto idle = parser.subscribe();
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.bytes.size(); at += 4096) {
      const std::size_t size = std::min<std::size_t>(4096, stream.bytes.size() - at);
      parser.receive_data("bench", std::span(stream.bytes).subspan(at, size));
    }
  }
  log::sink().install(log::Slot::Capture, nullptr);
  proto::install_message_hook(nullptr);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * stream.frames));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.bytes.size()));
  state.counters["frame_bytes"] = static_cast<double>(stream.bytes.size()) / static_cast<double>(stream.frames);
}

void BM_ReceiveData(benchmark::State& state) { receive_data(state, false, false); }
void BM_ReceiveDataWithJunk(benchmark::State& state) { receive_data(state, true, false); }
void BM_ReceiveDataIngesting(benchmark::State& state) { receive_data(state, false, true); }

BENCHMARK(BM_ReceiveData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveDataWithJunk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveDataIngesting)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
