#include <gtest/gtest.h>

#include <tuple>

#include "dfu/firmware_image.hpp"
#include "dfu/progress.hpp"

using namespace ovik::dfu;
using std::chrono::milliseconds;

struct ProgressCase {
  std::uint32_t total, uploaded;
  milliseconds elapsed;  // from the tracker's start to the record
  double percentage, speed_kbps;
  std::optional<double> eta_secs;
};

class BuildProgress : public testing::TestWithParam<ProgressCase> {};

TEST_P(BuildProgress, MeasuresSpeedAndRemainingTimeFromTheTrackersStart) {
  const ProgressCase& c = GetParam();
  DfuProgressTracker tracker = make_tracker("m", "s", c.total, 512, ProgressClock::time_point(std::chrono::hours(1)));
  tracker.uploaded_bytes = c.uploaded;
  DfuProgress progress = build_progress(tracker, DfuState::Uploading, "Uploading firmware", tracker.start + c.elapsed);
  EXPECT_EQ(std::tuple(progress.percentage, progress.speed_kbps, progress.eta_secs), std::tuple(c.percentage, c.speed_kbps, c.eta_secs));
}

INSTANTIATE_TEST_SUITE_P(Table, BuildProgress, testing::Values(
    ProgressCase{4096, 1024, milliseconds(2000), 25.0, 0.5, 6.0},
    ProgressCase{4096, 4096, milliseconds(500), 100.0, 8.0, 0.0},
    ProgressCase{4096, 0, milliseconds(1000), 0.0, 0.0, std::nullopt},
    ProgressCase{4096, 1024, milliseconds(0), 25.0, 0.0, std::nullopt},
    ProgressCase{4096, 1024, milliseconds(-5), 25.0, 0.0, std::nullopt},  // a clock behind the start
    ProgressCase{3, 1, milliseconds(1000), 33.33333333333333, 1.0 / 1024, 2.0}));  // divided before multiplied

TEST(FirmwareImageSize, TheProtocolsThirtyTwoBitsBoundTheImage) {
  EXPECT_TRUE(check_image_size(4294967295u).has_value());
  EXPECT_EQ(check_image_size(4294967296u).error().message(), "invalid DFU config: firmware image exceeds 4294967295 bytes");
}
