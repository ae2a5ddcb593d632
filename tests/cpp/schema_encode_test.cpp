// What the official runtime cannot judge of the encoder: the zeros it leaves
// out, the exact size it predicts, the payload limit; and the assignment of
// the optional records it writes.
#include <limits>

#include <gtest/gtest.h>

#include "schema/encode.hpp"
#include "schema/optional.hpp"
#include "support/frames.hpp"

namespace ovik::schema {
namespace {

template <class T>
std::string encoded(const T& message) {
  Result<std::vector<std::uint8_t>> bytes = encode(message);
  if (!bytes) return "error: " + bytes.error().message();
  EXPECT_EQ(encoded_size(message), bytes->size());
  return test::to_hex(*bytes);
}

TEST(SchemaEncode, ZerosAreLeftOutAndPresentRecordsWritten) {
  EXPECT_EQ(encoded(AppSensor{.msg_id = 0, .msg_cmd = MsgCmd::ReqNone}), "");
  EXPECT_EQ(encoded(AppSensor{.flex_config = FlexConfig{}}), "CA 01 00");
  EXPECT_EQ(encoded(Xyz{.x = 0.0f, .y = -0.0f, .z = 1.5f}), "1D 00 00 C0 3F");
  EXPECT_EQ(encoded(Xyz{.x = std::numeric_limits<float>::quiet_NaN()}), "0D 00 00 C0 7F");
  EXPECT_EQ(encoded(ImuData{.euler_raw_data = {-0.0f}}), "3A 04 00 00 00 80");
  EXPECT_EQ(encoded(ImuCalibration{.acc_correction = Xyz{}, .gyro_correction = std::nullopt}), "12 00");
}

TEST(SchemaEncode, RefusesWhatAFrameCannotCarry) {
  const OtaData largest{.data = Bytes(65531, 0xAB)};  // key, three-byte length, data
  Result<std::vector<std::uint8_t>> fits = encode(largest);
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->size(), 65535u);
  Result<std::vector<std::uint8_t>> refused = encode(OtaData{.data = Bytes(65532, 0xAB)});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "message of 65536 bytes exceeds the payload limit of 65535 bytes");
  // The limit is on the whole payload, not on each record.
  EXPECT_EQ(encoded(AppSensor{.ota_cfg = OtaConfig{.ota_data = OtaData{.data = Bytes(65524, 1)}}}),
            "error: message of 65536 bytes exceeds the payload limit of 65535 bytes");
}

TEST(SchemaOptional, AssignmentKeepsWhatItIsGiven) {
  Optional<Xyz> target;
  target = Optional<Xyz>(Xyz{.x = 1.0f});
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(target->x, 1.0f);
  target = Optional<Xyz>();
  EXPECT_FALSE(target.has_value());
}

}  // namespace
}  // namespace ovik::schema
