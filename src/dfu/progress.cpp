#include "dfu/progress.hpp"

#include <array>

namespace ovik::dfu {

std::string_view state_message(DfuState state) {
  static constexpr std::array<std::string_view, 8> kMessages = {
      "",           "Loading firmware file", "Calculated checksums",       "Starting OTA",
      "Uploading firmware", "Rebooting device", "Firmware upgrade completed", ""};
  return kMessages[static_cast<std::size_t>(state)];
}

DfuProgressTracker make_tracker(std::string md5, std::string sha256, std::uint32_t total_bytes,
                                std::size_t chunk_size, ProgressClock::time_point now) {
  DfuProgressTracker tracker;
  tracker.md5 = std::move(md5);
  tracker.sha256 = std::move(sha256);
  tracker.start = now;
  tracker.total_bytes = total_bytes;
  tracker.total_chunks = static_cast<std::uint32_t>((total_bytes + chunk_size - 1) / chunk_size);
  return tracker;
}

DfuProgress build_progress(const DfuProgressTracker& tracker, DfuState state, std::string_view message,
                           ProgressClock::time_point now) {
  DfuProgress progress;
  progress.state = state;
  progress.total_bytes = tracker.total_bytes;
  progress.uploaded_bytes = tracker.uploaded_bytes;
  progress.chunks_sent = tracker.chunks_sent;
  progress.total_chunks = tracker.total_chunks;
  progress.md5 = tracker.md5;
  progress.sha256 = tracker.sha256;
  progress.message = message;

  const double elapsed = now > tracker.start ? std::chrono::duration<double>(now - tracker.start).count() : 0.0;
  const double uploaded = tracker.uploaded_bytes;
  if (elapsed > 0) {
    progress.speed_kbps = uploaded / 1024.0 / elapsed;
    if (tracker.uploaded_bytes > 0 && progress.speed_kbps > 0) {
      const double remaining =
          tracker.total_bytes > tracker.uploaded_bytes ? double(tracker.total_bytes - tracker.uploaded_bytes) : 0.0;
      progress.eta_secs = remaining / (progress.speed_kbps * 1024.0);
    }
  }
  if (tracker.total_bytes > 0) progress.percentage = uploaded / tracker.total_bytes * 100.0;
  return progress;
}

DfuProgress initial_progress(DfuState state, std::string_view message) {
  DfuProgress progress;
  progress.state = state;
  progress.message = message;
  return progress;
}

}  // namespace ovik::dfu
