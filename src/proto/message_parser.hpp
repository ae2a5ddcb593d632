#pragma once
// The stream parser of one serial link: bytes in, decoded messages out, each
// handed to the installed message hook and then published with the device id
// on the parser's `parse_result_channel`.
#include <cstdint>
#include <span>
#include <string>

#include "proto/frame_reader.hpp"
#include "proto/msg_type.hpp"
#include "proto/ovik_message.hpp"
#include "proto/parse_result.hpp"
#include "proto/received_message.hpp"
#include "proto/retained_results.hpp"
#include "runtime/broadcast.hpp"

namespace ovik::proto {

using ParseResultChannel = runtime::Broadcast<ParseResult>;

class MessageParser final : private FrameHandler {
 public:
  static constexpr std::size_t BUFFER_MAX_SIZE = FrameReader::BUFFER_MAX_SIZE;
  static constexpr std::size_t kChannelCapacity = 16384;

  // Frames of the header rule of `msg_type`; only `MsgType::Ovik` frames
  // decode into messages.
  MessageParser(std::string device_id, MsgType msg_type);
  // A parser with a copy of this one's settings, device id and waiting
  // bytes, publishing on the same channel.
  MessageParser(const MessageParser& other);
  MessageParser& operator=(const MessageParser&) = delete;

  // Appends a chunk and handles every frame it completes. Failures are logged,
  // never reported: an empty chunk, or one that would overflow the buffer
  // (which empties it), changes nothing else and keeps the device id.
  void receive_data(std::string device_id, std::span<const std::uint8_t> data);

  // Sees every result published from now on.
  ParseResultChannel::Receiver subscribe() const { return sender_.subscribe(); }

  const std::string& device_id() const { return device_id_; }
  MsgType msg_type() const { return msg_type_; }
  std::size_t buffered() const { return reader_.buffered(); }

 private:
  bool on_frame(const Frame& frame) override;

  std::string device_id_;
  MsgType msg_type_;
  FrameReader reader_;
  ParseResultChannel::Sender sender_;
  RetainedResults retained_{kChannelCapacity};
  // The hook of the chunk being scanned, and whether it got a message.
  const MessageHook* hook_ = nullptr;
  bool handed_ = false;
};

}  // namespace ovik::proto
