// Checksums, project ids, the header rule and the frame writer.
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "proto/crc.hpp"
#include "proto/frame_writer.hpp"
#include "proto/msg_type.hpp"
#include "support/frames.hpp"

namespace ovik::proto {
namespace {

using test::Bytes;
using test::bytes_of;

Bytes from_hex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}

Bytes counting(std::uint8_t first, std::size_t count) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(first + i);
  return out;
}

TEST(Crc, GoldenValues) {
  EXPECT_EQ(crc16_modbus(bytes_of("123456789")), 0x4B37);
  EXPECT_EQ(crc16_modbus({}), 0xFFFF);
  EXPECT_EQ(crc32_words(counting(1, 16)), 0x550D4818u);
  EXPECT_EQ(crc32_words({}), 0xFFFFFFFFu);
}

// Computed with Python's crcmod: CRC-16/MODBUS over the bytes, and
// CRC-32/MPEG-2 over the whole words of the bytes with each word reversed.
TEST(Crc, EqualsCrcmodOnRandomData) {
  struct Vector {
    const char* hex;
    std::uint16_t crc16;
    std::uint32_t crc32;
  };
  const Vector vectors[] = {
      {"23", 0x99FE, 0xFFFFFFFF},
      {"8aa2b2", 0x3FA9, 0xFFFFFFFF},
      {"c67d0be89d1eee", 0x423F, 0x8493800C},
      {"ffa44dce9ecb686854268945c6b400f6", 0x6D92, 0x8C254C1B},
      {"0b755e8864962564f4222e3cdb3598f1cde2c258090f4d0d1b8d663df2a6ef", 0x24BE, 0xC4BCEEB2},
      {"33b63a1c481a364704e3e27448d37bc7acfa385efc7abf63046deac4dad97a473e1f6cc30115cc02ece5c2bd00a2bea899a8b7f4e0f"
       "33c4ed91df6d66b392c21",
       0x3259, 0xE5E9F9A6},
      {"b9263b977d4555885165a61c4131a0ff62f8eb3f957bec0e0654ff1c56b685904f218ba4b73c3eac3e39329f746e27af94a0c41221a"
       "84e311e2a8c6a7391b57e760061a3b26a1b531c153670235c91a7d3f669364024c97c83519b976f428139b654ca65",
       0xBA8C, 0xBB917FDC},
      {"1d7ff74be3c09bc8acf78b121fb3f1ec277313342d28c5a000259fb2763ad58474ec9c2fc33c3b3e1bbe852b03acccb0263b5131a9a"
       "a7eaa670930a5125c417db84afeb4bd219b4532feef8769106976e06ee87162ff7d760edb5cf5926994d0db8801f4fcd25cffc1f0d4e"
       "884c5f9d3635367939dca5fa0c3d2532fd7fe907191e19913ecef8d1ffe547d77b212646c5e66229fe526eddd1e1e4397e00abcc084e"
       "eaf315ad2c6cb1d6c322043d0f75ac7e4438ab606e09f7fa14089a8d799c346ef12b6cb85df6118cff4ed030815c858931042b8002e0"
       "5898c7441aa5c9f36c1058983c009a2480e1df348431307bd2ba4a3e10c7d43a134b7b94d5f5b9f11f6",
       0x395B, 0x34049592},
  };
  for (const Vector& v : vectors) {
    Bytes data = from_hex(v.hex);
    EXPECT_EQ(crc16_modbus(data), v.crc16) << v.hex;
    EXPECT_EQ(crc32_words(std::span(data).first(data.size() / 4 * 4)), v.crc32) << v.hex;
  }
}

TEST(Crc, TableFormsEqualTheBitwiseDefinitions) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    Bytes data(rng() % 300);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(rng());
    ASSERT_EQ(crc16_modbus(data), test::reference_crc16_modbus(data));
    auto words = std::span(data).first(data.size() / 4 * 4);
    ASSERT_EQ(crc32_words(words), test::reference_crc32_words(words));
  }
}

TEST(MsgTypeName, EveryProjectId) {
  const char* names[] = {"Veltra", "Quorix", "Dremlo", "Santel", "SantelV1_5", "Pirrow", "PirrowV2", "Tesk", "JOL",
                         "Umbrel", "Kavot",  "Narvel", "Ovik",   "Dovin",      "",       "Sarrow",   "Ilvo"};
  for (unsigned v = 0; v < 17; ++v) {
    EXPECT_EQ(fmt::format("{}", static_cast<MsgType>(v)), names[v]) << v;
  }
  EXPECT_EQ(fmt::format("{}", static_cast<MsgType>(200)), "");
  EXPECT_EQ(static_cast<int>(OvikModuleId::APP), 1);
  EXPECT_EQ(static_cast<int>(OvikModuleId::DONGLE), 2);
  EXPECT_EQ(static_cast<int>(OvikModuleId::DEVICE), 3);
}

TEST(HeaderRule, AllSeventeenProjectIds) {
  struct Row {
    Bytes prefix;
    int version;
    int header_length;
    int project_id;
    bool zotk;
  };
  auto qova = [](std::initializer_list<std::uint8_t> tail) { return test::concat({bytes_of("QOVA"), Bytes(tail)}); };
  const Row rows[17] = {
      {qova({0, 0}), 0, 0, 0, false},          {qova({1, 1}), 1, 8, 1, false},
      {qova({2, 2, 1}), 2, 12, 2, false},      {qova({1, 3}), 1, 8, 3, false},
      {qova({1, 4}), 1, 8, 4, false},          {qova({1, 5}), 1, 8, 5, false},
      {qova({1, 6}), 1, 8, 6, false},          {qova({2, 7, 1}), 2, 12, 7, false},
      {qova({2, 8, 1}), 2, 12, 8, false},      {qova({2, 9, 1}), 2, 12, 9, false},
      {bytes_of("ZoTK"), 0, 8, 10, true},      {qova({2, 11}), 2, 11, 11, false},
      {qova({2, 12}), 2, 11, 12, false},       {qova({2, 13, 1}), 2, 12, 13, false},
      {bytes_of("ZoTK"), 0, 8, 10, true},      {qova({2, 15, 1}), 2, 12, 15, false},
      {qova({2, 16, 1}), 2, 12, 16, false},
  };
  for (unsigned v = 0; v < 17; ++v) {
    HeaderRule rule = header_rule(static_cast<MsgType>(v));
    const Row& row = rows[v];
    EXPECT_EQ(Bytes(rule.prefix().begin(), rule.prefix().end()), row.prefix) << v;
    EXPECT_EQ(rule.header_version, row.version) << v;
    EXPECT_EQ(rule.header_length, row.header_length) << v;
    EXPECT_EQ(rule.project_id, row.project_id) << v;
    EXPECT_EQ(rule.zotk, row.zotk) << v;
  }
}

TEST(EncodeFrame, GoldenFrames) {
  Bytes empty = *encode_frame({}, OvikModuleId::DEVICE);
  Bytes head = {'Q', 'O', 'V', 'A', 0x02, 0x0C, 0x00, 0x00, 0x01, 0x03, 0x00};
  std::uint16_t crc = test::reference_crc16_modbus(head);
  head.push_back(static_cast<std::uint8_t>(crc));
  head.push_back(static_cast<std::uint8_t>(crc >> 8));
  EXPECT_EQ(empty, head);

  // START_DATA_STREAM with msg_id 1, as the device receives it.
  const Bytes start = {0x08, 0x01, 0x10, 0x06};
  EXPECT_EQ(*encode_frame(start, OvikModuleId::DEVICE), test::ovik_frame(1, 3, start));
  EXPECT_EQ(*encode_frame(start, OvikModuleId::DONGLE), test::ovik_frame(1, 2, start));

  Bytes big = *encode_frame(Bytes(256, 0xAB), OvikModuleId::DEVICE);
  ASSERT_EQ(big.size(), 13u + 256u);
  EXPECT_EQ(big[6], 0x00);
  EXPECT_EQ(big[7], 0x01);
  EXPECT_EQ(big, test::ovik_frame(1, 3, Bytes(256, 0xAB)));
}

TEST(EncodeFrame, LengthFieldLimits) {
  Bytes largest = *encode_frame(Bytes(65535, 1), OvikModuleId::DEVICE);
  EXPECT_EQ(largest.size(), 13u + 65535u);
  EXPECT_EQ(largest[6], 0xFF);
  EXPECT_EQ(largest[7], 0xFF);

  auto refused = encode_frame(Bytes(65536, 1), OvikModuleId::DEVICE);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "Payload of 65536 bytes does not fit in a frame (at most 65535 bytes)");
}

}  // namespace
}  // namespace ovik::proto
