// Payload routing by (source, destination) and the route flag.
#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/decode_message.hpp"
#include "proto/route_flag.hpp"

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
  const std::map<char, const char*> kinds = {{'a', "App2Dongle"},   {'d', "Dongle2App"},   {'s', "App2Sensor"},
                                             {'S', "Sensor2App"},   {'c', "AppToCtrlBox"}, {'C', "CtrlBoxToApp"}};
  for (bool via_mcu : {false, true}) {
    FlagGuard flag(via_mcu);
    for (std::uint8_t source = 0; source < 10; ++source) {
      for (std::uint8_t destination = 0; destination < 10; ++destination) {
        const char expected = (via_mcu ? kViaMcu : kDirect)[source][destination];
        Result<OvikMessage> result = decode_message(source, destination, payload);
        const std::string text = !result ? result.error().message() : *to_json(*result);
        const std::string wanted =
            expected == 'M'   ? fmt::format("InvalidModule(Ovik, {}, {})", source, destination)
            : expected == 'D' ? fmt::format("InvalidDestinationModule(Ovik, {})", destination)
                              : fmt::format(R"({{"{}":{{"msgId":7}}}})", kinds.at(expected));
        EXPECT_EQ(text, wanted) << "flag " << via_mcu << " route " << int(source) << "->" << int(destination);
        if (result) EXPECT_TRUE(to_debug(*result).starts_with(kinds.at(expected) + std::string("(")));
      }
    }
  }
}

TEST(DecodeMessage, DecodeFailureIsLoggedWithTheTypeAndPayload) {
  const Bytes cut = {0x08, 0x07, 0x52, 0x05, 0x08};  // field 10 claims 5 bytes, has 1
  for (bool via_mcu : {false, true}) {
    FlagGuard flag(via_mcu);
    log::ScopedCapture capture;
    Result<OvikMessage> result = decode_message(via_mcu ? 1 : 3, via_mcu ? 3 : 1, cut);
    ASSERT_FALSE(result);
    if (!via_mcu)
      EXPECT_EQ(result.error().message(),
                "DecodingError(length 5 runs past the end (1 bytes left) at SensorApp.imu_data)");
    EXPECT_EQ(capture.messages("ovik_sdk::proto::enums"),
              std::vector<std::string>{fmt::format("Decoding error for type ovik_sdk::generated::ovik_proto::{}: "
                                                   "[8, 7, 82, 5, 8]",
                                                   via_mcu ? "AppToControlBox" : "SensorApp")});
  }
}

}  // namespace
}  // namespace ovik::proto
