#pragma once
// The two frame checksums: CRC-16/MODBUS for header versions 1 and 2, and a
// CRC-32/MPEG-2 run over little-endian 32-bit words for header version 0.
#include <cstdint>
#include <span>

namespace ovik::proto {

std::uint16_t crc16_modbus(std::span<const std::uint8_t> bytes);

// `bytes.size()` must be a multiple of 4 (frames pad to it); trailing bytes
// of an incomplete word are ignored.
std::uint32_t crc32_words(std::span<const std::uint8_t> bytes);

}  // namespace ovik::proto
