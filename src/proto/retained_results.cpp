#include "proto/retained_results.hpp"

#include "proto/prefetch.hpp"

namespace ovik::proto {

namespace {

// How many holds ahead of its release a result's block is fetched, and how
// much of it: the counts, the result and the arena space a sensor message
// fills.
constexpr std::size_t kAhead = 8;
constexpr std::size_t kLines = 8;

}  // namespace

void RetainedResults::hold(std::shared_ptr<const ParseResult> result) {
  // The ring grows to its capacity as results come: a parser that publishes
  // little never holds room for thousands.
  if (ring_.size() < capacity_) {
    ring_.push_back(std::move(result));
    return;
  }
  prefetch_owner(ring_[(next_ + kAhead) % capacity_], kLines);
  ring_[next_] = std::move(result);
  next_ = (next_ + 1) % capacity_;
}

}  // namespace ovik::proto
