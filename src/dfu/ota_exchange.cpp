#include "dfu/ota_exchange.hpp"

#include <variant>

#include "dfu/dfu_error.hpp"
#include "schema/enum_table.hpp"

namespace ovik::dfu {
namespace {

using Clock = std::chrono::steady_clock;

// The answer a device-to-host message carries, if it carries one.
const schema::Optional<schema::OtaConfigResp>* ota_response(const proto::OvikMessage& message) {
  if (auto* dongle = std::get_if<schema::DongleApp>(&message)) return &dongle->ota_resp;
  if (auto* sensor = std::get_if<schema::SensorApp>(&message)) return &sensor->ota_resp;
  if (auto* box = std::get_if<schema::ControlBoxToApp>(&message)) return &box->ota_resp;
  return nullptr;
}

}  // namespace

Clock::time_point deadline_after(Clock::time_point start, std::uint64_t timeout_ms) {
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - start);
  if (room.count() < 0 || timeout_ms >= static_cast<std::uint64_t>(room.count())) return Clock::time_point::max();
  return start + std::chrono::milliseconds(timeout_ms);
}

asio::awaitable<Result<OtaReply>> wait_for_ota_response(proto::ParseResultChannel::Receiver& subscription,
                                                        std::uint64_t timeout_ms) {
  const Clock::time_point deadline = deadline_after(Clock::now(), timeout_ms);
  // The deadline is checked before every read, so a stream of other messages
  // cannot hold the wait past it.
  while (Clock::now() <= deadline) {
    runtime::Received<proto::ParseResult> item = co_await subscription.recv_until(deadline);
    if (item.status == runtime::RecvStatus::TimedOut || item.status == runtime::RecvStatus::Closed) break;
    if (item.status != runtime::RecvStatus::Value) continue;
    const auto* response = ota_response(item.value->message);
    if (response && response->has_value()) {
      const schema::OtaConfigResp& answer = **response;
      co_return OtaReply{schema::to_number(answer.state), answer.offset};
    }
  }
  co_return Failure{dfu_error(DfuError::Timeout)};
}

proto::EncodedRequest encode_ota_request(schema::OtaConfig config) {
  return proto::build_device_request(schema::MsgCmd::ReqNone,
                                     [&](auto& message) { message.ota_cfg = std::move(config); });
}

proto::EncodedRequest encode_ota_start(std::uint32_t size, const std::string& md5, const std::string& sha256) {
  schema::OtaConfig config;
  config.cmd = schema::OtaCmd::OtaStart;
  config.file_size = size;
  config.file_md5 = md5;
  config.file_sha256 = sha256;
  return encode_ota_request(std::move(config));
}

asio::awaitable<Result<void>> write_ota_request(proto::EncodedRequest request, serial::SharedWriter writer) {
  Result<void> written = co_await serial::serial_write(std::move(writer), request.frame);
  if (!written) co_return Failure{dfu_error(DfuError::Transport, written.error().message())};
  co_return Result<void>();
}

asio::awaitable<Result<void>> send_ota_chunk(std::span<const std::uint8_t> image, std::uint32_t offset,
                                             std::size_t chunk_size, serial::SharedWriter writer) {
  const std::size_t begin = std::min<std::size_t>(offset, image.size());
  const std::size_t end = begin + std::min(chunk_size, image.size() - begin);
  schema::OtaData chunk;
  chunk.offset = offset;
  chunk.data.assign(image.begin() + begin, image.begin() + end);
  chunk.finished = end >= image.size();
  schema::OtaConfig config;
  config.ota_data = std::move(chunk);
  co_return co_await write_ota_request(encode_ota_request(std::move(config)), std::move(writer));
}

std::string ota_state_name(schema::OtaState state) {
  const schema::EnumEntry* entry = schema::find_entry(state);
  return entry ? std::string(entry->debug_name) : std::to_string(schema::to_number(state));
}

std::string format_unexpected_ota_state(schema::OtaState state) {
  return "unexpected OTA state: " + ota_state_name(state);
}

}  // namespace ovik::dfu
