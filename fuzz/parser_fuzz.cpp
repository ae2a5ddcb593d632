// Bytes in arbitrary chunks into the stream parser. The first byte picks the
// project id (mostly the kit's own) and the route flag, the second seeds the
// chunk sizes; the rest is the stream. Fed in small chunks and in the serial
// listener's 4096-byte reads, the stream must publish the same results unless
// either feed overran the receive buffer (which drops what it holds, at a
// point that depends on the chunks). Every log line is formatted as if it
// were written, and every message is ingested as the module's parsers do.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "log/log.hpp"
#include "pipeline/ingestion_hook.hpp"
#include "proto/message_parser.hpp"
#include "proto/route_flag.hpp"
#include "schema/encode.hpp"

namespace {

using ovik::proto::MessageParser;
using ovik::proto::MsgType;

// Takes every record, as the Python forwarding at Trace would, and drops it,
// counting the buffer overruns.
class DiscardOutput : public ovik::log::Output {
 public:
  bool enabled(ovik::log::Level, std::string_view) const override { return true; }
  void write(const ovik::log::Record& record) override {
    if (record.message.starts_with("Buffer is out of space")) ++overruns;
  }
  ovik::log::Level max_level() const override { return ovik::log::Level::Trace; }

  std::size_t overruns = 0;
};

DiscardOutput& output() {
  static DiscardOutput output;
  static const bool installed =
      (ovik::log::sink().install(ovik::log::Slot::Capture, &output), ovik::pipeline::install_ingestion(), true);
  (void)installed;
  return output;
}

constexpr std::size_t kListenerRead = 4096;

// A decoded message as comparable bytes (floats may be NaN, which == rejects).
std::vector<std::uint8_t> fingerprint(const ovik::proto::ParseResult& result) {
  std::vector<std::uint8_t> out(result.device_id.begin(), result.device_id.end());
  out.push_back(static_cast<std::uint8_t>(result.message.index()));
  std::visit(
      [&](const auto& message) {
        auto encoded = ovik::schema::encode(message);
        if (encoded) out.insert(out.end(), encoded->begin(), encoded->end());
      },
      result.message);
  return out;
}

// What the parser publishes; null when the feed overran its buffer. A zero
// seed feeds reads of `kListenerRead` bytes.
std::optional<std::vector<std::vector<std::uint8_t>>> run(MsgType type, std::span<const std::uint8_t> stream,
                                                          std::uint32_t seed) {
  const std::size_t overruns_before = output().overruns;
  MessageParser parser("fuzz", type);
  auto receiver = parser.subscribe();
  std::size_t at = 0;
  while (at < stream.size()) {
    std::size_t size = std::min(stream.size() - at, kListenerRead);
    if (seed != 0) {
      seed = seed * 1103515245u + 12345u;
      size = std::min<std::size_t>(size, 1 + (seed >> 16) % 97);
    }
    parser.receive_data("fuzz", stream.subspan(at, size));
    at += size;
  }
  std::vector<std::vector<std::uint8_t>> published;
  for (;;) {
    auto read = receiver.try_recv();
    if (read.status != ovik::runtime::RecvStatus::Value) break;
    published.push_back(fingerprint(*read.value));
  }
  if (output().overruns != overruns_before) return std::nullopt;
  return published;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const MsgType type = data[0] < 160 ? MsgType::Ovik : static_cast<MsgType>(data[0] % 17);
  ovik::proto::VIA_MCU_FLAG.store((data[0] & 1) != 0);
  const std::span<const std::uint8_t> stream(data + 2, size - 2);
  auto in_reads = run(type, stream, 0);
  auto in_chunks = run(type, stream, data[1] | 0x100u);
  if (in_reads && in_chunks && *in_reads != *in_chunks) std::abort();
  return 0;
}
