#pragma once
// One block per published result: the result itself and the arena that its
// message's parts are decoded into, so that a typical sensor frame costs the
// parser a single allocation and is released in one step. The result comes
// first and the arena's space after it: a small message touches the block
// from its start, in as few cache lines as it needs.
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "proto/parse_result.hpp"
#include "schema/arena.hpp"

namespace ovik::proto {

class ResultBlock {
 public:
  // Room for the parts of the sensor messages a kit streams (an IMU sample
  // set, eight EMG channels); a larger message continues on the heap.
  static constexpr std::size_t kArenaBytes = 448;

  ResultBlock() : arena_(space_, sizeof space_) {}
  ResultBlock(const ResultBlock&) = delete;
  ResultBlock& operator=(const ResultBlock&) = delete;

  schema::Arena& arena() { return arena_; }

  // Once, with the message decoded into arena().
  const ParseResult& emplace(std::string device_id, OvikMessage&& message) {
    return result_.emplace(std::move(device_id), std::move(message));
  }

 private:
  schema::Arena arena_;
  // Destroyed before the arena its parts live in.
  std::optional<ParseResult> result_;
  alignas(std::max_align_t) std::byte space_[kArenaBytes];
};

}  // namespace ovik::proto
