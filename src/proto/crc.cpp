#include "proto/crc.hpp"

#include <array>

namespace ovik::proto {

namespace {

// Eight tables for slicing-by-8: tables[0] is the standard reflected table
// for 0xA001, and tables[k][b] is the register after byte b and then k zero
// bytes. Eight bytes then cost eight independent lookups instead of a chain.
constexpr std::array<std::array<std::uint16_t, 256>, 8> make_crc16_tables() {
  std::array<std::array<std::uint16_t, 256>, 8> tables{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    tables[0][i] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      const std::uint16_t prev = tables[k - 1][i];
      tables[k][i] = static_cast<std::uint16_t>((prev >> 8) ^ tables[0][prev & 0xFF]);
    }
  }
  return tables;
}

constexpr std::array<std::uint32_t, 256> make_crc32_table() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    table[i] = crc;
  }
  return table;
}

constexpr auto kCrc16 = make_crc16_tables();
constexpr auto kCrc32Table = make_crc32_table();

}  // namespace

std::uint16_t crc16_modbus(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFF;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 8; left -= 8, p += 8) {
    const std::uint32_t first = crc ^ (p[0] | static_cast<std::uint32_t>(p[1]) << 8);
    crc = kCrc16[7][first & 0xFF] ^ kCrc16[6][first >> 8] ^ kCrc16[5][p[2]] ^ kCrc16[4][p[3]] ^ kCrc16[3][p[4]] ^
          kCrc16[2][p[5]] ^ kCrc16[1][p[6]] ^ kCrc16[0][p[7]];
  }
  for (; left > 0; --left, ++p) crc = (crc >> 8) ^ kCrc16[0][(crc ^ *p) & 0xFF];
  return static_cast<std::uint16_t>(crc);
}

std::uint32_t crc32_words(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    crc ^= static_cast<std::uint32_t>(bytes[i]) | static_cast<std::uint32_t>(bytes[i + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[i + 2]) << 16 | static_cast<std::uint32_t>(bytes[i + 3]) << 24;
    for (int step = 0; step < 4; ++step) crc = (crc << 8) ^ kCrc32Table[crc >> 24];
  }
  return crc;
}

}  // namespace ovik::proto
