#include "support/frame_stream.hpp"

#include <gtest/gtest.h>

namespace ovik::test {

std::vector<proto::ParseResult> drain(proto::ParseResultChannel::Receiver& receiver) {
  std::vector<proto::ParseResult> results;
  for (;;) {
    auto read = receiver.try_recv();
    if (read.status == runtime::RecvStatus::Lagged) ADD_FAILURE() << "lagged by " << read.missed;
    if (read.status != runtime::RecvStatus::Value) break;
    results.push_back(*read.value);
  }
  return results;
}

bool ended(proto::ParseResultChannel::Receiver& receiver) {
  return receiver.try_recv().status == runtime::RecvStatus::Closed;
}

}  // namespace ovik::test
