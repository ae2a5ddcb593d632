#pragma once
#include <string>
#include <utility>

#include "proto/ovik_message.hpp"

namespace ovik::proto {

// One decoded frame as the parser publishes it.
struct ParseResult {
  ParseResult(std::string device_id_, OvikMessage&& message_)
      : device_id(std::move(device_id_)), message(std::move(message_)) {}

  // The parser's device id when the frame was decoded.
  std::string device_id;
  OvikMessage message;
};

}  // namespace ovik::proto
