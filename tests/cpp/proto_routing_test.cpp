// Payload routing by (source, destination) and the route flag.
#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/decode_message.hpp"
#include "proto/message_parse_error.hpp"
#include "proto/route_flag.hpp"
#include "schema/decode.hpp"

namespace ovik::proto {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FlagGuard {
 public:
  explicit FlagGuard(bool value) : saved_(VIA_MCU_FLAG.exchange(value)) {}
  ~FlagGuard() { VIA_MCU_FLAG.store(saved_); }

 private:
  bool saved_;
};

std::uint32_t msg_id_of(const OvikMessage& message) {
  return std::visit([](const auto& m) { return m.msg_id; }, message);
}

// Rows: source 0..9; columns: destination 0..9. a App2Dongle, d Dongle2App,
// s App2Sensor, S Sensor2App, c AppToCtrlBox, C CtrlBoxToApp,
// M InvalidModule, D InvalidDestinationModule.
constexpr const char* kDirect[10] = {
    "DDasDDDDDD", "DDasDDDDDD", "ddMMdddddd", "SSMMSSSSSS", "DDasDDDDDD",
    "DDasDDDDDD", "DDasDDDDDD", "DDasDDDDDD", "DDasDDDDDD", "DDasDDDDDD",
};
constexpr const char* kViaMcu[10] = {
    "DDacDDDDDD", "DDacDDDDDD", "ddMMdddddd", "CCMMCCCCCC", "DDacDDDDDD",
    "DDacDDDDDD", "DDacDDDDDD", "DDacDDDDDD", "DDacDDDDDD", "DDacDDDDDD",
};

TEST(DecodeMessage, EveryRouteWithTheFlagClearAndSet) {
  const Bytes payload = {0x08, 0x07};  // msg_id 7, field 1 of all six messages
  const std::string kinds = "adsScC";
  for (bool via_mcu : {false, true}) {
    FlagGuard flag(via_mcu);
    for (std::uint8_t source = 0; source < 10; ++source) {
      for (std::uint8_t destination = 0; destination < 10; ++destination) {
        const char expected = (via_mcu ? kViaMcu : kDirect)[source][destination];
        Result<OvikMessage> result = decode_message(source, destination, payload);
        SCOPED_TRACE(::testing::Message() << "flag " << via_mcu << " source " << int(source) << " destination "
                                          << int(destination));
        if (expected == 'M') {
          ASSERT_FALSE(result);
          EXPECT_EQ(result.error().message(), fmt::format("InvalidModule(Ovik, {}, {})", source, destination));
        } else if (expected == 'D') {
          ASSERT_FALSE(result);
          EXPECT_EQ(result.error().message(), fmt::format("InvalidDestinationModule(Ovik, {})", destination));
        } else {
          ASSERT_TRUE(result);
          EXPECT_EQ(result->index(), kinds.find(expected));
          EXPECT_EQ(kind_name(*result), kOvikMessageKindNames[kinds.find(expected)]);
          EXPECT_EQ(msg_id_of(*result), 7u);
        }
      }
    }
  }
}

TEST(DecodeMessage, EmptyPayloadFromTheDeviceIsAllDefaults) {
  FlagGuard flag(false);
  Result<OvikMessage> result = decode_message(3, 1, {});
  ASSERT_TRUE(result);
  EXPECT_EQ(std::get<schema::SensorApp>(*result), schema::SensorApp{});
}

TEST(DecodeMessage, DecodeFailureIsLoggedWithThePayload) {
  FlagGuard flag(false);
  log::ScopedCapture capture;
  const Bytes cut = {0x08, 0x07, 0x52, 0x05, 0x08};  // imu_data claims 5 bytes, has 1
  Result<OvikMessage> result = decode_message(3, 1, cut);
  ASSERT_FALSE(result);
  auto codec = schema::decode<schema::SensorApp>(cut);
  ASSERT_FALSE(codec);
  EXPECT_EQ(result.error().message(), "DecodingError(" + codec.error().message() + ")");
  EXPECT_EQ(capture.records(),
            (std::vector<log::CapturedRecord>{
                {log::Level::Error, "ovik_sdk::proto::enums",
                 "Decoding error for type ovik_sdk::generated::ovik_proto::SensorApp: [8, 7, 82, 5, 8]"}}));

  FlagGuard via_mcu(true);
  capture.clear();
  EXPECT_FALSE(decode_message(1, 3, cut));
  EXPECT_EQ(capture.messages("ovik_sdk::proto::enums"),
            std::vector<std::string>{
                "Decoding error for type ovik_sdk::generated::ovik_proto::AppToControlBox: [8, 7, 82, 5, 8]"});
}

TEST(OvikMessageText, JsonAndDebugNameTheKind) {
  const std::vector<OvikMessage> empties = {schema::AppDongle{}, schema::DongleApp{}, schema::AppSensor{},
                                            schema::SensorApp{}, schema::AppToControlBox{}, schema::ControlBoxToApp{}};
  const char* kinds[] = {"App2Dongle", "Dongle2App", "App2Sensor", "Sensor2App", "AppToCtrlBox", "CtrlBoxToApp"};
  for (std::size_t i = 0; i < empties.size(); ++i) {
    EXPECT_EQ(*to_json(empties[i]), std::string("{\"") + kinds[i] + "\":{}}");
    EXPECT_TRUE(to_debug(empties[i]).starts_with(std::string(kinds[i]) + "(")) << to_debug(empties[i]);
  }
  schema::DongleApp reply;
  reply.msg_id = 7;
  reply.pairing_status = schema::PairingStatus::Paired;
  EXPECT_EQ(*to_json(OvikMessage(reply)), R"({"Dongle2App":{"msgId":7,"pairingStatus":"PAIRED"}})");
  schema::AppSensor bad;
  bad.msg_cmd = static_cast<schema::MsgCmd>(5);
  auto failed = to_json(OvikMessage(bad));
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message(), "Invalid variant 5");
}

TEST(MessageParseError, DebugTexts) {
  EXPECT_EQ(unknown_proto_type(MsgType::Narvel).message(), "UnknownProtoType(Narvel)");
  EXPECT_EQ(unsupported_header_version(MsgType::Quorix, 1).message(), "UnsupportedHeaderVersion(Quorix, 1)");
  EXPECT_EQ(unsupported_header_version(static_cast<MsgType>(14), 0).message(), "UnsupportedHeaderVersion(, 0)");
  EXPECT_EQ(invalid_module(MsgType::Ovik, 2, 3).message(), "InvalidModule(Ovik, 2, 3)");
  EXPECT_EQ(invalid_destination_module(MsgType::Ovik, 1).message(), "InvalidDestinationModule(Ovik, 1)");
}

}  // namespace
}  // namespace ovik::proto
