// What the official runtime cannot judge: the decoder's error texts and
// paths, its limits, and how it reads forms the runtime never writes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/decode.hpp"
#include "support/frames.hpp"

namespace ovik::schema {
namespace {

using test::concat;
using test::hex;
using Payload = std::vector<std::uint8_t>;

// A length-delimited field: key byte(s), varint length, contents.
Payload field(std::string_view key, const Payload& contents) {
  Payload out = hex(key);
  for (std::size_t n = contents.size();; n >>= 7) {
    out.push_back(static_cast<std::uint8_t>(n < 0x80 ? n : (n & 0x7F) | 0x80));
    if (n < 0x80) break;
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

// `depth` nested groups of field 4 (of field 2 with `field_two`).
Payload groups(std::size_t depth, bool field_two = false) {
  Payload out;
  for (std::size_t i = 0; i < depth; ++i) out.push_back(field_two ? 0x13 : 0x23);
  for (std::size_t i = 0; i < depth; ++i) out.push_back(field_two ? 0x14 : 0x24);
  return out;
}

template <class T>
std::string outcome(const Payload& payload) {
  Result<T> result = decode<T>(payload);
  return result ? "ok" : result.error().message();
}

// DeviceInfo.model of a SensorApp holding `text`.
Payload model(const char* text) { return field("12", field("12", hex(text))); }
const char* const kBadModel = "invalid UTF-8 in string at DeviceInfo.model, SensorApp.device_info";

TEST(SchemaDecode, ErrorTextsAndLimits) {
  const struct {
    const char* what;
    std::string (*run)(const Payload&);
    Payload payload;
    std::string expected;
  } cases[] = {
      {"wrong wire type names the field path", outcome<ControlBoxToApp>, field("C2 01", hex("25 00 00 00 00")),
       "invalid wire type 5 (expected 2) at HallData.hall_value, ControlBoxToApp.hall_data"},
      {"single float sent length-delimited", outcome<SensorApp>, field("5A", hex("22 00")),
       "invalid wire type 2 (expected 5) at ImuConfResp.acc_coefficient, SensorApp.imu_resp"},
      {"known field closed as a group", outcome<SensorApp>, hex("0C"),
       "invalid wire type 4 (expected 0) at SensorApp.msg_id"},
      {"repeated float as a varint", outcome<SensorApp>, field("52", hex("48 01")),
       "invalid wire type 0 (expected 5 or 2) at ImuData.acc_correction_data, SensorApp.imu_data"},
      {"truncation inside a sub-message", outcome<SensorApp>, concat({field("52", hex("08 96")), hex("01")}),
       "varint runs past the end at ImuData.seq_num, SensorApp.imu_data"},
      {"float cut short", outcome<SensorApp>, field("5A", hex("25 00 00")),
       "value of 4 bytes runs past the end (2 bytes left) at ImuConfResp.acc_coefficient, SensorApp.imu_resp"},
      {"packed floats not a multiple of 4", outcome<SensorApp>, field("52", hex("4A 02 00 00")),
       "packed floats of 2 bytes, not a multiple of 4 at ImuData.acc_correction_data, SensorApp.imu_data"},
      {"packed enums cut inside a varint", outcome<ControlBoxToApp>, field("22", hex("12 02 01 81")),
       "varint runs past the end at PortStat.box_sensor_list, ControlBoxToApp.port_stat"},
      {"repeated bytes followed by a cut field", outcome<SensorApp>, field("A2 01", hex("22 01 01 22 01 02 22 05 03")),
       "length 5 runs past the end (1 bytes left) at AfeData.channel_adc_value, SensorApp.afe_data"},
      {"100 nested groups", outcome<SensorApp>, groups(100), "ok"},
      {"101 nested groups", outcome<SensorApp>, groups(101), "nesting limit reached"},
      {"sub-message and 100 groups", outcome<SensorApp>, field("52", groups(100, true)),
       "nesting limit reached at SensorApp.imu_data"},
      {"three sub-messages and 97 groups", outcome<AppSensor>, field("5A", field("1A", field("22", groups(97)))),
       "ok"},
      {"three sub-messages and 98 groups", outcome<AppSensor>, field("5A", field("1A", field("22", groups(98)))),
       "nesting limit reached at MagCalibration.mag_soft_iron_correction, MagConfig.mag_calibration, "
       "AppSensor.mag_config"},
      {"end-group that closes nothing", outcome<SensorApp>, hex("08 01 24"), "end-group of field 4 closes no group"},
      {"end-group that closes another field", outcome<SensorApp>, hex("23 08 01 2C"),
       "end-group of field 5 closes the group of field 4"},
      {"group never closed", outcome<SensorApp>, hex("23 08 01"), "group of field 4 is not closed"},
      {"end-group at the top of a sub-message", outcome<SensorApp>, field("52", hex("14")),
       "end-group of field 2 closes no group at SensorApp.imu_data"},
      {"key above 32 bits", outcome<SensorApp>, hex("80 80 80 80 10"), "invalid key 4294967296: above 32 bits"},
      {"wire type 6", outcome<SensorApp>, hex("0E"), "invalid wire type 6"},
      {"wire type 7", outcome<SensorApp>, hex("27 00"), "invalid wire type 7"},
      {"field number 0", outcome<SensorApp>, hex("02 00"), "invalid field number 0"},
      {"varint over ten bytes", outcome<SensorApp>, hex("08 FF FF FF FF FF FF FF FF FF FF 01"),
       "varint longer than ten bytes at SensorApp.msg_id"},
      {"unknown field longer than the payload", outcome<SensorApp>, hex("22 05 00"),
       "length 5 runs past the end (1 bytes left)"},
      {"unknown fixed64 cut short", outcome<SensorApp>, hex("21 00 00 00"),
       "value of 8 bytes runs past the end (3 bytes left)"},
      {"unknown fixed32 cut short", outcome<SensorApp>, hex("25 00"),
       "value of 4 bytes runs past the end (1 bytes left)"},
      {"pair key that is not UTF-8", outcome<AppSensor>, field("22", field("22", hex("C0 80"))),
       "invalid UTF-8 in string at BleConfig.pair_key, AppSensor.ble_conf"},
      {"the same bytes as a MAC address", outcome<AppSensor>, field("22", field("12", hex("C0 80"))), "ok"},
      // An empty packed run into an empty list (found by fuzzing: a copy from no storage).
      {"empty packed runs", outcome<ImuData>, hex("3A 00 4A 00"), "ok"},
      {"U+D7FF, last before the surrogates", outcome<SensorApp>, model("ED 9F BF"), "ok"},
      {"U+E000, first after them", outcome<SensorApp>, model("EE 80 80"), "ok"},
      {"U+10FFFF", outcome<SensorApp>, model("F4 8F BF BF"), "ok"},
      {"three-byte sign after the ASCII fast path", outcome<SensorApp>, model("41 42 43 44 45 46 47 48 E2 82 AC"),
       "ok"},
      {"overlong NUL", outcome<SensorApp>, model("C0 80"), kBadModel},
      {"overlong U+07FF", outcome<SensorApp>, model("E0 9F BF"), kBadModel},
      {"overlong U+FFFF", outcome<SensorApp>, model("F0 8F BF BF"), kBadModel},
      {"U+D800", outcome<SensorApp>, model("ED A0 80"), kBadModel},
      {"U+110000", outcome<SensorApp>, model("F4 90 80 80"), kBadModel},
      {"stray continuation after the fast path", outcome<SensorApp>, model("41 42 43 44 45 46 47 48 80"), kBadModel},
      {"truncated four-byte", outcome<SensorApp>, model("F0 9F 98"), kBadModel},
      {"bad continuation", outcome<SensorApp>, model("F0 9F 28 80"), kBadModel},
  };
  for (const auto& c : cases) EXPECT_EQ(c.run(c.payload), c.expected) << c.what;
}

TEST(SchemaDecode, FormsTheOfficialRuntimeNeverWrites) {
  const struct {
    const char* what;
    Payload payload;
    SensorApp expected;
  } cases[] = {
      {"uint32 above 2^32-1 keeps the low bits", hex("08 85 80 80 80 10"), SensorApp{.msg_id = 5}},
      {"bool varint of 2^32", field("32", hex("18 80 80 80 80 10")), SensorApp{.ota_data = OtaData{.finished = true}}},
      {"negative enum as five bytes", hex("18 FE FF FF FF 0F"), SensorApp{.device_event = static_cast<DeviceEvent>(-2)}},
      {"floats unpacked, packed, unpacked and an empty run, in arrival order",
       field("52", concat({hex("4D 00 00 80 3F"), field("4A", hex("00 00 00 40 00 00 40 40")), hex("4D 00 00 80 40"),
                           field("4A", {})})),
       SensorApp{.imu_data = ImuData{.acc_correction_data = {1.0f, 2.0f, 3.0f, 4.0f}}}},
      {"two occurrences of a sub-message merge",
       concat({field("52", concat({hex("08 01 22 02 0A 0B"), field("4A", hex("00 00 80 3F")), hex("40 02")})),
               hex("08 09"),
               field("52", concat({hex("08 02 22 01 0C"), field("4A", hex("00 00 00 40")), hex("32 01 0D")}))}),
       SensorApp{.msg_id = 9,
                 .imu_data = ImuData{.seq_num = 2,
                                     .acc_raw_data = {0x0C},
                                     .gyro_raw_data = {0x0D},
                                     .port = CtrlBoxPort::PortB,
                                     .acc_correction_data = {1.0f, 2.0f}}}},
  };
  for (const auto& c : cases) {
    Result<SensorApp> result = decode<SensorApp>(c.payload);
    ASSERT_TRUE(result) << c.what << ": " << result.error().message();
    EXPECT_EQ(*result, c.expected) << c.what;
  }
  // A repeated message gets one element per occurrence; a singular one merges.
  const Payload calibration = concat({field("22", hex("0D 00 00 80 3F")), field("1A", hex("0D 00 00 80 3F")),
                                      field("22", hex("15 00 00 80 3F")), field("1A", hex("15 00 00 00 40")),
                                      field("22", hex("1D 00 00 80 3F"))});
  Result<MagConfig> mag = decode<MagConfig>(field("1A", calibration));
  ASSERT_TRUE(mag) << mag.error().message();
  EXPECT_EQ(*mag->mag_calibration,
            (MagCalibration{.mag_hard_iron_correction = Xyz{.x = 1.0f, .y = 2.0f},
                            .mag_soft_iron_correction = {Xyz{.x = 1.0f}, Xyz{.y = 1.0f}, Xyz{.z = 1.0f}}}));
}

}  // namespace
}  // namespace ovik::schema
