#pragma once
// The messages of the over-the-air update exchange: what the host writes and
// how it waits for the device's answers.
#include <asio/awaitable.hpp>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "common/result.hpp"
#include "proto/message_parser.hpp"
#include "proto/request_builders.hpp"
#include "schema/messages.hpp"
#include "serial/serial_write.hpp"

namespace ovik::dfu {

// A device's answer: the state as the number it sent, and the offset it wants.
struct OtaReply {
  std::int32_t state;
  std::uint32_t offset;
};

// `start` plus `timeout_ms`, or the clock's end when that lies beyond it (so
// a huge timeout means no deadline).
std::chrono::steady_clock::time_point deadline_after(std::chrono::steady_clock::time_point start,
                                                     std::uint64_t timeout_ms);

// The next OtaConfigResp from any device-to-host message on `subscription`,
// skipping everything else, or Timeout once `timeout_ms` has passed since the
// call or the channel has closed.
asio::awaitable<Result<OtaReply>> wait_for_ota_response(proto::ParseResultChannel::Receiver& subscription,
                                                        std::uint64_t timeout_ms);

// `config` in a device request of the current route, with the next msg_id.
// A chunk of at most kMaxChunkSize bytes fits a frame.
proto::EncodedRequest encode_ota_request(schema::OtaConfig config);

// The start message: the image's size and checksums.
proto::EncodedRequest encode_ota_start(std::uint32_t size, const std::string& md5, const std::string& sha256);

// Writes the chunk of `image` at `offset` (at most the image's length): up to
// `chunk_size` bytes, `finished` when it reaches the end. Fails with Transport.
asio::awaitable<Result<void>> send_ota_chunk(std::span<const std::uint8_t> image, std::uint32_t offset,
                                             std::size_t chunk_size, serial::SharedWriter writer);

// Writes a built request; a write failure becomes Transport.
asio::awaitable<Result<void>> write_ota_request(proto::EncodedRequest request, serial::SharedWriter writer);

// The state's name ("DownloadFinished"), or its number when it has none.
std::string ota_state_name(schema::OtaState state);

// "unexpected OTA state: {}" with the state's name.
std::string format_unexpected_ota_state(schema::OtaState state);

}  // namespace ovik::dfu
