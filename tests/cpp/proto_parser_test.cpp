// The stream parser: receive rules, decoding and publication, the hand-off to
// the pipeline, copies and subscriptions, and its log lines.
#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/message_parser.hpp"
#include "proto/received_message.hpp"
#include "proto/route_flag.hpp"
#include "support/frames.hpp"
#include "support/frame_stream.hpp"

namespace ovik::proto {
namespace {

using log::CapturedRecord;
using log::Level;
using test::Bytes;
using test::bytes_of;
using test::concat;
using test::drain;

constexpr const char* kParser = "ovik_sdk::proto::msg_parser";
constexpr const char* kEnums = "ovik_sdk::proto::enums";

CapturedRecord parser_line(Level level, std::string text) { return {level, kParser, std::move(text)}; }

schema::SensorApp sensor_app(std::uint32_t msg_id) {
  schema::SensorApp message;
  message.msg_id = msg_id;
  return message;
}

// SensorApp { msg_id }, as the device sends it.
Bytes sensor_payload(std::uint8_t msg_id) { return {0x08, msg_id}; }
Bytes sensor_frame(std::uint8_t msg_id) { return test::ovik_frame(3, 1, sensor_payload(msg_id)); }

struct Harness {
  explicit Harness(MsgType type = MsgType::Ovik) : parser("dev", type), rx(parser.subscribe()) {}
  void feed(const Bytes& chunk, std::string device_id = "dev") { parser.receive_data(std::move(device_id), chunk); }
  std::vector<ParseResult> results() { return drain(rx); }
  MessageParser parser;
  ParseResultChannel::Receiver rx;
};

TEST(MessageParser, CreationLine) {
  struct Case {
    MsgType type;
    const char* line;
  };
  const Case cases[] = {
      {MsgType::Ovik, "ParserType: Ovik, Project ID: 0xc, Header version: 2, header_prefix: [51, 4f, 56, 41, 2, c]"},
      {MsgType::Dremlo, "ParserType: Dremlo, Project ID: 0x2, Header version: 2, header_prefix: [51, 4f, 56, 41, 2, 2, 1]"},
      {MsgType::Quorix, "ParserType: Quorix, Project ID: 0x1, Header version: 1, header_prefix: [51, 4f, 56, 41, 1, 1]"},
      {MsgType::Veltra, "ParserType: Veltra, Project ID: 0x0, Header version: 0, header_prefix: [51, 4f, 56, 41, 0, 0]"},
      {static_cast<MsgType>(14), "ParserType: , Project ID: 0xa, Header version: 0, header_prefix: [5a, 6f, 54, 4b]"},
  };
  for (const Case& c : cases) {
    log::ScopedCapture capture;
    MessageParser parser("dev", c.type);
    EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{parser_line(Level::Debug, c.line)}));
  }
}

TEST(MessageParser, DecodedFrameIsLoggedHandedOnAndPublished) {
  Harness h;
  log::ScopedCapture capture;
  Bytes frame = sensor_frame(7);
  h.feed(frame, "port-1");
  auto results = h.results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].device_id, "port-1");
  EXPECT_EQ(results[0].message, OvikMessage(sensor_app(7)));
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{
                parser_line(Level::Trace, "CRC verification passed, buffer: [51, 4f, 56, 41, 02, 0c, 02, 00, 03, 01, 00, "
                                          "08, 07, " + fmt::format("{:02x}, {:02x}]", frame[13], frame[14])),
                parser_line(Level::Trace, "Source module: 3, Destination module: 1, payload: [8, 7]"),
                {Level::Debug, kEnums, R"(Received message, device_id: port-1, message: {"Sensor2App":{"msgId":7}})"},
            }));
}

// A message that cannot be rendered is still handed on and published; its
// log line carries empty text.
TEST(MessageParser, UnrenderableMessageIsLoggedWithEmptyText) {
  Harness h;
  log::ScopedCapture capture(Level::Debug);
  h.feed(test::ovik_frame(3, 1, Bytes{0x08, 0x01, 0x18, 0x63}), "x");  // device_event 99 has no name
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{{Level::Debug, kEnums, "Received message, device_id: x, message: "}}));
  auto results = h.results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(static_cast<int>(std::get<schema::SensorApp>(results[0].message).device_event), 99);
}

TEST(MessageParser, TwoFramesInOneChunkInOrder) {
  Harness h;
  h.feed(concat({sensor_frame(1), sensor_frame(2)}));
  auto results = h.results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].message, OvikMessage(sensor_app(1)));
  EXPECT_EQ(results[1].message, OvikMessage(sensor_app(2)));
}

// Streams in the manner of a serial-protocol framer's test table: what is
// published, and what is left waiting.
TEST(MessageParser, StreamTable) {
  Bytes bad_crc = sensor_frame(1);
  bad_crc.back() ^= 0xFF;
  Bytes inner = sensor_frame(3);
  Bytes corrupt_outer = concat({Bytes{'Q', 'O', 'V', 'A', 2, 12, 20, 0, 3, 1, 0}, inner, bytes_of("1234567")});  // claims 33 bytes
  const Bytes four = sensor_frame(4);
  const Bytes nine = sensor_frame(9);
  struct Case {
    const char* name;
    std::vector<Bytes> chunks;
    std::vector<std::uint32_t> published;
    std::size_t left;
  };
  const Case cases[] = {
      {"junk then frame", {concat({bytes_of("\x01\x02junk"), sensor_frame(5)})}, {5}, 0},
      {"bad crc then good frame", {concat({bad_crc, sensor_frame(2)})}, {2}, 0},
      {"frame inside a frame with corrupt length", {corrupt_outer}, {3}, 7},  // the tail waits: no prefix in it
      {"no prefix at all", {bytes_of("there is no header in this chunk")}, {}, 0},
      {"no prefix but a prefix start", {bytes_of("there is no header in this chunk QOVA\x02")}, {}, 5},
      {"frame split over three chunks",
       {Bytes(four.begin(), four.begin() + 3), Bytes(four.begin() + 3, four.begin() + 12),
        Bytes(four.begin() + 12, four.end())},
       {4},
       0},
      {"frame and a half", {concat({sensor_frame(8), Bytes(nine.begin(), nine.begin() + 9)})}, {8}, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    for (const Bytes& chunk : c.chunks) h.feed(chunk);
    std::vector<std::uint32_t> ids;
    for (const ParseResult& r : h.results()) ids.push_back(std::get<schema::SensorApp>(r.message).msg_id);
    EXPECT_EQ(ids, c.published);
    EXPECT_EQ(h.parser.buffered(), c.left);
  }
}

// The largest frame: a 65,535-byte SensorApp payload of one unknown field.
Bytes largest_frame() {
  Bytes payload = {0xA2, 0x06, 0xFA, 0xFF, 0x03};  // field 100, 65,530 bytes
  payload.resize(65535, 0);
  return test::ovik_frame(3, 1, payload);
}

TEST(MessageParser, BufferLimit) {
  Harness h;
  const Bytes big = largest_frame();
  ASSERT_EQ(big.size(), 65548u);
  // 81,920 bytes in one chunk are accepted.
  Bytes full = concat({big, sensor_frame(6)});
  full.resize(81920, 'j');
  h.feed(full, "a");
  EXPECT_EQ(h.results().size(), 2u);
  EXPECT_EQ(h.parser.device_id(), "a");

  // A frame waiting for its end, then a chunk one byte too many.
  h.feed(Bytes(big.begin(), big.begin() + 60000), "b");
  log::ScopedCapture capture;
  h.feed(Bytes(81920 - 60000 + 1, 'x'), "c");
  EXPECT_EQ(h.parser.buffered(), 0u);
  EXPECT_EQ(h.parser.device_id(), "b");
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{parser_line(
                Level::Error, "Buffer is out of space. (BUFFER_MAX_SIZE = 81920), buffer length: 60000, data len: 21921")}));
  h.feed(sensor_frame(6), "d");
  auto results = h.results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].device_id, "d");

  // Exactly 81,920 across two chunks is accepted too.
  h.feed(Bytes(big.begin(), big.begin() + 60000), "e");
  Bytes rest = concat({Bytes(big.begin() + 60000, big.end()), sensor_frame(7)});
  rest.resize(81920 - 60000, 'j');
  h.feed(rest, "f");
  EXPECT_EQ(h.results().size(), 2u);
}

TEST(MessageParser, EmptyChunkChangesNothing) {
  Harness h;
  const Bytes frame = sensor_frame(1);
  h.feed(Bytes(frame.begin(), frame.begin() + 10), "first");
  log::ScopedCapture capture;
  h.feed({}, "second");
  EXPECT_EQ(h.parser.device_id(), "first");
  EXPECT_EQ(h.parser.buffered(), 10u);
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{parser_line(Level::Error, "Data should not be empty")}));
}

TEST(MessageParser, FramesThatFailToParseAreLoggedAndSkipped) {
  struct Case {
    MsgType type;
    Bytes frame;
    const char* error;
  };
  const Case cases[] = {
      {MsgType::Narvel, test::frame_v2(11, 3, 1, sensor_payload(1)), "UnknownProtoType(Narvel)"},
      {MsgType::Dovin, test::frame_v2(13, 3, 1, sensor_payload(1), true), "UnknownProtoType(Dovin)"},
      {MsgType::Quorix, test::frame_v1(1, sensor_payload(1)), "UnsupportedHeaderVersion(Quorix, 1)"},
      {MsgType::Kavot, test::frame_zotk(sensor_payload(1)), "UnsupportedHeaderVersion(Kavot, 0)"},
      {static_cast<MsgType>(14), test::frame_zotk(sensor_payload(1)), "UnsupportedHeaderVersion(, 0)"},
      {MsgType::Veltra, test::frame_project0(sensor_payload(1)), "UnsupportedHeaderVersion(Veltra, 0)"},
      {MsgType::Ovik, test::ovik_frame(2, 3, sensor_payload(1)), "InvalidModule(Ovik, 2, 3)"},
      {MsgType::Ovik, test::ovik_frame(1, 1, sensor_payload(1)), "InvalidDestinationModule(Ovik, 1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Harness h(c.type);
    log::ScopedCapture capture(Level::Warn);
    h.feed(c.frame);
    EXPECT_TRUE(h.results().empty());
    EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{parser_line(
                                     Level::Error, std::string("Failed to parse message, error: ") + c.error)}));
    EXPECT_EQ(h.parser.buffered(), 0u);
  }
}

TEST(MessageParser, UndecodablePayloadIsLoggedTwiceAndSkipped) {
  Harness h;
  log::ScopedCapture capture(Level::Warn);
  h.feed(concat({test::ovik_frame(3, 1, Bytes{0x08}), sensor_frame(2)}));
  auto results = h.results();
  ASSERT_EQ(results.size(), 1u);
  auto records = capture.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], (CapturedRecord{Level::Error, kEnums,
                                        "Decoding error for type ovik_sdk::generated::ovik_proto::SensorApp: [8]"}));
  EXPECT_EQ(records[1].level, Level::Error);
  EXPECT_EQ(records[1].target, kParser);
  EXPECT_TRUE(records[1].message.starts_with("Failed to parse message, error: DecodingError(")) << records[1].message;
}

TEST(MessageParser, RouteFlagPicksTheDeviceReplyType) {
  Harness h;
  const bool saved = VIA_MCU_FLAG.exchange(true);
  h.feed(sensor_frame(4));
  VIA_MCU_FLAG.store(saved);
  auto results = h.results();
  ASSERT_EQ(results.size(), 1u);
  schema::ControlBoxToApp expected;
  expected.msg_id = 4;
  EXPECT_EQ(results[0].message, OvikMessage(expected));
}

// The pipeline sees each message before any subscriber can.
TEST(MessageParser, ProcessMessageRunsBeforePublication) {
  struct Seen {
    std::string device_id;
    OvikMessage message;
    std::size_t published_before;
  };
  static std::vector<Seen> seen;
  static Harness* current = nullptr;
  seen.clear();
  Harness h;
  current = &h;
  install_process_message([](const std::shared_ptr<const ParseResult>& result) {
    seen.push_back({result->device_id, result->message, drain(current->rx).size()});
  });
  h.feed(concat({sensor_frame(1), sensor_frame(2)}), "hand-off");
  install_process_message(nullptr);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].device_id, "hand-off");
  EXPECT_EQ(seen[0].message, OvikMessage(sensor_app(1)));
  EXPECT_EQ(seen[1].message, OvikMessage(sensor_app(2)));
  EXPECT_EQ(seen[0].published_before, 0u);
  EXPECT_EQ(seen[1].published_before, 1u);  // the first one, drained by the hook itself
}

TEST(MessageParser, CopiesParseAloneAndPublishOnTheSameChannel) {
  Harness h;
  Bytes frame = sensor_frame(1);
  h.feed(Bytes(frame.begin(), frame.begin() + 10), "orig");
  {
    MessageParser copy(h.parser);
    EXPECT_EQ(copy.device_id(), "orig");
    EXPECT_EQ(copy.buffered(), 10u);
    copy.receive_data("copy", Bytes(frame.begin() + 10, frame.end()));
    EXPECT_EQ(h.parser.buffered(), 10u);
  }
  h.feed(Bytes(frame.begin() + 10, frame.end()));
  auto results = h.results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].device_id, "copy");
  EXPECT_EQ(results[1].device_id, "dev");
}

TEST(MessageParser, LateSubscriberAndTheEndOfTheChannel) {
  auto parser = std::make_unique<MessageParser>("dev", MsgType::Ovik);
  parser->receive_data("dev", sensor_frame(1));
  auto late = parser->subscribe();
  parser->receive_data("dev", sensor_frame(2));
  auto copy = std::make_unique<MessageParser>(*parser);
  parser.reset();
  copy->receive_data("dev", sensor_frame(3));
  copy.reset();
  auto results = drain(late);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].message, OvikMessage(sensor_app(2)));
  EXPECT_EQ(results[1].message, OvikMessage(sensor_app(3)));
  EXPECT_TRUE(test::ended(late));
}

}  // namespace
}  // namespace ovik::proto
