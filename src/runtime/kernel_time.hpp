#pragma once
// A duration as the kernel's time calls take it.
#include <chrono>
#include <ctime>

namespace ovik::runtime {

inline timespec to_timespec(std::chrono::nanoseconds duration) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(duration);
  return {static_cast<time_t>(seconds.count()), static_cast<long>((duration - seconds).count())};
}

}  // namespace ovik::runtime
