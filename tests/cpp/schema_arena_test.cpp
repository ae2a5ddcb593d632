// Messages decoded into an arena: they hold what the payload says, wherever
// their parts were carved, and a copy owns its parts, so that it outlives the
// arena and whatever is written there next.
#include <gtest/gtest.h>

#include <cstring>

#include "schema/decode.hpp"
#include "schema/encode.hpp"
#include "support/frame_stream.hpp"

namespace ovik::schema {
namespace {

// Decodes `sent` into a small arena, copies it, and checks the copy once the
// arena is gone and its space overwritten.
template <class M>
void check_copy_outlives_arena(const M& sent) {
  const std::vector<std::uint8_t> payload = *encode(sent);
  alignas(std::max_align_t) std::byte space[256];
  std::optional<M> copy;
  {
    Arena arena(space, sizeof space);
    Result<M> decoded = decode<M>(payload, &arena);
    ASSERT_TRUE(decoded) << decoded.error().message();
    EXPECT_EQ(*decoded, sent);
    copy = *decoded;
  }
  std::memset(space, 0xA5, sizeof space);
  EXPECT_EQ(*copy, sent);
}

// Byte strings of odd lengths before lists of floats and of messages: each
// part must start aligned for its type (UBSan checks the reads). The last
// case outgrows the arena's space and goes on in a chunk of the heap.
TEST(Arena, DecodedCopiesOutliveTheArena) {
  check_copy_outlives_arena(ControlBoxToApp{
      .msg_id = 1,
      .imu_data = ImuData{.seq_num = 2, .acc_raw_data = {1, 2, 3}, .gyro_raw_data = {4}, .euler_raw_data = {1.5f, -2},
                          .acc_correction_data = {3}, .gyro_correction_data = {4, 5}}});
  check_copy_outlives_arena(ControlBoxToApp{
      .msg_id = 3,
      .port_stat = PortStat{.port_connected_bits = 5, .box_sensor_list = {BoxSensorType(1), BoxSensorType(7)}},
      .flex_data = FlexData{.seq_num = 6, .channel_adc_value = {{9}, {}, {8, 7, 6, 5, 4}}},
      .hall_data = HallData{.hall_value = {1, 1}, .magnetic_intensity = {2}}});
  check_copy_outlives_arena(SensorApp{
      .ppg_data = PpgData{.report = PpgReport{.raw = {{.green1 = 1}, {.red = -2}}, .algo = {{.hr = 70}}}}});
  check_copy_outlives_arena(AppSensor{
      .mag_config = MagConfig{.mag_calibration = MagCalibration{
                                  .mag_hard_iron_correction = Xyz{.x = 1},
                                  .mag_soft_iron_correction = {{.x = 2}, {.y = 3}, {.z = 4}}}}});
  check_copy_outlives_arena(ControlBoxToApp{
      .device_info = DeviceInfo{.model = std::string(40, 'm'), .sn = "sn"},
      .acc_data = AccData{.seq_num = 8, .acc_raw_data = Bytes(300, 0x5A),
                          .acc_correction_data = Repeated<float>(70, 0.25f)}});
}

}  // namespace
}  // namespace ovik::schema
