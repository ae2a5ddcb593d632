#pragma once
// Parks one thread until another signals it: a futex word, so a signal costs
// one system call only when the thread is actually asleep, and waiting never
// spins (a spinning sleeper burns the CPU that a rarely woken thread is
// meant to save).
#include <atomic>
#include <cstdint>

#include "runtime/futex.hpp"

namespace ovik::runtime {

class WakeFlag {
 public:
  // `signalled`: the first wait returns at once.
  explicit WakeFlag(bool signalled = false) : state_(signalled ? kSignalled : kEmpty) {}
  WakeFlag(const WakeFlag&) = delete;
  WakeFlag& operator=(const WakeFlag&) = delete;

  // Returns once signalled, consuming the signal. One waiting thread at most.
  void wait() {
    std::uint32_t expected = kEmpty;
    if (state_.compare_exchange_strong(expected, kAsleep, std::memory_order_acquire)) {
      do {
        futex_wait(state_, kAsleep);
      } while (state_.load(std::memory_order_acquire) == kAsleep);
    }
    state_.store(kEmpty, std::memory_order_relaxed);
  }

  // From any thread; signals given before the wait are kept (once).
  void signal() {
    if (state_.exchange(kSignalled, std::memory_order_release) == kAsleep) futex_wake(state_, 1);
  }

 private:
  static constexpr std::uint32_t kEmpty = 0, kSignalled = 1, kAsleep = 2;

  std::atomic<std::uint32_t> state_;
};

}  // namespace ovik::runtime
