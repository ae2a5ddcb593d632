#pragma once
#include <atomic>
#include <cstddef>
#include <mutex>

namespace ovik::proto {

// VIA_MCU_FLAG: while set, the host talks to the device through the control
// box's microcontroller, so device replies decode as `ControlBoxToApp` and
// device requests are built as `AppToControlBox`. Readers load it once per
// frame or request (acquire); only the firmware update stores it (release),
// through a RouteFlagLease.
// Constant-initialised and trivially destructible: it exists before first
// use and outlives every thread.
inline std::atomic<bool> VIA_MCU_FLAG{false};

// Holds VIA_MCU_FLAG at a route for the life of one firmware update. Leases
// are counted process-wide: the first to begin remembers the value from
// before, each new one stores its own value, and the last to end puts the
// remembered value back. (Each update restoring what it saw itself would,
// when two overlap, end with the other's route left set.)
class RouteFlagLease {
 public:
  explicit RouteFlagLease(bool via_mcu) {
    std::lock_guard lock(state().mutex);
    if (state().holders++ == 0) state().before = VIA_MCU_FLAG.load(std::memory_order_acquire);
    VIA_MCU_FLAG.store(via_mcu, std::memory_order_release);
  }
  ~RouteFlagLease() {
    std::lock_guard lock(state().mutex);
    if (--state().holders == 0) VIA_MCU_FLAG.store(state().before, std::memory_order_release);
  }
  RouteFlagLease(const RouteFlagLease&) = delete;
  RouteFlagLease& operator=(const RouteFlagLease&) = delete;

 private:
  struct State {
    std::mutex mutex;
    std::size_t holders = 0;
    bool before = false;
  };
  // Leaked: a lease may end on a thread that outlives static destructors.
  static State& state() {
    static State* shared = new State;
    return *shared;
  }
};

}  // namespace ovik::proto
