#pragma once
// Reading a parser's results in tests, without waiting.
#include <ostream>
#include <vector>

#include "proto/message_parser.hpp"
#include "schema/debug_writer.hpp"

namespace ovik::test {

// Every result published and not yet read; a lag fails the test.
std::vector<proto::ParseResult> drain(proto::ParseResultChannel::Receiver& receiver);

// True once every sender is gone and everything held has been read.
bool ended(proto::ParseResultChannel::Receiver& receiver);

}  // namespace ovik::test

namespace ovik::schema {
// gtest prints messages by their debug text.
template <ProtoMessage M>
void PrintTo(const M& message, std::ostream* out) {
  *out << to_debug(message);
}
}  // namespace ovik::schema
