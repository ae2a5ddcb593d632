#pragma once
// Progress records of a firmware update and the counters they are made from.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ovik::dfu {

// Failed carries a text in `DfuProgress::failure`; the update reports
// neither Idle nor Failed.
enum class DfuState : std::uint8_t {
  Idle = 0,
  LoadingFile = 1,
  CalculatingChecksums = 2,
  Starting = 3,
  Uploading = 4,
  Rebooting = 5,
  Completed = 6,
  Failed = 7,
};

// The fixed message text reported with a state ("Uploading firmware").
std::string_view state_message(DfuState state);

struct DfuProgress {
  DfuState state = DfuState::Idle;
  std::uint32_t total_bytes = 0;
  std::uint32_t uploaded_bytes = 0;
  std::uint32_t chunks_sent = 0;
  std::uint32_t total_chunks = 0;
  std::string md5;
  std::string sha256;
  double percentage = 0.0;
  double speed_kbps = 0.0;
  std::optional<double> eta_secs;
  std::string message;
  std::string failure;  // the text of a Failed state
};

using ProgressClock = std::chrono::steady_clock;

struct DfuProgressTracker {
  std::string md5;
  std::string sha256;
  ProgressClock::time_point start;
  std::uint32_t total_bytes = 0;
  std::uint32_t uploaded_bytes = 0;
  std::uint32_t chunks_sent = 0;
  std::uint32_t total_chunks = 0;
};

// The tracker of an image of `total_bytes`, starting now.
DfuProgressTracker make_tracker(std::string md5, std::string sha256, std::uint32_t total_bytes,
                                std::size_t chunk_size, ProgressClock::time_point now = ProgressClock::now());

// The record of `state` from the tracker's counters, with speed and
// remaining time measured up to `now`.
DfuProgress build_progress(const DfuProgressTracker& tracker, DfuState state, std::string_view message,
                           ProgressClock::time_point now = ProgressClock::now());

// The first record, made before there is a tracker: every counter 0.
DfuProgress initial_progress(DfuState state, std::string_view message);

// Called with each record, on the thread that runs the update, which waits
// until it returns.
using ProgressCallback = std::function<void(const DfuProgress&)>;

inline void report_progress(const ProgressCallback& callback, const DfuProgress& progress) {
  if (callback) callback(progress);
}

}  // namespace ovik::dfu
