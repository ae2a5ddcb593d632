// The framing loop: every header layout, resynchronisation, waiting for more
// data, and its log lines.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/frame_reader.hpp"
#include "support/frames.hpp"

namespace ovik::proto {
namespace {

using log::CapturedRecord;
using log::Level;
using test::Bytes;
using test::bytes_of;
using test::concat;

constexpr const char* kTarget = "ovik_sdk::proto::msg_parser";

struct Seen {
  int version;
  int source;
  int destination;
  Bytes payload;
  bool operator==(const Seen&) const = default;
};

class Recorder : public FrameHandler {
 public:
  bool on_frame(const Frame& frame) override {
    seen.push_back({frame.header_version, frame.source_module, frame.destination_module,
                    Bytes(frame.payload.begin(), frame.payload.end())});
    return accept;
  }
  std::vector<Seen> seen;
  bool accept = true;
};

struct Fixture {
  explicit Fixture(MsgType type) : reader(header_rule(type)) {}
  void feed(const Bytes& chunk) {
    reader.append(chunk);
    reader.scan(recorder);
  }
  FrameReader reader;
  Recorder recorder;
};

std::string hex2(const Bytes& bytes) {
  std::string out = "[";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char cell[8];
    std::snprintf(cell, sizeof cell, i ? ", %02x" : "%02x", bytes[i]);
    out += cell;
  }
  return out + "]";
}

CapturedRecord trace(std::string text) { return {Level::Trace, kTarget, std::move(text)}; }
CapturedRecord warn(std::string text) { return {Level::Warn, kTarget, std::move(text)}; }
CapturedRecord error(std::string text) { return {Level::Error, kTarget, std::move(text)}; }

const Bytes kPayload = {0x08, 0x01, 0x10, 0x06};

TEST(FrameReader, FramesEveryHeaderLayout) {
  const Bytes tail = {1, 2, 3, 4, 5};
  Bytes project0 = test::frame_project0(tail);
  struct Case {
    MsgType type;
    Bytes frame;
    Seen expected;
  };
  const Case cases[] = {
      {MsgType::Ovik, test::frame_v2(12, 3, 1, kPayload), {2, 3, 1, kPayload}},
      {MsgType::Narvel, test::frame_v2(11, 2, 1, kPayload), {2, 2, 1, kPayload}},
      {MsgType::Dremlo, test::frame_v2(2, 3, 9, kPayload, true), {2, 3, 9, kPayload}},
      {MsgType::Ilvo, test::frame_v2(16, 1, 2, kPayload, true), {2, 1, 2, kPayload}},
      {MsgType::Quorix, test::frame_v1(1, kPayload), {1, 0, 0, kPayload}},
      {MsgType::PirrowV2, test::frame_v1(6, kPayload), {1, 0, 0, kPayload}},
      {MsgType::Kavot, test::frame_zotk(tail), {0, 0, 0, tail}},
      {static_cast<MsgType>(14), test::frame_zotk(kPayload), {0, 0, 0, kPayload}},
      // Project 0 counts its payload from the first prefix byte.
      {MsgType::Veltra, project0, {0, 0, 0, Bytes(project0.begin(), project0.begin() + 13)}},
  };
  for (const Case& c : cases) {
    Fixture f(c.type);
    f.feed(concat({c.frame, c.frame}));
    EXPECT_EQ(f.recorder.seen, (std::vector<Seen>{c.expected, c.expected})) << static_cast<int>(c.type);
    EXPECT_EQ(f.reader.buffered(), 0u);
  }
}

TEST(FrameReader, HeaderVersionZeroLengthsAndPadding) {
  // N = 5 gives P = 3: 8 + 5 + 3 + 4 = 20 bytes.
  EXPECT_EQ(test::frame_zotk(Bytes(5, 7)).size(), 20u);
  Fixture f(MsgType::Kavot);
  log::ScopedCapture capture;
  Bytes frame = test::frame_zotk(Bytes(5, 7));
  f.feed(Bytes(frame.begin(), frame.begin() + 19));
  f.feed(Bytes(frame.begin() + 19, frame.end()));
  EXPECT_EQ(f.recorder.seen, (std::vector<Seen>{{0, 0, 0, Bytes(5, 7)}}));
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{trace("Expected length: 20, buffer length: 19"),
                                         trace("CRC verification passed, buffer: " + hex2(frame))}));
}

TEST(FrameReader, SplitFrameLogsOnlyTraceUntilComplete) {
  Fixture f(MsgType::Ovik);
  log::ScopedCapture capture;
  Bytes frame = test::ovik_frame(3, 1, kPayload);  // 17 bytes
  f.feed(Bytes(frame.begin(), frame.begin() + 5));
  f.feed(Bytes(frame.begin() + 5, frame.begin() + 12));
  EXPECT_TRUE(f.recorder.seen.empty());
  f.feed(Bytes(frame.begin() + 12, frame.end()));
  EXPECT_EQ(f.recorder.seen.size(), 1u);
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{
                                   trace("Buffer length: 5"),
                                   trace("Expected length: 17, buffer length: 12"),
                                   trace("CRC verification passed, buffer: " + hex2(frame)),
                               }));
}

TEST(FrameReader, JunkBeforeFrameIsTrimmed) {
  Fixture f(MsgType::Ovik);
  log::ScopedCapture capture;
  Bytes frame = test::ovik_frame(3, 1, kPayload);
  f.feed(concat({bytes_of("xyz"), frame}));
  EXPECT_EQ(f.recorder.seen.size(), 1u);
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{
                                   warn("Found header at index: 3, trimmed 3 bytes of unexpected data fragments"),
                                   trace("CRC verification passed, buffer: " + hex2(frame)),
                               }));
}

TEST(FrameReader, NoPrefixDropsAllButAPrefixStart) {
  Fixture f(MsgType::Ovik);
  log::ScopedCapture capture;
  Bytes frame = test::ovik_frame(3, 1, kPayload);
  Bytes first = concat({bytes_of("0123456789"), Bytes(frame.begin(), frame.begin() + 3)});  // ends in "QOV"
  f.feed(first);
  EXPECT_EQ(f.reader.buffered(), 3u);
  f.feed(Bytes(frame.begin() + 3, frame.end()));
  EXPECT_EQ(f.recorder.seen, (std::vector<Seen>{{2, 3, 1, kPayload}}));
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{
                                   warn("Proto header is mismatch, drop the message, buffer: " + hex2(first)),
                                   warn("header_prefix: [81, 79, 86, 65, 2, 12]"),
                                   trace("CRC verification passed, buffer: " + hex2(frame)),
                               }));
}

TEST(FrameReader, PrefixStartsThatAreNotKept) {
  struct Case {
    Bytes chunk;
    std::size_t kept;
  };
  const Case cases[] = {
      {bytes_of("0123456789abcdef"), 0},
      {bytes_of("0123456789abcdeQ"), 1},
      {bytes_of("0123456789abcQOVA\x02"), 5},
      {bytes_of("0123456789QOVQO"), 2},   // the longest tail that begins the prefix
      {bytes_of("0123456789abQOVX"), 0},
  };
  for (const Case& c : cases) {
    Fixture f(MsgType::Ovik);
    f.feed(c.chunk);
    EXPECT_EQ(f.reader.buffered(), c.kept) << std::string(c.chunk.begin(), c.chunk.end());
  }
}

// Junk followed by a prefix whose header is not yet complete: the junk goes,
// the frame waits for the rest.
TEST(FrameReader, JunkThenIncompleteHeaderWaits) {
  for (MsgType type : {MsgType::Ovik, MsgType::Kavot, MsgType::Veltra, MsgType::Quorix}) {
    Bytes frame = type == MsgType::Ovik     ? test::ovik_frame(3, 1, kPayload)
                  : type == MsgType::Kavot  ? test::frame_zotk(kPayload)
                  : type == MsgType::Veltra ? test::frame_project0(kPayload)
                                            : test::frame_v1(1, kPayload);
    Fixture f(type);
    log::ScopedCapture capture;
    f.feed(concat({bytes_of("junk-junk-junk"), Bytes(frame.begin(), frame.begin() + 7)}));
    EXPECT_EQ(f.reader.buffered(), 7u) << static_cast<int>(type);
    f.feed(Bytes(frame.begin() + 7, frame.end()));
    EXPECT_EQ(f.recorder.seen.size(), 1u) << static_cast<int>(type);
    auto records = capture.records();
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[0], warn("Found header at index: 14, trimmed 14 bytes of unexpected data fragments"));
    EXPECT_EQ(records[1], trace("Buffer length: 7"));
  }
}

// Project 0 has no header length; it waits for 8 bytes to read its length.
TEST(FrameReader, ProjectZeroWaitsForEightBytes) {
  Fixture f(MsgType::Veltra);
  log::ScopedCapture capture;
  Bytes frame = test::frame_project0({});
  f.feed(Bytes(frame.begin(), frame.begin() + 7));
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{trace("Buffer length: 7")}));
  f.feed(Bytes(frame.begin() + 7, frame.end()));
  EXPECT_EQ(f.recorder.seen.size(), 1u);
}

TEST(FrameReader, BadCrc16LosesOnlyThePrefix) {
  Fixture f(MsgType::Ovik);
  log::ScopedCapture capture;
  Bytes bad = test::ovik_frame(3, 1, kPayload);
  bad[12] ^= 0xFF;
  Bytes good = test::ovik_frame(3, 1, {});
  f.feed(concat({bad, good}));
  EXPECT_EQ(f.recorder.seen, (std::vector<Seen>{{2, 3, 1, {}}}));
  char first[160];
  std::uint16_t stored = static_cast<std::uint16_t>(bad[15] | bad[16] << 8);
  std::snprintf(first, sizeof first, "CRC16 verification failed, expected: %04X, calculated: %04X, expected_length: 17, buffer: ",
                stored, test::reference_crc16_modbus(std::span(bad).first(15)));
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{
                                   error(first + hex2(bad)),
                                   error("CRC verification failed"),
                                   trace("parsing next message"),
                                   trace("CRC verification passed, buffer: " + hex2(good)),
                               }));
}

TEST(FrameReader, BadCrc32Lines) {
  Fixture f(MsgType::Kavot);
  log::ScopedCapture capture;
  Bytes bad = test::frame_zotk(kPayload);  // 16 bytes
  bad[15] ^= 0x01;
  f.feed(bad);
  char first[120];
  std::uint32_t stored = static_cast<std::uint32_t>(bad[12]) << 24 | bad[13] << 16 | bad[14] << 8 | bad[15];
  std::snprintf(first, sizeof first, "CRC32 verification failed, expected: %08X, calculated: %08X", stored,
                test::reference_crc32_words(std::span(bad).first(12)));
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{error(first), error("CRC verification failed")}));
  EXPECT_TRUE(f.recorder.seen.empty());
  EXPECT_EQ(f.reader.buffered(), 0u);
}

// A frame whose length field was corrupted to cover a real frame behind it:
// once the claimed length has arrived the checksum fails, and the frame
// inside is found.
TEST(FrameReader, FrameInsideAFrameWithCorruptLength) {
  Fixture f(MsgType::Ovik);
  Bytes inner = test::ovik_frame(3, 1, kPayload);  // 17 bytes
  Bytes outer = test::ovik_frame(3, 1, Bytes(3, 0));
  outer[6] = 20;  // claims 11 + 20 + 2 = 33 bytes
  Bytes stream = concat({Bytes(outer.begin(), outer.begin() + 11), inner, bytes_of("zzzzz")});
  ASSERT_EQ(stream.size(), 33u);
  f.feed(Bytes(stream.begin(), stream.begin() + 30));
  EXPECT_TRUE(f.recorder.seen.empty());
  f.feed(Bytes(stream.begin() + 30, stream.end()));
  EXPECT_EQ(f.recorder.seen, (std::vector<Seen>{{2, 3, 1, kPayload}}));
}

TEST(FrameReader, RefusedFrameSkipsOnlyItsPrefix) {
  Fixture f(MsgType::Ovik);
  f.recorder.accept = false;
  Bytes inner = test::ovik_frame(3, 1, {});
  Bytes outer = test::ovik_frame(3, 1, inner);
  f.feed(outer);
  // The refused outer frame, then the one inside its payload.
  ASSERT_EQ(f.recorder.seen.size(), 2u);
  EXPECT_EQ(f.recorder.seen[0].payload, inner);
  EXPECT_EQ(f.recorder.seen[1].payload, Bytes{});
}

TEST(FrameReader, CopyTakesTheWaitingBytesAndParsesAlone) {
  Fixture f(MsgType::Ovik);
  Bytes frame = test::ovik_frame(3, 1, kPayload);
  f.feed(Bytes(frame.begin(), frame.begin() + 12));
  FrameReader copy(f.reader);
  Recorder copy_recorder;
  copy.append(Bytes(frame.begin() + 12, frame.end()));
  copy.scan(copy_recorder);
  EXPECT_EQ(copy_recorder.seen.size(), 1u);
  EXPECT_EQ(f.reader.buffered(), 12u);
  EXPECT_TRUE(f.recorder.seen.empty());
}

}  // namespace
}  // namespace ovik::proto
