// Process-wide values on their first use. Kept in an executable of its own so
// that nothing else touches them first.
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/frame_writer.hpp"
#include "proto/request_builders.hpp"
#include "proto/route_flag.hpp"

namespace ovik::proto {
namespace {

TEST(FirstUse, BuilderConfigCreatedOnceAndLoggedOnceUnderRacingFirstUse) {
  log::ScopedCapture capture;
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([] { (void)encode_frame({}, OvikModuleId::DEVICE); });
  for (auto& thread : threads) thread.join();
  (void)msg_builder_config();

  EXPECT_EQ(capture.records(),
            (std::vector<log::CapturedRecord>{
                {log::Level::Debug, "ovik_sdk::proto::msg_builder",
                 "BuilderType: Ovik, Project ID: 0xc, Header version: 2, header_prefix: [51, 4f, 56, 41, 2, c]"}}));
  const BuilderConfig& config = msg_builder_config();
  EXPECT_EQ(config.builder_type, MsgType::Ovik);
  EXPECT_EQ(config.header_version, 2);
  EXPECT_EQ(config.payload_version, 0);
}

TEST(FirstUse, FirstRequestCarriesIdOneOnTheDirectRoute) {
  EXPECT_FALSE(VIA_MCU_FLAG.load());
  EXPECT_EQ(encode_start_data_stream().msg_id, 1u);
  EXPECT_EQ(encode_stop_data_stream().msg_id, 2u);
}

}  // namespace
}  // namespace ovik::proto
