// Where read boundaries fall must not change what the parser publishes.
#include <random>

#include <gtest/gtest.h>

#include "proto/message_parser.hpp"
#include "support/frame_stream.hpp"
#include "support/frames.hpp"

namespace ovik::proto {
namespace {

using test::Bytes;

const Bytes kPrefix = {'Q', 'O', 'V', 'A', 2, 12};

class StreamMaker {
 public:
  explicit StreamMaker(std::uint32_t seed) : rng_(seed) {}

  // `damage_lengths` adds what can make the parser wait for bytes that never
  // come: truncated frames, corrupt length fields, false prefixes in junk.
  Bytes make(int parts, bool damage_lengths) {
    Bytes stream;
    expected_.clear();
    for (int i = 0; i < parts; ++i) {
      switch (pick(damage_lengths ? 9 : 6)) {
        case 0: case 1: case 2: append(stream, valid_frame(true)); break;
        case 3: append(stream, junk(false)); break;
        case 4: append(stream, bad_crc_frame()); break;
        case 5: append(stream, refused_frame()); break;
        case 6: append(stream, junk(true)); break;
        case 7: append(stream, truncated_frame()); break;
        default: append(stream, corrupt_length_frame()); break;
      }
    }
    return stream;
  }

  // What a stream made without length damage must publish.
  const std::vector<OvikMessage>& expected() const { return expected_; }

  std::size_t pick(std::size_t n) { return rng_() % n; }

 private:
  static void append(Bytes& stream, const Bytes& part) { stream.insert(stream.end(), part.begin(), part.end()); }

  Bytes random_bytes(std::size_t count, bool allow_q) {
    Bytes out(count);
    for (auto& byte : out) {
      do byte = static_cast<std::uint8_t>(rng_());
      while (!allow_q && byte == 'Q');
    }
    return out;
  }

  // A SensorApp or DongleApp with a msg_id and, sometimes, bytes that hold
  // a false prefix (only in frames that stay intact).
  Bytes valid_frame(bool record) {
    const std::uint32_t msg_id = static_cast<std::uint32_t>(rng_() % 300);
    const bool from_dongle = pick(4) == 0;
    Bytes payload;
    if (msg_id != 0) {
      payload.push_back(0x08);
      for (std::uint32_t v = msg_id; ; v >>= 7) {
        payload.push_back(static_cast<std::uint8_t>(v < 0x80 ? v : (v & 0x7F) | 0x80));
        if (v < 0x80) break;
      }
    }
    Bytes raw;
    if (!from_dongle && record && pick(3) == 0) {
      raw = random_bytes(pick(12), false);
      raw.insert(raw.begin() + static_cast<std::ptrdiff_t>(pick(raw.size() + 1)), kPrefix.begin(), kPrefix.end());
      payload.push_back(0x52);  // imu_data { acc_raw_data }
      payload.push_back(static_cast<std::uint8_t>(raw.size() + 2));
      payload.push_back(0x22);
      payload.push_back(static_cast<std::uint8_t>(raw.size()));
      payload.insert(payload.end(), raw.begin(), raw.end());
    }
    if (record) {
      if (from_dongle) {
        schema::DongleApp message;
        message.msg_id = msg_id;
        expected_.emplace_back(message);
      } else {
        schema::SensorApp message;
        message.msg_id = msg_id;
        if (!raw.empty()) message.imu_data = schema::ImuData{.acc_raw_data = schema::Bytes(raw.begin(), raw.end())};
        expected_.emplace_back(message);
      }
    }
    return test::ovik_frame(from_dongle ? 2 : 3, 1, payload);
  }

  Bytes junk(bool with_prefix_parts) {
    Bytes out = random_bytes(1 + pick(40), with_prefix_parts);
    if (with_prefix_parts) {
      const std::size_t part = 1 + pick(kPrefix.size());
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(pick(out.size() + 1)), kPrefix.begin(),
                 kPrefix.begin() + static_cast<std::ptrdiff_t>(part));
    }
    return out;
  }

  Bytes bad_crc_frame() {
    Bytes frame = valid_frame(false);
    // Anything from the module bytes on, CRC included; never the length.
    frame[8 + pick(frame.size() - 8)] ^= static_cast<std::uint8_t>(1 + pick(255));
    return frame;
  }

  // Checksum-valid frames that give no message: bad routes, bad payloads.
  Bytes refused_frame() {
    switch (pick(3)) {
      case 0: return test::ovik_frame(2, 3, Bytes{0x08, 0x01});
      case 1: return test::ovik_frame(1, 9, Bytes{0x08, 0x01});
      default: return test::ovik_frame(3, 1, Bytes{0x08});
    }
  }

  Bytes truncated_frame() {
    Bytes frame = valid_frame(false);
    frame.resize(1 + pick(frame.size() - 1));
    return frame;
  }

  Bytes corrupt_length_frame() {
    Bytes frame = valid_frame(false);
    frame[6 + pick(2)] ^= static_cast<std::uint8_t>(1 + pick(255));
    return frame;
  }

  std::mt19937 rng_;
  std::vector<OvikMessage> expected_;
};

std::vector<OvikMessage> published(const Bytes& stream, const std::vector<std::size_t>& cuts) {
  MessageParser parser("dev", MsgType::Ovik);
  auto rx = parser.subscribe();
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    if (cut > from) parser.receive_data("dev", std::span(stream).subspan(from, cut - from));
    from = std::max(from, cut);
  }
  if (from < stream.size()) parser.receive_data("dev", std::span(stream).subspan(from));
  std::vector<OvikMessage> messages;
  for (ParseResult& result : test::drain(rx)) messages.push_back(std::move(result.message));
  return messages;
}

std::vector<std::size_t> every_byte(std::size_t size) {
  std::vector<std::size_t> cuts(size);
  for (std::size_t i = 0; i < size; ++i) cuts[i] = i + 1;
  return cuts;
}

TEST(ParserChunking, SameResultsForEveryChunking) {
  for (std::uint32_t seed = 0; seed < 2000; ++seed) {
    SCOPED_TRACE(seed);
    StreamMaker maker(seed);
    const bool damage_lengths = seed % 2 == 1;
    const Bytes stream = maker.make(4 + static_cast<int>(seed % 12), damage_lengths);
    const auto whole = published(stream, {});
    if (!damage_lengths) ASSERT_EQ(whole, maker.expected());

    ASSERT_EQ(published(stream, every_byte(stream.size())), whole);
    for (int round = 0; round < 4; ++round) {
      std::vector<std::size_t> cuts;
      for (std::size_t at = 0; at < stream.size(); at += 1 + maker.pick(64)) cuts.push_back(at);
      ASSERT_EQ(published(stream, cuts), whole);
    }
    // Every single split point, for a share of the streams.
    if (seed % 10 == 0) {
      for (std::size_t at = 1; at < stream.size(); ++at) ASSERT_EQ(published(stream, {at}), whole) << "split at " << at;
    }
  }
}

}  // namespace
}  // namespace ovik::proto
