#pragma once
// The kernel's wait on a 32-bit word, for primitives that must not spin:
// `futex_wait` sleeps while `*word == expected` (until woken, for at most
// `timeout` when given), `futex_wake` wakes up to `count` sleepers.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

#include "runtime/kernel_time.hpp"

namespace ovik::runtime {

inline void futex_wait(std::atomic<std::uint32_t>& word, std::uint32_t expected,
                       std::optional<std::chrono::nanoseconds> timeout = std::nullopt) {
  const timespec relative = timeout ? to_timespec(*timeout) : timespec{};
  syscall(SYS_futex, &word, FUTEX_WAIT_PRIVATE, expected, timeout ? &relative : nullptr, nullptr, 0);
}

inline void futex_wake(std::atomic<std::uint32_t>& word, int count) {
  syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

}  // namespace ovik::runtime
