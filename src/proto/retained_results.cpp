#include "proto/retained_results.hpp"

#include <variant>

#include "proto/prefetch.hpp"

namespace ovik::proto {

namespace {

// How many holds ahead of its release a result's memory is fetched: its own
// lines first, then the blocks it points to, then the blocks those point to.
constexpr std::size_t kObjectAhead = 12;
constexpr std::size_t kBlocksAhead = 8;
constexpr std::size_t kInnerBlocksAhead = 4;

void prefetch_blocks(const ParseResult& result, bool inner) {
  std::visit([&](const auto& message) { proto::prefetch_blocks(message, inner); }, result.message);
}

}  // namespace

void RetainedResults::hold(std::shared_ptr<const ParseResult> result) {
  if (ring_.empty()) ring_.resize(capacity_);
  const auto ahead = [&](std::size_t n) -> const ParseResult* { return ring_[(next_ + n) % capacity_].get(); };
  if (const ParseResult* soon = ahead(kObjectAhead)) prefetch_object(*soon);
  if (const ParseResult* sooner = ahead(kBlocksAhead)) prefetch_blocks(*sooner, false);
  if (const ParseResult* next = ahead(kInnerBlocksAhead)) prefetch_blocks(*next, true);
  ring_[next_] = std::move(result);
  next_ = (next_ + 1) % capacity_;
}

}  // namespace ovik::proto
