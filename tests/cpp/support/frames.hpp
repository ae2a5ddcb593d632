#pragma once
// Frames built for tests straight from the wire layouts, with bitwise
// checksums, independently of the product's frame writer and tables.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ovik::test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(std::string_view text);
// "08 01 ca": hexadecimal digits, blanks between bytes allowed.
Bytes hex(std::string_view text);
// Upper-case digits, one blank between bytes.
std::string to_hex(std::span<const std::uint8_t> bytes);
Bytes concat(std::initializer_list<std::span<const std::uint8_t>> parts);

// Bit by bit, as the algorithms are defined.
std::uint16_t reference_crc16_modbus(std::span<const std::uint8_t> bytes);
// CRC-32/MPEG-2 over the bytes with each group of four reversed.
std::uint32_t reference_crc32_words(std::span<const std::uint8_t> bytes);

// Header version 2: "QOVA", 2, project, [1 for the 7-byte prefixes], length
// (LE), source, destination, payload version, payload, CRC-16 (LE).
Bytes frame_v2(std::uint8_t project, std::uint8_t source, std::uint8_t destination,
               std::span<const std::uint8_t> payload, bool seven_byte_prefix = false);
// The kit's own layout: project 12, 6-byte prefix.
Bytes ovik_frame(std::uint8_t source, std::uint8_t destination, std::span<const std::uint8_t> payload);
// Header version 1: "QOVA", 1, project, length (LE), payload, CRC-16 (LE).
Bytes frame_v1(std::uint8_t project, std::span<const std::uint8_t> payload);
// "ZoTK", two free bytes, length (BE), payload, padding to 4, CRC-32 (BE).
Bytes frame_zotk(std::span<const std::uint8_t> payload);
// Project 0: "QOVA", 0, 0, length (BE) where the counted bytes start at the
// prefix, so the frame carries `tail` after those 8 bytes; padding; CRC-32.
Bytes frame_project0(std::span<const std::uint8_t> tail);

}  // namespace ovik::test
