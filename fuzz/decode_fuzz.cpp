// Fuzzes the decoders of the six top-level messages. The first byte picks the
// message type, the rest is the payload. Whatever decodes must re-encode to a
// payload that decodes again, and encoding must be a fixed point from there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "schema/decode.hpp"
#include "schema/encode.hpp"
#include "schema/wire.hpp"

namespace {

using namespace ovik::schema;

void check(bool condition) {
  if (!condition) std::abort();
}

template <class T>
void round_trip(std::span<const std::uint8_t> payload) {
  ovik::Result<T> message = decode<T>(payload);
  if (!message) return;
  const std::size_t size = encoded_size(*message);
  ovik::Result<std::vector<std::uint8_t>> bytes = encode(*message);
  if (!bytes) {
    check(size > wire::kMaxPayloadSize);
    return;
  }
  check(bytes->size() == size);
  ovik::Result<T> again = decode<T>(*bytes);
  check(again.has_value());
  ovik::Result<std::vector<std::uint8_t>> bytes_again = encode(*again);
  check(bytes_again.has_value() && *bytes_again == *bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> payload(data + 1, size - 1);
  switch (data[0] % TopLevelMessages::size) {
    case 0: round_trip<AppDongle>(payload); break;
    case 1: round_trip<DongleApp>(payload); break;
    case 2: round_trip<AppSensor>(payload); break;
    case 3: round_trip<SensorApp>(payload); break;
    case 4: round_trip<AppToControlBox>(payload); break;
    default: round_trip<ControlBoxToApp>(payload); break;
  }
  return 0;
}
