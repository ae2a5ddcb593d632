#pragma once
// MessageParseError: why a checksum-valid frame gave no message. Each variant
// is an `ovik::Error` whose text is the variant's debug form, the text the
// parser logs: "InvalidModule(Ovik, 2, 3)", "UnsupportedHeaderVersion(Quorix, 1)",
// "UnknownProtoType(Narvel)", "DecodingError(<the codec's error>)".
#include <cstdint>

#include "common/error.hpp"
#include "proto/msg_type.hpp"

namespace ovik::proto {

// A header-version-2 frame reached a parser built for another project id.
Error unknown_proto_type(MsgType type);
// A frame of a header version the kit does not decode (anything but 2).
Error unsupported_header_version(MsgType type, std::uint8_t version);
// A frame from the host side to neither the dongle nor the device.
Error invalid_destination_module(MsgType type, std::uint8_t destination);
// A frame between the dongle and the device.
Error invalid_module(MsgType type, std::uint8_t source, std::uint8_t destination);
// The payload does not decode as the message its route names.
Error decoding_error(const Error& codec_error);

}  // namespace ovik::proto
