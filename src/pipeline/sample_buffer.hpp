#pragma once
// One capped buffer of sample records, oldest first, behind a mutex of its
// own. After every append it holds at most its capacity (read at that append,
// under the buffer's mutex).
#include <algorithm>
#include <cstddef>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "pipeline/buffer_caps.hpp"
#include "proto/prefetch.hpp"

namespace ovik::pipeline {

// A buffer at its capacity drops, at every append, a record appended a
// thousand messages earlier, whose owner's counts are cold by then: they are
// fetched a few appends ahead.
template <class Record>
void prefetch_release(const Record&) {}

template <class T>
void prefetch_release(const std::shared_ptr<const T>& record) {
  proto::prefetch_owner(record, 1);
}

template <class Record>
class SampleBuffer {
 public:
  explicit SampleBuffer(BufferCap cap) : cap_(cap) {}
  SampleBuffer(const SampleBuffer&) = delete;
  SampleBuffer& operator=(const SampleBuffer&) = delete;

  // Appends and trims, then runs `then(appended_record)` still under the
  // buffer's mutex, so that what leaves for one buffer leaves in append order.
  template <class Then>
  void append(Record record, Then&& then) {
    std::lock_guard lock(mutex_);
    records_.push_back(record);
    // `record` stays alive for `then`: a capacity of 0 trims what was just
    // appended.
    trim();
    if (records_.size() > kReleaseAhead) prefetch_release(records_[kReleaseAhead]);
    then(std::as_const(record));
  }
  void append(Record record) {
    append(std::move(record), [](const Record&) {});
  }

  // Runs `use(newest)` under the mutex; `newest` is null when the buffer is
  // empty.
  template <class Use>
  decltype(auto) with_newest(Use&& use) const {
    std::lock_guard lock(mutex_);
    return use(records_.empty() ? nullptr : &records_.back());
  }

  // The newest min(count, size) records, oldest of them first. `clean`
  // empties the buffer; otherwise exactly the records returned are removed and
  // the older ones stay for a later call.
  std::vector<Record> take(std::size_t count, bool clean) {
    std::vector<Record> taken;
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(count, records_.size());
    const auto first = records_.end() - static_cast<std::ptrdiff_t>(n);
    taken.assign(std::make_move_iterator(first), std::make_move_iterator(records_.end()));
    if (clean) {
      records_.clear();
    } else {
      records_.erase(first, records_.end());
    }
    return taken;
  }

  void clear() {
    std::deque<Record> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(records_);
  }

  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return records_.size();
  }

 private:
  static constexpr std::size_t kReleaseAhead = 4;

  void trim() {
    const std::size_t cap = buffer_cap(cap_);
    while (records_.size() > cap) records_.pop_front();
  }

  const BufferCap cap_;
  mutable std::mutex mutex_;
  std::deque<Record> records_;
};

}  // namespace ovik::pipeline
