// Bytes in chunks into the stream parser. The first byte picks the project id
// (mostly the kit's own) and the route flag; the second seeds the chunk sizes,
// picks how large they run (up to 64 bytes, 512, 4096 or 65,536) and, for one
// input in 32, has every log line formatted as if it were written; the rest
// is the stream. Fed in the serial listener's 4096-byte reads and in the
// drawn chunks, the stream must publish the same results unless either feed
// overran the receive buffer (which drops what it holds, at a point that
// depends on the chunks). The messages of the first feed are ingested as the
// module's parsers do, and the buffers are emptied after each input, so that
// an input leaves nothing behind (libFuzzer would otherwise run every input
// again looking for a leak).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "log/log.hpp"
#include "pipeline/ingestion_hook.hpp"
#include "pipeline/sample_buffers.hpp"
#include "proto/message_parser.hpp"
#include "proto/route_flag.hpp"
#include "schema/encode.hpp"

namespace {

using ovik::proto::MessageParser;
using ovik::proto::MsgType;

// Takes every record while `formatting` is on, as the Python forwarding at
// Trace would, and drops it; otherwise no line is enabled, so none is built.
class DiscardOutput : public ovik::log::Output {
 public:
  bool enabled(ovik::log::Level, std::string_view) const override { return formatting; }
  void write(const ovik::log::Record&) override {}
  ovik::log::Level max_level() const override { return ovik::log::Level::Trace; }

  bool formatting = false;
};

DiscardOutput& output() {
  static DiscardOutput output;
  static const bool installed = (ovik::log::sink().install(ovik::log::Slot::Capture, &output), true);
  (void)installed;
  return output;
}

void empty_buffers() {
  ovik::pipeline::emg_buffer().clear();
  ovik::pipeline::imu_buffer().clear();
  ovik::pipeline::mag_buffer().clear();
  ovik::pipeline::flex_buffer().clear();
  ovik::pipeline::quaternion_buffer().clear();
}

constexpr std::size_t kListenerRead = 4096;
constexpr std::size_t kLargestChunk[] = {64, 512, 4096, 65536};

// Whether two feeds published the same message: equal records, or, since
// == rejects NaN floats, equal encodings.
bool same(const ovik::proto::ParseResult& a, const ovik::proto::ParseResult& b) {
  if (a.device_id != b.device_id) return false;
  if (a.message == b.message) return true;
  if (a.message.index() != b.message.index()) return false;
  return std::visit(
      [&](const auto& message) {
        using Message = std::decay_t<decltype(message)>;
        auto left = ovik::schema::encode(message);
        auto right = ovik::schema::encode(std::get<Message>(b.message));
        return left.has_value() == right.has_value() && (!left || *left == *right);
      },
      a.message);
}

// The chunk sizes of one feed: the listener's reads, or sizes drawn from the
// input's seed up to a largest size.
class Chunker {
 public:
  static Chunker reads() { return Chunker(0, kListenerRead); }
  static Chunker drawn(std::uint8_t control) { return Chunker(control | 0x100u, kLargestChunk[control & 3]); }

  std::size_t next(std::size_t left) {
    std::size_t size = std::min(left, largest_);
    if (seed_ != 0) {
      seed_ = seed_ * 1103515245u + 12345u;
      size = std::min<std::size_t>(size, 1 + (seed_ >> 8) % largest_);
    }
    return size;
  }

 private:
  Chunker(std::uint32_t seed, std::size_t largest) : seed_(seed), largest_(largest) {}

  std::uint32_t seed_;
  std::size_t largest_;
};

using Published = std::vector<std::shared_ptr<const ovik::proto::ParseResult>>;

// What the parser publishes; null when the feed overran its buffer.
std::optional<Published> run(MsgType type, std::span<const std::uint8_t> stream, Chunker chunker) {
  MessageParser parser("fuzz", type);
  auto receiver = parser.subscribe();
  bool overran = false;
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t size = chunker.next(stream.size() - at);
    overran |= parser.buffered() + size > MessageParser::BUFFER_MAX_SIZE;
    parser.receive_data("fuzz", stream.subspan(at, size));
    at += size;
  }
  Published published;
  for (;;) {
    auto read = receiver.try_recv();
    if (read.status != ovik::runtime::RecvStatus::Value) break;
    published.push_back(std::move(read.value));
  }
  if (overran) return std::nullopt;
  return published;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const MsgType type = data[0] < 160 ? MsgType::Ovik : static_cast<MsgType>(data[0] % 17);
  ovik::proto::VIA_MCU_FLAG.store((data[0] & 1) != 0);
  output().formatting = (data[1] & 0xF8) == 0xF8;
  const std::span<const std::uint8_t> stream(data + 2, size - 2);
  ovik::pipeline::install_ingestion();
  auto in_reads = run(type, stream, Chunker::reads());
  ovik::proto::install_message_hook(nullptr);
  auto in_chunks = run(type, stream, Chunker::drawn(data[1]));
  empty_buffers();
  if (in_reads && in_chunks &&
      !std::equal(in_reads->begin(), in_reads->end(), in_chunks->begin(), in_chunks->end(),
                  [](const auto& a, const auto& b) { return same(*a, *b); })) {
    std::abort();
  }
  return 0;
}
