#pragma once
#include <cstddef>
#include <cstdint>

namespace ovik::dfu {

struct DfuConfig {
  std::size_t chunk_size = 512;
  std::uint64_t response_timeout_ms = 10000;  // each reply of the upload loop
  std::uint64_t start_timeout_ms = 30000;     // the first reply after the start message
  std::uint64_t reboot_delay_secs = 10;       // slept after the reboot message
  bool verbose = false;                       // carried, not read
  bool via_mcu = false;                       // the route for the update's duration
};

// A chunk message adds at most 26 bytes to its data (msg_id, the OtaConfig
// and OtaData keys and lengths, the offset and the finished flag), and a
// frame's payload length field holds at most 65,535.
inline constexpr std::size_t kMaxChunkSize = 65535 - 26;

// Offsets and the announced size are 32-bit on the wire.
inline constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFu;

inline constexpr std::uint32_t kDfuBaudRate = 115200;

}  // namespace ovik::dfu
