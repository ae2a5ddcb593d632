#pragma once
// The device drives the offsets and the host answers every request, so a
// device that keeps asking for the same offset, or goes back, would keep the
// update sending forever. This watches the highest offset asked for: repeats
// are answered until it has not risen for the reply timeout.
#include <chrono>
#include <cstdint>

namespace ovik::dfu {

class OffsetWatch {
 public:
  using Clock = std::chrono::steady_clock;

  OffsetWatch(std::uint32_t first_offset, Clock::time_point now) : highest_(first_offset), risen_at_(now) {}

  // Notes a request for `offset` at `now`; false once the highest offset has
  // not risen for more than `timeout_ms` before `now`.
  bool advancing(std::uint32_t offset, Clock::time_point now, std::uint64_t timeout_ms);

  std::uint32_t highest() const { return highest_; }

 private:
  std::uint32_t highest_;
  Clock::time_point risen_at_;
};

}  // namespace ovik::dfu
