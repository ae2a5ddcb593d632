#include "support/frames.hpp"

#include <fmt/format.h>

namespace ovik::test {

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes hex(std::string_view text) {
  Bytes out;
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return out;
}

std::string to_hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::uint8_t byte : bytes) out += fmt::format("{}{:02X}", out.empty() ? "" : " ", byte);
  return out;
}

Bytes concat(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (auto part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::uint16_t reference_crc16_modbus(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint32_t reference_crc32_words(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t group = 0; group + 4 <= bytes.size(); group += 4) {
    for (int k = 3; k >= 0; --k) {
      crc ^= static_cast<std::uint32_t>(bytes[group + static_cast<std::size_t>(k)]) << 24;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
  }
  return crc;
}

namespace {

void push_crc16(Bytes& frame) {
  std::uint16_t crc = reference_crc16_modbus(frame);
  frame.push_back(static_cast<std::uint8_t>(crc));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

void pad_and_push_crc32(Bytes& frame) {
  while (frame.size() % 4 != 0) frame.push_back(0xEE);
  std::uint32_t crc = reference_crc32_words(frame);
  for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<std::uint8_t>(crc >> shift));
}

}  // namespace

Bytes frame_v2(std::uint8_t project, std::uint8_t source, std::uint8_t destination,
               std::span<const std::uint8_t> payload, bool seven_byte_prefix) {
  Bytes frame = bytes_of("QOVA");
  frame.push_back(2);
  frame.push_back(project);
  if (seven_byte_prefix) frame.push_back(1);
  frame.push_back(static_cast<std::uint8_t>(payload.size()));
  frame.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  frame.push_back(source);
  frame.push_back(destination);
  frame.push_back(0);
  frame.insert(frame.end(), payload.begin(), payload.end());
  push_crc16(frame);
  return frame;
}

Bytes ovik_frame(std::uint8_t source, std::uint8_t destination, std::span<const std::uint8_t> payload) {
  return frame_v2(12, source, destination, payload);
}

Bytes frame_v1(std::uint8_t project, std::span<const std::uint8_t> payload) {
  Bytes frame = bytes_of("QOVA");
  frame.push_back(1);
  frame.push_back(project);
  frame.push_back(static_cast<std::uint8_t>(payload.size()));
  frame.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  frame.insert(frame.end(), payload.begin(), payload.end());
  push_crc16(frame);
  return frame;
}

Bytes frame_zotk(std::span<const std::uint8_t> payload) {
  Bytes frame = bytes_of("ZoTK");
  frame.push_back(0xA5);
  frame.push_back(0x5A);
  frame.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  frame.push_back(static_cast<std::uint8_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  pad_and_push_crc32(frame);
  return frame;
}

Bytes frame_project0(std::span<const std::uint8_t> tail) {
  const std::size_t n = 8 + tail.size();
  Bytes frame = bytes_of("QOVA");
  frame.push_back(0);
  frame.push_back(0);
  frame.push_back(static_cast<std::uint8_t>(n >> 8));
  frame.push_back(static_cast<std::uint8_t>(n));
  frame.insert(frame.end(), tail.begin(), tail.end());
  pad_and_push_crc32(frame);
  return frame;
}

}  // namespace ovik::test
