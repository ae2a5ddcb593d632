// The stream parser: decoding and publication, the hand-off to the pipeline,
// its limits, copies, and its log lines.
#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/message_parser.hpp"
#include "proto/received_message.hpp"
#include "support/frame_stream.hpp"
#include "support/frames.hpp"

namespace ovik::proto {
namespace {

using log::CapturedRecord;
using log::Level;
using test::Bytes;
using test::concat;
using test::drain;

constexpr const char* kParser = "ovik_sdk::proto::msg_parser";
constexpr const char* kEnums = "ovik_sdk::proto::enums";

CapturedRecord parser_line(Level level, std::string text) { return {level, kParser, std::move(text)}; }

OvikMessage sensor_app(std::uint32_t msg_id) {
  schema::SensorApp message;
  message.msg_id = msg_id;
  return message;
}

Bytes sensor_payload(std::uint8_t msg_id) { return {0x08, msg_id}; }
Bytes sensor_frame(std::uint8_t msg_id) { return test::ovik_frame(3, 1, sensor_payload(msg_id)); }

struct Harness {
  explicit Harness(MsgType type = MsgType::Ovik) : parser("dev", type), rx(parser.subscribe()) {}
  void feed(const Bytes& chunk, std::string device_id = "dev") { parser.receive_data(std::move(device_id), chunk); }
  MessageParser parser;
  ParseResultChannel::Receiver rx;
};

std::vector<std::string> ids_of(const std::vector<ParseResult>& results) {
  std::vector<std::string> ids;
  for (const ParseResult& r : results) ids.push_back(r.device_id + ":" + std::to_string(std::get<3>(r.message).msg_id));
  return ids;
}

TEST(MessageParser, CreationLine) {
  const std::pair<MsgType, const char*> cases[] = {
      {MsgType::Ovik, "ParserType: Ovik, Project ID: 0xc, Header version: 2, header_prefix: [51, 4f, 56, 41, 2, c]"},
      {MsgType::Dremlo,
       "ParserType: Dremlo, Project ID: 0x2, Header version: 2, header_prefix: [51, 4f, 56, 41, 2, 2, 1]"},
      {static_cast<MsgType>(14), "ParserType: , Project ID: 0xa, Header version: 0, header_prefix: [5a, 6f, 54, 4b]"},
  };
  for (const auto& [type, text] : cases) {
    log::ScopedCapture capture;
    MessageParser parser("dev", type);
    EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{parser_line(Level::Debug, text)}));
  }
}

TEST(MessageParser, DecodedFrameIsLoggedAndPublishedWithTheDeviceIdOfItsChunk) {
  Harness h;
  log::ScopedCapture capture;
  const Bytes frame = sensor_frame(7);
  h.feed(frame, "port-1");
  EXPECT_EQ(ids_of(drain(h.rx)), std::vector<std::string>{"port-1:7"});
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{
                parser_line(Level::Trace, "CRC verification passed, buffer: [51, 4f, 56, 41, 02, 0c, 02, 00, 03, 01, "
                                          "00, 08, 07, " + fmt::format("{:02x}, {:02x}]", frame[13], frame[14])),
                parser_line(Level::Trace, "Source module: 3, Destination module: 1, payload: [8, 7]"),
                {Level::Debug, kEnums, R"(Received message, device_id: port-1, message: {"Sensor2App":{"msgId":7}})"},
            }));

  // A message without JSON text is still published; its line has empty text.
  capture.clear();
  h.feed(test::ovik_frame(3, 1, Bytes{0x08, 0x01, 0x18, 0x63}), "x");  // device_event 99 has no name
  EXPECT_EQ(capture.messages(kEnums), std::vector<std::string>{"Received message, device_id: x, message: "});
  EXPECT_EQ(drain(h.rx).size(), 1u);
}

TEST(MessageParser, FramesThatGiveNoMessageAreLoggedAndSkipped) {
  const struct {
    MsgType type;
    Bytes frame;
    const char* error;
  } cases[] = {
      {MsgType::Narvel, test::frame_v2(11, 3, 1, sensor_payload(1)), "UnknownProtoType(Narvel)"},
      {MsgType::Dovin, test::frame_v2(13, 3, 1, sensor_payload(1), true), "UnknownProtoType(Dovin)"},
      {MsgType::Quorix, test::frame_v1(1, sensor_payload(1)), "UnsupportedHeaderVersion(Quorix, 1)"},
      {static_cast<MsgType>(14), test::frame_zotk(sensor_payload(1)), "UnsupportedHeaderVersion(, 0)"},
      {MsgType::Veltra, test::frame_project0(sensor_payload(1)), "UnsupportedHeaderVersion(Veltra, 0)"},
      {MsgType::Ovik, test::ovik_frame(2, 3, sensor_payload(1)), "InvalidModule(Ovik, 2, 3)"},
      {MsgType::Ovik, test::ovik_frame(1, 1, sensor_payload(1)), "InvalidDestinationModule(Ovik, 1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    Harness h(c.type);
    log::ScopedCapture capture(Level::Warn);
    h.feed(c.frame);
    EXPECT_TRUE(drain(h.rx).empty());
    EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{parser_line(
                                     Level::Error, std::string("Failed to parse message, error: ") + c.error)}));
    EXPECT_EQ(h.parser.buffered(), 0u);
  }
  Harness h;
  log::ScopedCapture capture(Level::Warn);
  h.feed(concat({test::ovik_frame(3, 1, Bytes{0x08}), sensor_frame(2)}));
  EXPECT_EQ(ids_of(drain(h.rx)), std::vector<std::string>{"dev:2"});
  auto records = capture.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], (CapturedRecord{Level::Error, kEnums,
                                        "Decoding error for type ovik_sdk::generated::ovik_proto::SensorApp: [8]"}));
  EXPECT_TRUE(records[1].message.starts_with("Failed to parse message, error: DecodingError(")) << records[1].message;
}

// The largest frame: a 65,535-byte SensorApp payload of one unknown field.
Bytes largest_frame() {
  Bytes payload = {0xA2, 0x06, 0xFA, 0xFF, 0x03};  // field 100, 65,530 bytes
  payload.resize(65535, 0);
  return test::ovik_frame(3, 1, payload);
}

TEST(MessageParser, BufferLimitAndEmptyChunks) {
  Harness h;
  const Bytes big = largest_frame();
  Bytes full = concat({big, sensor_frame(6)});
  full.resize(81920, 'j');  // 81,920 bytes in one chunk are accepted
  h.feed(full, "a");
  EXPECT_EQ(drain(h.rx).size(), 2u);

  // A frame waiting for its end, then a chunk one byte too many: all is
  // dropped and the device id stays.
  h.feed(Bytes(big.begin(), big.begin() + 60000), "b");
  log::ScopedCapture capture;
  h.feed(Bytes(81920 - 60000 + 1, 'x'), "c");
  h.feed({}, "d");
  EXPECT_EQ(h.parser.buffered(), 0u);
  EXPECT_EQ(h.parser.device_id(), "b");
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{
                parser_line(Level::Error,
                            "Buffer is out of space. (BUFFER_MAX_SIZE = 81920), buffer length: 60000, data len: 21921"),
                parser_line(Level::Error, "Data should not be empty")}));

  // Exactly 81,920 across two chunks is accepted too.
  h.feed(Bytes(big.begin(), big.begin() + 60000), "e");
  Bytes rest = concat({Bytes(big.begin() + 60000, big.end()), sensor_frame(7)});
  rest.resize(81920 - 60000, 'j');
  h.feed(rest, "f");
  EXPECT_EQ(ids_of(drain(h.rx)), (std::vector<std::string>{"f:0", "f:7"}));
}

// The hook sees each message before any subscriber can, and hears once per
// chunk that decoded something, after its last message was published.
TEST(MessageParser, HookSeesEachMessageBeforePublicationAndEachChunkAfter) {
  static std::vector<std::string> seen;
  static Harness* current = nullptr;
  Harness h;
  current = &h;
  static const MessageHook hook{
      .process =
          [](const std::shared_ptr<const ParseResult>& result) {
            seen.push_back(result->device_id + ":" + std::to_string(std::get<3>(result->message).msg_id) +
                           " after " + std::to_string(drain(current->rx).size()));
          },
      .chunk_done = [] { seen.push_back("chunk done after " + std::to_string(drain(current->rx).size())); }};
  install_message_hook(&hook);
  h.feed(concat({sensor_frame(1), sensor_frame(2)}), "hand-off");
  h.feed(Bytes{'j', 'u', 'n', 'k'}, "nothing decoded");
  install_message_hook(nullptr);
  h.feed(sensor_frame(3), "unhooked");
  EXPECT_EQ(seen, (std::vector<std::string>{"hand-off:1 after 0", "hand-off:2 after 1", "chunk done after 1"}));
}

TEST(MessageParser, CopiesParseAloneAndPublishOnTheSameChannelUntilTheLastIsGone) {
  auto parser = std::make_unique<MessageParser>("orig", MsgType::Ovik);
  auto rx = parser->subscribe();
  const Bytes frame = sensor_frame(1);
  parser->receive_data("orig", Bytes(frame.begin(), frame.begin() + 10));
  auto copy = std::make_unique<MessageParser>(*parser);
  EXPECT_EQ(copy->device_id(), "orig");
  copy->receive_data("copy", Bytes(frame.begin() + 10, frame.end()));
  EXPECT_EQ(parser->buffered(), 10u);
  parser->receive_data("orig", Bytes(frame.begin() + 10, frame.end()));
  parser.reset();
  copy->receive_data("copy", sensor_frame(3));
  EXPECT_EQ(ids_of(drain(rx)), (std::vector<std::string>{"copy:1", "orig:1", "copy:3"}));
  EXPECT_FALSE(test::ended(rx));
  copy.reset();
  EXPECT_TRUE(test::ended(rx));
}

}  // namespace
}  // namespace ovik::proto
