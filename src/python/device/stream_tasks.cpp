#include "python/device/stream_tasks.hpp"

#include <fmt/format.h>

#include <chrono>
#include <functional>
#include <vector>

#include "log/log.hpp"
#include "proto/request_builders.hpp"
#include "python/callback_slots.hpp"
#include "python/device/device_object.hpp"
#include "runtime/first_of.hpp"
#include "serial/os_error.hpp"

namespace ovik::python {

namespace {

using namespace std::chrono_literals;

constexpr auto kConfigSettleDelay = 100ms;
constexpr auto kPauseSettleDelay = 150ms;
constexpr auto kStopSettleDelay = 50ms;
constexpr std::string_view kWriterMissing = "Device writer is missing. Is the device connected?";

using Half = serial::SerialWriteHalf;

// Writes one frame; a failure carries `failure` with the I/O error's text.
asio::awaitable<Result<void>> write_step(Half& half, const proto::EncodedRequest& request, std::string_view failure) {
  Result<void> written = co_await half.write_all(request.frame);
  if (!written) co_return fail(fmt::format(fmt::runtime(failure), written.error().message()));
  co_return Result<void>();
}

// One configuration frame, built when its turn comes (the msg_id is taken
// then), and the failure text of its write.
struct ConfigStep {
  std::function<proto::EncodedRequest()> build;
  std::string_view failure;
};

// Flex, IMU, EMG, magnetometer: one configuration for each rate that is set.
std::vector<ConfigStep> config_steps(const ProfileSettings& p) {
  using namespace schema;
  std::vector<ConfigStep> steps;
  if (p.flex_rate)
    steps.push_back({[rate = SamplingRate(*p.flex_rate)] { return proto::encode_set_flex_config(rate); },
                     "Failed to write Flex configuration: {}"});
  if (p.imu_rate) {
    auto type = UploadDataType(p.imu_data_type.value_or(kDefaultUploadDataType));
    steps.push_back({[rate = ImuSampleRate(*p.imu_rate), type] { return proto::encode_set_imu_config(rate, type); },
                     "Failed to write IMU configuration: {}"});
  }
  if (p.emg_rate) {
    auto bits = p.emg_channel_bits.value_or(kDefaultEmgChannelBits);
    steps.push_back({[rate = AfeSampleRate(*p.emg_rate), bits] { return proto::encode_set_emg_config(rate, bits); },
                     "Failed to write EMG configuration: {}"});
  }
  if (p.mag_rate) {
    auto type = UploadDataType(p.mag_data_type.value_or(kDefaultUploadDataType));
    steps.push_back({[rate = MagSampleRate(*p.mag_rate), type] { return proto::encode_set_mag_config(rate, type); },
                     "Failed to write MAG configuration: {}"});
  }
  return steps;
}

// Each configuration is followed by its settle delay.
asio::awaitable<Result<void>> write_profile_configs(Half& half, const ProfileSettings& profile) {
  for (const ConfigStep& step : config_steps(profile)) {
    Result<void> written = co_await write_step(half, step.build(), step.failure);
    if (!written) co_return written;
    co_await runtime::sleep_for(kConfigSettleDelay);
  }
  co_return Result<void>();
}

asio::awaitable<Result<void>> configure_and_start(Half& half, const std::optional<ProfileSettings>& profile) {
  if (profile) {
    Result<void> configured = co_await write_profile_configs(half, *profile);
    if (!configured) co_return configured;
  }
  co_return co_await write_step(half, proto::encode_start_data_stream(), "Failed to start data stream command: {}");
}

asio::awaitable<Result<void>> pause_apply_resume(Half& half, const ProfileSettings& profile) {
  Result<void> done = co_await write_step(half, proto::encode_stop_data_stream(), "Failed to stop data stream: {}");
  if (!done) co_return done;
  co_await runtime::sleep_for(kPauseSettleDelay);
  done = co_await write_profile_configs(half, profile);
  if (!done) co_return done;
  co_await runtime::sleep_for(kPauseSettleDelay);
  co_return co_await write_step(half, proto::encode_start_data_stream(), "Failed to resume data stream: {}");
}

}  // namespace

asio::awaitable<void> start_stream_task(ConnectRequest request, std::optional<ProfileSettings> profile) {
  runtime::CancellationToken token = request.token;
  WriterSlot writer_slot = request.writer;
  std::optional<Error> connect_failure;
  try {
    co_await open_serial_stream_task(std::move(request));
  } catch (const Error& error) {
    connect_failure = error;
  }
  if (connect_failure) {
    token.cancel();
    throw *connect_failure;
  }
  auto writer = co_await writer_slot->lock();
  if (!*writer) {
    token.cancel();
    throw Error(std::string(kWriterMissing));
  }
  Result<void> started = co_await configure_and_start(**writer, profile);
  if (!started) {
    token.cancel();
    writer->reset();
    throw started.error();
  }
}

asio::awaitable<void> update_sensor_config_task(WriterSlot writer_slot, ProfileSettings profile) {
  auto writer = co_await writer_slot->lock();
  if (!*writer) throw Error(std::string(kWriterMissing));
  Result<void> done = co_await pause_apply_resume(**writer, profile);
  if (!done) throw done.error();
}

asio::awaitable<void> stop_stream_task(std::optional<runtime::CancellationToken> token, WriterSlot writer_slot,
                                       ListenerSlot listener_slot) {
  auto writer = co_await writer_slot->lock();
  if (*writer) {
    Result<void> written = co_await (*writer)->write_all(proto::encode_stop_data_stream().frame);
    if (!written)
      OVIK_LOG(Error, kPyDeviceTarget, "Failed to send stop stream command: {}", serial::debug_form(written.error()));
    (void)co_await (*writer)->flush();
    co_await runtime::sleep_for(kStopSettleDelay);
  }
  if (token) token->cancel();
  std::optional<ListenerEntry> entry = co_await take_content(listener_slot);
  if (entry) co_await stop_listener(std::move(*entry));
  writer->reset();
  clear_callbacks();
}

}  // namespace ovik::python
