#include "dfu/perform.hpp"

#include <algorithm>
#include <chrono>
#include <limits>

#include "dfu/dfu_error.hpp"
#include "dfu/dfu_link.hpp"
#include "dfu/firmware_image.hpp"
#include "dfu/offset_watch.hpp"
#include "dfu/ota_exchange.hpp"
#include "proto/route_flag.hpp"
#include "runtime/first_of.hpp"
#include "runtime/run_blocking.hpp"

namespace ovik::dfu {
namespace {

using schema::OtaState;

// Compared unsigned, so that negative numbers are invalid too.
bool invalid_state(std::int32_t state) {
  return static_cast<std::uint32_t>(state) > static_cast<std::uint32_t>(OtaState::Abort);
}

Failure not_ready(const std::string& detail) { return Failure{dfu_error(DfuError::DeviceNotReady, detail)}; }

// The part of an update that talks to the device, between the opening of
// its link and its end.
struct Exchange {
  DfuLink& link;
  const std::vector<std::uint8_t>& image;
  DfuProgressTracker& tracker;
  const ProgressCallback& on_progress;
  const DfuConfig& config;

  void report(DfuState state) const {
    report_progress(on_progress, build_progress(tracker, state, state_message(state)));
  }

  std::string no_progress(std::uint32_t highest) const {
    return "device made no progress past offset " + std::to_string(highest) + " for " +
           std::to_string(config.response_timeout_ms) + " ms";
  }

  asio::awaitable<Result<void>> send_chunk(std::uint32_t offset) const {
    return send_ota_chunk(image, offset, config.chunk_size, link.writer());
  }

  // The first answer must ask for data; one beyond the image is answered as
  // one at its end. Its offset is the first the watch knows.
  asio::awaitable<Result<OffsetWatch>> start() const {
    Result<OtaReply> reply = co_await wait_for_ota_response(link.replies(), config.start_timeout_ms);
    if (!reply) co_return Failure{std::move(reply).error()};
    const OffsetWatch::Clock::time_point received = OffsetWatch::Clock::now();
    if (invalid_state(reply->state)) co_return not_ready("invalid OTA state: " + std::to_string(reply->state));
    if (reply->state != static_cast<std::int32_t>(OtaState::Downloading))
      co_return not_ready(format_unexpected_ota_state(static_cast<OtaState>(reply->state)));
    const auto offset = static_cast<std::uint32_t>(std::min<std::size_t>(reply->offset, image.size()));
    if (Result<void> sent = co_await send_chunk(offset); !sent) co_return Failure{std::move(sent).error()};
    co_return OffsetWatch(offset, received);
  }

  // Answers each request for data until the device reports the download
  // finished, or until the offsets it asks for stop rising.
  asio::awaitable<Result<void>> upload(OffsetWatch watch) const {
    for (;;) {
      Result<OtaReply> reply = co_await wait_for_ota_response(link.replies(), config.response_timeout_ms);
      if (!reply) co_return Failure{std::move(reply).error()};
      const OffsetWatch::Clock::time_point received = OffsetWatch::Clock::now();
      const bool at_end = reply->offset >= image.size();
      tracker.uploaded_bytes = at_end ? tracker.total_bytes : reply->offset;
      if (tracker.chunks_sent < std::numeric_limits<std::uint32_t>::max()) ++tracker.chunks_sent;
      if (tracker.chunks_sent % 10 == 0 || at_end) report(DfuState::Uploading);

      if (invalid_state(reply->state))
        co_return not_ready("invalid OTA state during upload: " + std::to_string(reply->state));
      switch (static_cast<OtaState>(reply->state)) {
        case OtaState::Downloading:
          if (!watch.advancing(tracker.uploaded_bytes, received, config.response_timeout_ms))
            co_return not_ready(no_progress(watch.highest()));
          if (at_end) continue;
          if (Result<void> sent = co_await send_chunk(reply->offset); !sent) co_return sent;
          continue;
        case OtaState::DownloadFinished:
          co_return Result<void>();
        case OtaState::Abort:
          co_return not_ready("device aborted OTA at offset " + std::to_string(reply->offset));
        default:
          co_return not_ready("unexpected OTA state during upload: " + ota_state_name(static_cast<OtaState>(reply->state)));
      }
    }
  }

  asio::awaitable<Result<void>> run() const {
    report(DfuState::Starting);
    Result<void> step = co_await write_ota_request(encode_ota_start(tracker.total_bytes, tracker.md5, tracker.sha256),
                                                   link.writer());
    if (!step) co_return step;
    Result<OffsetWatch> asked = co_await start();
    if (!asked) co_return Failure{std::move(asked).error()};
    step = co_await upload(*asked);
    if (!step) co_return step;
    report(DfuState::Rebooting);
    step = co_await write_ota_request(proto::encode_ota_reboot(), link.writer());
    if (!step) co_return step;
    co_await runtime::sleep_until(reboot_deadline());
    tracker.uploaded_bytes = tracker.total_bytes;
    report(DfuState::Completed);
    co_return Result<void>();
  }

  // Saturates instead of overflowing the clock.
  std::chrono::steady_clock::time_point reboot_deadline() const {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t ms = config.reboot_delay_secs > kMax / 1000 ? kMax : config.reboot_delay_secs * 1000;
    return deadline_after(std::chrono::steady_clock::now(), ms);
  }
};

}  // namespace

asio::awaitable<Result<void>> perform_serial_dfu(std::string port_name, std::string firmware_path,
                                                 ProgressCallback on_progress, DfuConfig config) {
  if (config.chunk_size == 0)
    co_return Failure{dfu_error(DfuError::InvalidConfig, "chunk_size must be greater than 0")};
  // A larger chunk could not be framed: the image goes in the largest chunks
  // that fit, and the progress counts those.
  config.chunk_size = std::min(config.chunk_size, kMaxChunkSize);
  report_progress(on_progress, initial_progress(DfuState::LoadingFile, state_message(DfuState::LoadingFile)));
  Result<FirmwareImage> image = co_await runtime::run_blocking(load_firmware_image, std::move(firmware_path));
  if (!image) co_return Failure{std::move(image).error()};

  DfuProgressTracker tracker = make_tracker(std::move(image->md5), std::move(image->sha256),
                                            static_cast<std::uint32_t>(image->bytes.size()), config.chunk_size);
  report_progress(on_progress, build_progress(tracker, DfuState::CalculatingChecksums,
                                              state_message(DfuState::CalculatingChecksums)));

  proto::RouteFlagLease route(config.via_mcu);
  Result<DfuLink> link = DfuLink::open(port_name);
  if (!link) co_return Failure{std::move(link).error()};
  const Exchange exchange{*link, image->bytes, tracker, on_progress, config};
  Result<void> outcome = co_await exchange.run();
  co_await link->close();
  co_return outcome;
}

}  // namespace ovik::dfu
