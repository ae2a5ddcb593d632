#pragma once
// The parser's own hold on what it published, for as long as the channel
// keeps it. Each result then leaves through here rather than through the
// channel, and since the parser knows which results are next to go, it
// prefetches their blocks a few publishes ahead: destroying a result
// published 16,384 frames earlier otherwise waits on a cache miss for every
// line of its block.
#include <cstddef>
#include <memory>
#include <vector>

#include "proto/parse_result.hpp"

namespace ovik::proto {

class RetainedResults {
 public:
  explicit RetainedResults(std::size_t capacity) : capacity_(capacity) {}
  // A copy starts empty: it holds what it publishes itself.
  RetainedResults(const RetainedResults& other) : capacity_(other.capacity_) {}
  RetainedResults& operator=(const RetainedResults&) = delete;

  // Holds `result` and releases the one held `capacity` results ago.
  void hold(std::shared_ptr<const ParseResult> result);

 private:
  std::size_t capacity_;
  std::vector<std::shared_ptr<const ParseResult>> ring_;
  std::size_t next_ = 0;
};

}  // namespace ovik::proto
