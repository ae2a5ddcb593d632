#include "proto/decode_message.hpp"

#include "log/log.hpp"
#include "proto/byte_list.hpp"
#include "proto/message_parse_error.hpp"
#include "proto/route_flag.hpp"
#include "schema/decode.hpp"

namespace ovik::proto {

namespace {

constexpr auto kDongle = static_cast<std::uint8_t>(OvikModuleId::DONGLE);
constexpr auto kDevice = static_cast<std::uint8_t>(OvikModuleId::DEVICE);

template <class T>
Result<OvikMessage> decode_as(std::span<const std::uint8_t> payload, schema::Arena* arena) {
  Result<T> decoded = schema::decode<T>(payload, arena);
  if (!decoded) {
    OVIK_LOG(Error, kEnumsTarget, "Decoding error for type {}: {:?}", schema::descriptor_of<T>().full_name,
             byte_list(payload));
    return Failure{decoding_error(decoded.error())};
  }
  return Result<OvikMessage>(std::move(*decoded));
}

bool is_dongle_or_device(std::uint8_t module) { return module == kDongle || module == kDevice; }

}  // namespace

Result<OvikMessage> decode_message(std::uint8_t source, std::uint8_t destination,
                                   std::span<const std::uint8_t> payload, schema::Arena* arena) {
  const bool via_mcu = VIA_MCU_FLAG.load(std::memory_order_acquire);
  // The source decides first: a frame from the dongle or the device goes to
  // the host whatever its destination byte says, unless that names the other.
  if (is_dongle_or_device(source)) {
    if (is_dongle_or_device(destination)) return Failure{invalid_module(MsgType::Ovik, source, destination)};
    if (source == kDongle) return decode_as<schema::DongleApp>(payload, arena);
    return via_mcu ? decode_as<schema::ControlBoxToApp>(payload, arena)
                   : decode_as<schema::SensorApp>(payload, arena);
  }
  if (destination == kDongle) return decode_as<schema::AppDongle>(payload, arena);
  if (destination == kDevice)
    return via_mcu ? decode_as<schema::AppToControlBox>(payload, arena)
                   : decode_as<schema::AppSensor>(payload, arena);
  return Failure{invalid_destination_module(MsgType::Ovik, destination)};
}

}  // namespace ovik::proto
