#include "proto/message_parser.hpp"

#include "log/log.hpp"
#include "proto/byte_list.hpp"
#include "proto/decode_message.hpp"
#include "proto/message_parse_error.hpp"
#include "proto/result_block.hpp"

namespace ovik::proto {

MessageParser::MessageParser(std::string device_id, MsgType msg_type)
    : device_id_(std::move(device_id)),
      msg_type_(msg_type),
      reader_(header_rule(msg_type)),
      sender_(ParseResultChannel::make(kChannelCapacity)) {
  const HeaderRule& rule = reader_.rule();
  OVIK_LOG(Debug, kMsgParserTarget, "ParserType: {}, Project ID: 0x{:x}, Header version: {}, header_prefix: {:x?}",
           msg_type_, rule.project_id, rule.header_version, byte_list(rule.prefix()));
}

MessageParser::MessageParser(const MessageParser& other)
    : FrameHandler(other),
      device_id_(other.device_id_),
      msg_type_(other.msg_type_),
      reader_(other.reader_),
      sender_(other.sender_),
      retained_(other.retained_) {}

void MessageParser::receive_data(std::string device_id, std::span<const std::uint8_t> data) {
  if (data.empty()) {
    OVIK_LOG(Error, kMsgParserTarget, "Data should not be empty");
    return;
  }
  if (!reader_.fits(data.size())) {
    OVIK_LOG(Error, kMsgParserTarget, "Buffer is out of space. (BUFFER_MAX_SIZE = {}), buffer length: {}, data len: {}",
             BUFFER_MAX_SIZE, reader_.buffered(), data.size());
    reader_.clear();
    return;
  }
  device_id_ = std::move(device_id);
  reader_.append(data);
  hook_ = message_hook();
  handed_ = false;
  {
    // The chunk's records are written together, before its deliveries begin.
    log::DeferredScope deferred;
    reader_.scan(*this);
  }
  if (handed_ && hook_ && hook_->chunk_done) hook_->chunk_done();
}

bool MessageParser::on_frame(const Frame& frame) {
  std::shared_ptr<ResultBlock> block;
  Result<OvikMessage> message = [&]() -> Result<OvikMessage> {
    if (frame.header_version != 2) return Failure{unsupported_header_version(msg_type_, frame.header_version)};
    OVIK_LOG(Trace, kMsgParserTarget, "Source module: {}, Destination module: {}, payload: {:?}", frame.source_module,
             frame.destination_module, byte_list(frame.payload));
    if (msg_type_ != MsgType::Ovik) return Failure{unknown_proto_type(msg_type_)};
    block = std::make_shared<ResultBlock>();
    return decode_message(frame.source_module, frame.destination_module, frame.payload, &block->arena());
  }();
  if (!message) {
    OVIK_LOG(Error, kMsgParserTarget, "Failed to parse message, error: {}", message.error().message());
    return false;
  }
  const ParseResult& decoded = block->emplace(device_id_, std::move(*message));
  std::shared_ptr<const ParseResult> result(std::move(block), &decoded);
  handle_received_message(hook_, result);
  handed_ = true;
  sender_.publish(result);
  retained_.hold(std::move(result));
  return true;
}

}  // namespace ovik::proto
