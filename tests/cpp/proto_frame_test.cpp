// Checksums, the header rule of every project id, the frame writer, and the
// framing loop with its log lines.
#include <string>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/crc.hpp"
#include "proto/frame_reader.hpp"
#include "proto/frame_writer.hpp"
#include "support/frames.hpp"

namespace ovik::proto {
namespace {

using log::CapturedRecord;
using log::Level;
using test::Bytes;
using test::bytes_of;
using test::concat;
using test::hex;

// Expected values computed with Python's crcmod (CRC-16/MODBUS; CRC-32/MPEG-2
// over the whole words, each word reversed).
TEST(Crc, AgreesWithCrcmod) {
  EXPECT_EQ(crc16_modbus(bytes_of("123456789")), 0x4B37);
  EXPECT_EQ(crc32_words({}), 0xFFFFFFFFu);
  const struct {
    const char* hex;
    std::uint16_t crc16;
    std::uint32_t crc32;
  } vectors[] = {
      {"23", 0x99FE, 0xFFFFFFFF},
      {"c67d0be89d1eee", 0x423F, 0x8493800C},
      {"ffa44dce9ecb686854268945c6b400f6", 0x6D92, 0x8C254C1B},
      {"0b755e8864962564f4222e3cdb3598f1cde2c258090f4d0d1b8d663df2a6ef", 0x24BE, 0xC4BCEEB2},
  };
  for (const auto& v : vectors) {
    const Bytes data = hex(v.hex);
    EXPECT_EQ(crc16_modbus(data), v.crc16) << v.hex;
    EXPECT_EQ(crc32_words(std::span(data).first(data.size() / 4 * 4)), v.crc32) << v.hex;
  }
}

TEST(HeaderRule, EveryProjectId) {
  struct Row {
    const char* name;
    Bytes prefix;
    int version, header_length, project_id;
  };
  auto qova = [](std::initializer_list<std::uint8_t> tail) { return concat({bytes_of("QOVA"), Bytes(tail)}); };
  const Row rows[17] = {
      {"Veltra", qova({0, 0}), 0, 0, 0},        {"Quorix", qova({1, 1}), 1, 8, 1},
      {"Dremlo", qova({2, 2, 1}), 2, 12, 2},    {"Santel", qova({1, 3}), 1, 8, 3},
      {"SantelV1_5", qova({1, 4}), 1, 8, 4},    {"Pirrow", qova({1, 5}), 1, 8, 5},
      {"PirrowV2", qova({1, 6}), 1, 8, 6},      {"Tesk", qova({2, 7, 1}), 2, 12, 7},
      {"JOL", qova({2, 8, 1}), 2, 12, 8},       {"Umbrel", qova({2, 9, 1}), 2, 12, 9},
      {"Kavot", bytes_of("ZoTK"), 0, 8, 10},    {"Narvel", qova({2, 11}), 2, 11, 11},
      {"Ovik", qova({2, 12}), 2, 11, 12},       {"Dovin", qova({2, 13, 1}), 2, 12, 13},
      {"", bytes_of("ZoTK"), 0, 8, 10},         {"Sarrow", qova({2, 15, 1}), 2, 12, 15},
      {"Ilvo", qova({2, 16, 1}), 2, 12, 16},
  };
  for (unsigned v = 0; v < 17; ++v) {
    const HeaderRule rule = header_rule(static_cast<MsgType>(v));
    const Row& row = rows[v];
    EXPECT_EQ(fmt::format("{}", static_cast<MsgType>(v)), row.name);
    EXPECT_EQ(Bytes(rule.prefix().begin(), rule.prefix().end()), row.prefix) << v;
    EXPECT_EQ(rule.header_version, row.version) << v;
    EXPECT_EQ(rule.header_length, row.header_length) << v;
    EXPECT_EQ(rule.project_id, row.project_id) << v;
    EXPECT_EQ(rule.zotk, row.prefix[0] == 'Z') << v;
  }
  EXPECT_EQ(fmt::format("{}", static_cast<MsgType>(200)), "");
}

TEST(EncodeFrame, LayoutAndLengthLimit) {
  const Bytes start = {0x08, 0x01, 0x10, 0x06};
  EXPECT_EQ(*encode_frame(start, OvikModuleId::DEVICE), test::ovik_frame(1, 3, start));
  EXPECT_EQ(*encode_frame(start, OvikModuleId::DONGLE), test::ovik_frame(1, 2, start));
  EXPECT_EQ(*encode_frame(Bytes(65535, 1), OvikModuleId::DEVICE), test::ovik_frame(1, 3, Bytes(65535, 1)));
  auto refused = encode_frame(Bytes(65536, 1), OvikModuleId::DEVICE);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "Payload of 65536 bytes does not fit in a frame (at most 65535 bytes)");
}

struct Seen {
  int version, source, destination;
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

std::vector<Seen> frames_of(MsgType type, const std::vector<Bytes>& chunks, std::size_t* left = nullptr) {
  FrameReader reader(header_rule(type));
  Recorder recorder;
  for (const Bytes& chunk : chunks) {
    reader.append(chunk);
    reader.scan(recorder);
  }
  if (left) *left = reader.buffered();
  return recorder.seen;
}

const Bytes kPayload = {0x08, 0x01, 0x10, 0x06};

TEST(FrameReader, FramesEveryHeaderLayout) {
  const Bytes tail = {1, 2, 3, 4, 5};
  const Bytes project0 = test::frame_project0(tail);
  const struct {
    MsgType type;
    Bytes frame;
    Seen expected;
  } cases[] = {
      {MsgType::Ovik, test::frame_v2(12, 3, 1, kPayload), {2, 3, 1, kPayload}},
      {MsgType::Narvel, test::frame_v2(11, 2, 1, kPayload), {2, 2, 1, kPayload}},
      {MsgType::Dremlo, test::frame_v2(2, 3, 9, kPayload, true), {2, 3, 9, kPayload}},
      {MsgType::Quorix, test::frame_v1(1, kPayload), {1, 0, 0, kPayload}},
      {MsgType::Kavot, test::frame_zotk(tail), {0, 0, 0, tail}},
      {static_cast<MsgType>(14), test::frame_zotk(kPayload), {0, 0, 0, kPayload}},
      // Project 0 counts its payload from the first prefix byte.
      {MsgType::Veltra, project0, {0, 0, 0, Bytes(project0.begin(), project0.begin() + 13)}},
  };
  for (const auto& c : cases) {
    std::size_t left = 1;
    EXPECT_EQ(frames_of(c.type, {concat({c.frame, c.frame})}, &left), (std::vector<Seen>{c.expected, c.expected}))
        << static_cast<int>(c.type);
    EXPECT_EQ(left, 0u);
    // Junk, then a prefix whose header is not complete: the junk goes, the frame waits.
    const Bytes junk_and_head = concat({bytes_of("junk-junk-junk"), Bytes(c.frame.begin(), c.frame.begin() + 7)});
    EXPECT_EQ(frames_of(c.type, {junk_and_head, Bytes(c.frame.begin() + 7, c.frame.end())}).size(), 1u);
  }
}

TEST(FrameReader, KeepsOnlyTheLongestTailThatBeginsAPrefix) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"0123456789abcdef", 0}, {"0123456789abcdeQ", 1}, {"0123456789abcQOVA\x02", 5},
      {"0123456789QOVQO", 2},  {"0123456789abQOVX", 0},
  };
  for (const auto& [text, kept] : cases) {
    std::size_t left = 99;
    frames_of(MsgType::Ovik, {bytes_of(text)}, &left);
    EXPECT_EQ(left, kept) << text;
  }
}

std::string hex_list(const Bytes& bytes) {
  std::string out = "[";
  for (std::size_t i = 0; i < bytes.size(); ++i) out += fmt::format("{}{:02x}", i ? ", " : "", bytes[i]);
  return out + "]";
}

CapturedRecord line(Level level, std::string text) { return {level, std::string(kMsgParserTarget), std::move(text)}; }
CapturedRecord passed(const Bytes& frame) {
  return line(Level::Trace, "CRC verification passed, buffer: " + hex_list(frame));
}

TEST(FrameReader, WhatItFindsAndLogs) {
  const Bytes frame = test::ovik_frame(3, 1, kPayload);  // 17 bytes
  const Bytes empty_frame = test::ovik_frame(3, 1, {});
  Bytes bad16 = frame;
  bad16[12] ^= 0xFF;
  const Bytes zotk = test::frame_zotk(Bytes(5, 7));  // 8 + 5 + 3 padding + 4 = 20 bytes
  Bytes bad32 = test::frame_zotk(kPayload);          // 16 bytes
  bad32[15] ^= 0x01;
  const Bytes project0 = test::frame_project0({});
  const Bytes no_prefix = concat({bytes_of("0123456789"), Bytes(frame.begin(), frame.begin() + 3)});
  // A length field corrupted to cover the real frame behind it (11 + 20 + 2 bytes).
  Bytes outer = test::ovik_frame(3, 1, Bytes(3, 0));
  outer[6] = 20;
  const Bytes nested = concat({Bytes(outer.begin(), outer.begin() + 11), frame, bytes_of("zzzzz")});
  const struct {
    const char* name;
    MsgType type;
    std::vector<Bytes> chunks;
    std::vector<Seen> seen;
    std::vector<CapturedRecord> log;
  } cases[] = {
      {"split in three", MsgType::Ovik,
       {Bytes(frame.begin(), frame.begin() + 5), Bytes(frame.begin() + 5, frame.begin() + 12),
        Bytes(frame.begin() + 12, frame.end())},
       {{2, 3, 1, kPayload}},
       {line(Level::Trace, "Buffer length: 5"), line(Level::Trace, "Expected length: 17, buffer length: 12"),
        passed(frame)}},
      {"padded layout split before its last byte", MsgType::Kavot,
       {Bytes(zotk.begin(), zotk.begin() + 19), Bytes(zotk.begin() + 19, zotk.end())},
       {{0, 0, 0, Bytes(5, 7)}},
       {line(Level::Trace, "Expected length: 20, buffer length: 19"), passed(zotk)}},
      {"junk before a frame", MsgType::Ovik, {concat({bytes_of("xyz"), frame})}, {{2, 3, 1, kPayload}},
       {line(Level::Warn, "Found header at index: 3, trimmed 3 bytes of unexpected data fragments"), passed(frame)}},
      {"no prefix, then the rest of one", MsgType::Ovik, {no_prefix, Bytes(frame.begin() + 3, frame.end())},
       {{2, 3, 1, kPayload}},
       {line(Level::Warn, "Proto header is mismatch, drop the message, buffer: " + hex_list(no_prefix)),
        line(Level::Warn, "header_prefix: [81, 79, 86, 65, 2, 12]"), passed(frame)}},
      {"bad CRC-16 loses only the prefix", MsgType::Ovik, {concat({bad16, empty_frame})}, {{2, 3, 1, {}}},
       {line(Level::Error, fmt::format("CRC16 verification failed, expected: {:04X}, calculated: {:04X}, "
                                       "expected_length: 17, buffer: {}",
                                       bad16[15] | bad16[16] << 8,
                                       test::reference_crc16_modbus(std::span(bad16).first(15)), hex_list(bad16))),
        line(Level::Error, "CRC verification failed"), line(Level::Trace, "parsing next message"),
        passed(empty_frame)}},
      {"bad CRC-32", MsgType::Kavot, {bad32}, {},
       {line(Level::Error, fmt::format("CRC32 verification failed, expected: {:08X}, calculated: {:08X}",
                                       std::uint32_t(bad32[12]) << 24 | bad32[13] << 16 | bad32[14] << 8 | bad32[15],
                                       test::reference_crc32_words(std::span(bad32).first(12)))),
        line(Level::Error, "CRC verification failed")}},
      {"project 0 waits for eight bytes", MsgType::Veltra,
       {Bytes(project0.begin(), project0.begin() + 7), Bytes(project0.begin() + 7, project0.end())},
       {{0, 0, 0, Bytes(project0.begin(), project0.begin() + 8)}},
       {line(Level::Trace, "Buffer length: 7"), passed(project0)}},
      {"frame inside a frame with a corrupt length", MsgType::Ovik,
       {Bytes(nested.begin(), nested.begin() + 30), Bytes(nested.begin() + 30, nested.end())},
       {{2, 3, 1, kPayload}},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log::ScopedCapture capture;
    EXPECT_EQ(frames_of(c.type, c.chunks), c.seen);
    if (!c.log.empty()) EXPECT_EQ(capture.records(), c.log);
  }
}

TEST(FrameReader, ARefusedFrameSkipsOnlyItsPrefix) {
  FrameReader reader(header_rule(MsgType::Ovik));
  Recorder recorder;
  recorder.accept = false;
  const Bytes inner = test::ovik_frame(3, 1, {});
  reader.append(test::ovik_frame(3, 1, inner));
  reader.scan(recorder);
  EXPECT_EQ(recorder.seen, (std::vector<Seen>{{2, 3, 1, inner}, {2, 3, 1, {}}}));
}

}  // namespace
}  // namespace ovik::proto
