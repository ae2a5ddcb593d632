#include "proto/message_parse_error.hpp"

#include <fmt/format.h>

namespace ovik::proto {

Error unknown_proto_type(MsgType type) { return Error(fmt::format("UnknownProtoType({})", type)); }

Error unsupported_header_version(MsgType type, std::uint8_t version) {
  return Error(fmt::format("UnsupportedHeaderVersion({}, {})", type, version));
}

Error invalid_destination_module(MsgType type, std::uint8_t destination) {
  return Error(fmt::format("InvalidDestinationModule({}, {})", type, destination));
}

Error invalid_module(MsgType type, std::uint8_t source, std::uint8_t destination) {
  return Error(fmt::format("InvalidModule({}, {}, {})", type, source, destination));
}

Error decoding_error(const Error& codec_error) { return Error(fmt::format("DecodingError({})", codec_error.message())); }

}  // namespace ovik::proto
