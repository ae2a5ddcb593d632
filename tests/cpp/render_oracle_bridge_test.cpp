// Bridge between our renderings and the JSON oracle of tests/python/oracle
// (test_json_oracle.py), which runs this test with two files named in the
// environment; under plain ctest it is skipped.
//
// OVIK_RENDER_BRIDGE_IN holds requests back to back, each a message name
// (one length byte, then the name) and a payload (four bytes of length,
// little-endian, then the payload). For each request one line is written to
// OVIK_RENDER_BRIDGE_OUT: "json <text>" with the message's JSON text,
// "invalid <text>" when the rendering failed, or "undecodable <text>".
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "schema/decode.hpp"
#include "schema/json_writer.hpp"

namespace ovik::schema {
namespace {

template <ProtoMessage M>
std::string answer(std::span<const std::uint8_t> payload) {
  auto message = decode<M>(payload);
  if (!message) return "undecodable " + message.error().message();
  auto text = to_json(*message);
  return text ? "json " + *text : "invalid " + text.error().message();
}

std::string answer(std::string_view name, std::span<const std::uint8_t> payload) {
  std::string line = "unknown message " + std::string(name);
  AllMessages::for_each([&](auto type) {
    using M = typename decltype(type)::type;
    if (descriptor_of<M>().name == name) line = answer<M>(payload);
  });
  return line;
}

TEST(RenderOracleBridge, AnswersEveryRequest) {
  const char* in_path = std::getenv("OVIK_RENDER_BRIDGE_IN");
  const char* out_path = std::getenv("OVIK_RENDER_BRIDGE_OUT");
  if (in_path == nullptr || out_path == nullptr) GTEST_SKIP() << "run by tests/python/oracle/test_json_oracle.py";

  std::ifstream in(in_path, std::ios::binary);
  const std::vector<std::uint8_t> requests{std::istreambuf_iterator<char>(in), {}};
  std::ofstream out(out_path, std::ios::binary);
  std::size_t pos = 0;
  while (pos < requests.size()) {
    const std::size_t name_size = requests[pos++];
    ASSERT_LE(pos + name_size + 4, requests.size());
    const std::string name(requests.begin() + pos, requests.begin() + pos + name_size);
    pos += name_size;
    std::size_t size = 0;
    for (int i = 3; i >= 0; --i) size = size << 8 | requests[pos + i];
    pos += 4;
    ASSERT_LE(pos + size, requests.size());
    out << answer(name, std::span(requests).subspan(pos, size)) << '\n';
    pos += size;
  }
  ASSERT_TRUE(out.flush());
}

}  // namespace
}  // namespace ovik::schema
