#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/decode.hpp"
#include "support/schema_bytes.hpp"

namespace ovik::schema {
namespace {

using test::concat;
using test::hex;
using test::repeat;
using Payload = std::vector<std::uint8_t>;

// A length-delimited field: key byte(s), varint length, contents.
Payload field(std::string_view key, const Payload& contents) {
  Payload out = hex(key);
  std::size_t n = contents.size();
  while (n >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(n | 0x80));
    n >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(n));
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

// `depth` nested groups of field 4 (or of field 2 with `field_two`).
Payload groups(std::size_t depth, bool field_two = false) {
  return concat({repeat(hex(field_two ? "13" : "23"), depth), repeat(hex(field_two ? "14" : "24"), depth)});
}

// "ok", or the decode error's text.
template <class T>
std::string outcome(const Payload& payload) {
  Result<T> result = decode<T>(payload);
  return result ? "ok" : result.error().message();
}

struct Case {
  const char* what;
  std::string (*run)(const Payload&);
  Payload payload;
  std::string expected;
};

void run_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(c.run(c.payload), c.expected) << c.what;
}

TEST(SchemaDecode, RuleCasesTheOracleCannotJudge) {
  const Payload bad_model = hex("C0 80");
  run_cases({
      {"wrong wire type names the field path", outcome<ControlBoxToApp>,
       field("C2 01", hex("25 00 00 00 00")),
       "invalid wire type 5 (expected 2) at HallData.hall_value, ControlBoxToApp.hall_data"},
      {"single float sent length-delimited", outcome<SensorApp>, field("5A", hex("22 00")),
       "invalid wire type 2 (expected 5) at ImuConfResp.acc_coefficient, SensorApp.imu_resp"},
      {"known field closed as a group", outcome<SensorApp>, hex("0C"),
       "invalid wire type 4 (expected 0) at SensorApp.msg_id"},
      {"repeated float as a varint", outcome<SensorApp>, field("52", hex("48 01")),
       "invalid wire type 0 (expected 5 or 2) at ImuData.acc_correction_data, SensorApp.imu_data"},
      {"truncation inside a sub-message", outcome<SensorApp>, concat({field("52", hex("08 96")), hex("01")}),
       "varint runs past the end at ImuData.seq_num, SensorApp.imu_data"},
      {"sub-message longer than the payload", outcome<SensorApp>, hex("52 05 08 01"),
       "length 5 runs past the end (2 bytes left) at SensorApp.imu_data"},
      {"float cut short", outcome<SensorApp>, field("5A", hex("25 00 00")),
       "value of 4 bytes runs past the end (2 bytes left) at ImuConfResp.acc_coefficient, SensorApp.imu_resp"},
      {"packed floats not a multiple of 4", outcome<SensorApp>, field("52", hex("4A 02 00 00")),
       "packed floats of 2 bytes, not a multiple of 4 at ImuData.acc_correction_data, SensorApp.imu_data"},
      {"packed enums cut inside a varint", outcome<ControlBoxToApp>, field("22", hex("12 02 01 81")),
       "varint runs past the end at PortStat.box_sensor_list, ControlBoxToApp.port_stat"},
      {"repeated bytes followed by a cut field", outcome<SensorApp>,
       field("A2 01", hex("22 01 01 22 01 02 22 05 03")),
       "length 5 runs past the end (1 bytes left) at AfeData.channel_adc_value, SensorApp.afe_data"},
      {"100 nested groups", outcome<SensorApp>, groups(100), "ok"},
      {"101 nested groups", outcome<SensorApp>, groups(101), "nesting limit reached"},
      {"sub-message and 99 groups", outcome<SensorApp>, field("52", groups(99, true)), "ok"},
      {"sub-message and 100 groups", outcome<SensorApp>, field("52", groups(100, true)),
       "nesting limit reached at SensorApp.imu_data"},
      {"three sub-messages and 97 groups", outcome<AppSensor>,
       field("5A", field("1A", field("22", groups(97)))), "ok"},
      {"three sub-messages and 98 groups", outcome<AppSensor>,
       field("5A", field("1A", field("22", groups(98)))),
       "nesting limit reached at MagCalibration.mag_soft_iron_correction, MagConfig.mag_calibration, "
       "AppSensor.mag_config"},
      {"end-group that closes nothing", outcome<SensorApp>, hex("08 01 24"),
       "end-group of field 4 closes no group"},
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
      {"ten-byte varint", outcome<SensorApp>, hex("08 FF FF FF FF FF FF FF FF FF 01"), "ok"},
      {"unknown field longer than the payload", outcome<SensorApp>, hex("22 05 00"),
       "length 5 runs past the end (1 bytes left)"},
      {"unknown fixed64 cut short", outcome<SensorApp>, hex("21 00 00 00"),
       "value of 8 bytes runs past the end (3 bytes left)"},
      {"unknown fixed32 cut short", outcome<SensorApp>, hex("25 00"),
       "value of 4 bytes runs past the end (1 bytes left)"},
      {"pair key that is not UTF-8", outcome<AppSensor>, field("22", field("22", bad_model)),
       "invalid UTF-8 in string at BleConfig.pair_key, AppSensor.ble_conf"},
      {"the same bytes as a MAC address", outcome<AppSensor>, field("22", field("12", bad_model)), "ok"},
  });
}

TEST(SchemaDecode, StringsMustBeStrictUtf8) {
  struct Utf8Case {
    const char* bytes;
    bool valid;
  };
  const Utf8Case cases[] = {
      {"41 42 43", true},
      {"C3 A9", true},                       // U+00E9
      {"E2 82 AC", true},                    // U+20AC
      {"ED 9F BF", true},                    // U+D7FF, last before the surrogates
      {"EE 80 80", true},                    // U+E000, first after them
      {"F0 9F 98 80", true},                 // U+1F600
      {"F4 8F BF BF", true},                 // U+10FFFF
      {"41 42 43 44 45 46 47 48 E2 82 AC", true},
      {"C0 80", false},                      // overlong NUL
      {"C1 BF", false},                      // overlong
      {"E0 80 80", false},                   // overlong three-byte
      {"E0 9F BF", false},                   // overlong U+07FF
      {"F0 80 80 80", false},                // overlong four-byte
      {"F0 8F BF BF", false},                // overlong U+FFFF
      {"ED A0 80", false},                   // U+D800
      {"ED BF BF", false},                   // U+DFFF
      {"F4 90 80 80", false},                // U+110000
      {"F5 80 80 80", false},                // lead byte past the range
      {"FF", false},
      {"80", false},                         // stray continuation
      {"41 42 43 44 45 46 47 48 80", false}, // stray continuation after the fast path
      {"C3", false},                         // truncated
      {"E2 82", false},                      // truncated
      {"F0 9F 98", false},                   // truncated
      {"E2 28 A1", false},                   // bad continuation
      {"F0 9F 28 80", false},
  };
  for (const Utf8Case& c : cases) {
    const Payload payload = field("12", field("12", hex(c.bytes)));
    Result<SensorApp> result = decode<SensorApp>(payload);
    if (c.valid) {
      ASSERT_TRUE(result) << c.bytes << ": " << result.error().message();
      const Payload expected = hex(c.bytes);
      EXPECT_EQ(result->device_info->model, std::string(expected.begin(), expected.end()));
    } else {
      ASSERT_FALSE(result) << c.bytes;
      EXPECT_EQ(result.error().message(), "invalid UTF-8 in string at DeviceInfo.model, SensorApp.device_info");
    }
  }
}

TEST(SchemaDecode, IntegersKeepTheirLow32Bits) {
  struct IntCase {
    const char* what;
    Payload payload;
    SensorApp expected;
  };
  const IntCase cases[] = {
      {"uint32 above 2^32-1", hex("08 85 80 80 80 10"), SensorApp{.msg_id = 5}},
      {"uint32 of all ones", hex("08 FF FF FF FF FF FF FF FF FF 01"),
       SensorApp{.msg_id = std::numeric_limits<std::uint32_t>::max()}},
      {"bool varint of 2^32", field("32", hex("18 80 80 80 80 10")),
       SensorApp{.ota_data = OtaData{.finished = true}}},
      {"bool varint of 7", field("32", hex("18 07")), SensorApp{.ota_data = OtaData{.finished = true}}},
      {"enum outside its table", hex("18 63"), SensorApp{.device_event = static_cast<DeviceEvent>(99)}},
      {"negative enum as ten bytes", hex("18 FF FF FF FF FF FF FF FF FF 01"),
       SensorApp{.device_event = static_cast<DeviceEvent>(-1)}},
      {"negative enum as five bytes", hex("18 FE FF FF FF 0F"),
       SensorApp{.device_event = static_cast<DeviceEvent>(-2)}},
  };
  for (const IntCase& c : cases) {
    Result<SensorApp> result = decode<SensorApp>(c.payload);
    ASSERT_TRUE(result) << c.what << ": " << result.error().message();
    EXPECT_EQ(*result, c.expected) << c.what;
  }
  Result<SensorApp> ppg = decode<SensorApp>(field("F2 01", field("22", field("0A", hex("08 FB FF FF FF FF FF FF FF FF 01")))));
  ASSERT_TRUE(ppg);
  EXPECT_EQ(ppg->ppg_data->report->raw.at(0).green1, -5);
}

TEST(SchemaDecode, EmptyPayloadGivesDefaultsOnEveryRoute) {
  TopLevelMessages::for_each([](auto type) {
    using T = typename decltype(type)::type;
    Result<T> result = decode<T>({});
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, T{}) << descriptor_of<T>().name;
  });
}

TEST(SchemaDecode, UnknownFieldsOfEveryWireTypeAreSkipped) {
  const Payload payload = concat({
      hex("20 96 01"),                    // 4: varint
      hex("21 01 02 03 04 05 06 07 08"),  // 4: fixed64
      hex("22 03 AA BB CC"),              // 4: length-delimited
      hex("25 01 02 03 04"),              // 4: fixed32
      hex("23 08 01 2B 12 00 2C 24"),     // 4: group holding a known number and a nested group
      hex("08 2A"),                       // msg_id 42
      hex("C8 3E 01"),                    // 1001: varint
      field("52", hex("10 05 08 07")),    // imu_data with an unknown field 2, seq_num 7
  });
  Result<SensorApp> result = decode<SensorApp>(payload);
  ASSERT_TRUE(result) << result.error().message();
  EXPECT_EQ(*result, (SensorApp{.msg_id = 42, .imu_data = ImuData{.seq_num = 7}}));

  Result<DeviceSetupInfo> setup = decode<DeviceSetupInfo>(hex("0A 02 41 42 12 01 4D"));
  ASSERT_TRUE(setup);
  EXPECT_EQ(*setup, DeviceSetupInfo{.model = "M"});
}

TEST(SchemaDecode, RepeatedScalarsAcceptPackedAndUnpackedInArrivalOrder) {
  // acc_correction_data: 1.0 unpacked, then packed 2.0 and 3.0, then 4.0 unpacked.
  const Payload imu = concat({hex("4D 00 00 80 3F"), field("4A", hex("00 00 00 40 00 00 40 40")),
                              hex("4D 00 00 80 40"), field("4A", {})});
  Result<SensorApp> floats = decode<SensorApp>(field("52", imu));
  ASSERT_TRUE(floats) << floats.error().message();
  EXPECT_EQ(floats->imu_data->acc_correction_data, (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f}));

  // An empty packed run into an empty list (found by fuzzing: a copy from no storage).
  Result<ImuData> empty_run = decode<ImuData>(hex("3A 00 4A 00"));
  ASSERT_TRUE(empty_run);
  EXPECT_EQ(*empty_run, ImuData{});

  // box_sensor_list: a packed run of six, then 2 unpacked, then a packed -1.
  const Payload port = concat({field("12", hex("01 00 04 09 03 7F")), hex("10 02"),
                               field("12", hex("FF FF FF FF FF FF FF FF FF 01"))});
  Result<ControlBoxToApp> enums = decode<ControlBoxToApp>(field("22", port));
  ASSERT_TRUE(enums) << enums.error().message();
  std::vector<std::int32_t> numbers;
  for (BoxSensorType t : enums->port_stat->box_sensor_list) numbers.push_back(to_number(t));
  EXPECT_EQ(numbers, (std::vector<std::int32_t>{1, 0, 4, 9, 3, 127, 2, -1}));
}

TEST(SchemaDecode, RepeatedBytesAndMessagesTakeOneElementPerOccurrence) {
  Result<SensorApp> afe = decode<SensorApp>(field("A2 01", hex("22 02 01 02 22 00 22 01 03")));
  ASSERT_TRUE(afe);
  EXPECT_EQ(afe->afe_data->channel_adc_value, (std::vector<Bytes>{{1, 2}, {}, {3}}));

  Result<SensorApp> ppg = decode<SensorApp>(field("F2 01", field("22", hex("0A 02 08 01 12 02 10 48 0A 00"))));
  ASSERT_TRUE(ppg);
  EXPECT_EQ(*ppg->ppg_data->report,
            (PpgReport{.raw = {RawData{.green1 = 1}, RawData{}}, .algo = {AlgoData{.hr = 72}}}));

  // Three soft-iron rows in order; a second hard-iron vector merges into the first.
  const Payload calibration = concat({field("22", hex("0D 00 00 80 3F")), field("1A", hex("0D 00 00 80 3F")),
                                      field("22", hex("15 00 00 80 3F")), field("1A", hex("15 00 00 00 40")),
                                      field("22", hex("1D 00 00 80 3F"))});
  Result<MagConfig> mag = decode<MagConfig>(field("1A", calibration));
  ASSERT_TRUE(mag) << mag.error().message();
  EXPECT_EQ(*mag->mag_calibration,
            (MagCalibration{.mag_hard_iron_correction = Xyz{.x = 1.0f, .y = 2.0f},
                            .mag_soft_iron_correction = {Xyz{.x = 1.0f}, Xyz{.y = 1.0f}, Xyz{.z = 1.0f}}}));
}

TEST(SchemaDecode, RepeatedSubMessageOccurrencesMerge) {
  const Payload first = concat({hex("08 01 22 02 0A 0B"), field("4A", hex("00 00 80 3F")), hex("40 02")});
  const Payload second = concat({hex("08 02 22 01 0C"), field("4A", hex("00 00 00 40")), hex("32 01 0D")});
  Result<SensorApp> result = decode<SensorApp>(concat({field("52", first), hex("08 09"), field("52", second)}));
  ASSERT_TRUE(result) << result.error().message();
  const ImuData expected{.seq_num = 2,
                         .acc_raw_data = {0x0C},
                         .gyro_raw_data = {0x0D},
                         .port = CtrlBoxPort::PortB,
                         .acc_correction_data = {1.0f, 2.0f}};
  EXPECT_EQ(*result, (SensorApp{.msg_id = 9, .imu_data = expected}));
}

TEST(SchemaDecode, SeveralSubMessagesMayBePresentTogether) {
  const Payload payload = concat({field("52", hex("08 01")), field("62", hex("08 02")), field("A2 01", hex("08 03")),
                                  field("B2 01", hex("10 04"))});
  Result<SensorApp> result = decode<SensorApp>(payload);
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, (SensorApp{.imu_data = ImuData{.seq_num = 1},
                                .mag_data = MagData{.seq_num = 2},
                                .afe_data = AfeData{.seq_num = 3},
                                .flex_data = FlexData{.seq_num = 4}}));
}

}  // namespace
}  // namespace ovik::schema
