#include "python/py/gil.hpp"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "common/global.hpp"
#include "runtime/futex.hpp"

namespace ovik::py {

namespace detail {
thread_local int t_held = 0;
thread_local int t_foreign = 0;
thread_local bool t_lost = false;
thread_local bool t_keep_state = false;
thread_local bool t_state_kept = false;
}  // namespace detail

namespace {

struct ShutdownGate {
  std::mutex mutex;
  std::condition_variable idle;
  int active = 0;  // foreign sections entered and not yet left
  bool closed = false;
  std::thread::id closing_thread;
};

Global<ShutdownGate> g_gate;
std::atomic<bool> g_shutdown{false};

// The hand-off: how many times a foreign thread took the lock or gave it
// back (a futex word that the handing thread waits on).
std::atomic<std::uint32_t> g_foreign_hand_overs{0};
std::atomic<int> g_handing_off{0};
thread_local std::optional<std::chrono::microseconds> t_hand_off_requested;

void foreign_hand_over() {
  g_foreign_hand_overs.fetch_add(1, std::memory_order_release);
  if (g_handing_off.load(std::memory_order_acquire) > 0) runtime::futex_wake(g_foreign_hand_overs, INT_MAX);
}

// Without the lock: returns once a foreign thread took the lock or gave it
// back after `before`, or after `longest`.
void wait_for_foreign_hand_over(std::uint32_t before, std::chrono::microseconds longest) {
  const auto deadline = std::chrono::steady_clock::now() + longest;
  g_handing_off.fetch_add(1, std::memory_order_acq_rel);
  while (g_foreign_hand_overs.load(std::memory_order_acquire) == before) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    runtime::futex_wait(g_foreign_hand_overs, before, left);
  }
  g_handing_off.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace

namespace detail {

bool enter_foreign_section() {
  ShutdownGate& gate = g_gate.get();
  std::lock_guard lock(gate.mutex);
  if (gate.closed) return false;
  ++gate.active;
  return true;
}

void leave_foreign_section() {
  ShutdownGate& gate = g_gate.get();
  std::lock_guard lock(gate.mutex);
  if (--gate.active == 0) gate.idle.notify_all();
}

}  // namespace detail

bool ForeignHold::acquire() {
  if (held_) return true;
  if (!detail::enter_foreign_section()) return false;
  state_ = PyGILState_Ensure();
  foreign_hand_over();
  // One more hold that is never given back keeps the thread state that the
  // first one made: each release then detaches it instead of deleting it.
  if (detail::t_keep_state && !std::exchange(detail::t_state_kept, true)) PyGILState_Ensure();
  ++detail::t_held;
  ++detail::t_foreign;
  held_ = true;
  return true;
}

void ForeignHold::release() {
  if (!held_) return;
  held_ = false;
  --detail::t_foreign;
  --detail::t_held;
  // A thread the interpreter ended has no lock to give back.
  if (!detail::t_lost) {
    PyGILState_Release(state_);
    foreign_hand_over();
  }
  detail::leave_foreign_section();
}

void request_lock_hand_off(std::chrono::microseconds longest_wait) {
  if (detail::t_held == 1 && detail::t_foreign == 0) t_hand_off_requested = longest_wait;
}

void hand_off_requested_lock() {
  const std::optional<std::chrono::microseconds> longest_wait = std::exchange(t_hand_off_requested, std::nullopt);
  // Only from the outermost call of an interpreter thread.
  if (!longest_wait || detail::t_held != 1 || shutdown_begun()) return;
  const std::uint32_t before = g_foreign_hand_overs.load(std::memory_order_acquire);
  detail::t_held = 0;
  PyThreadState* state = PyEval_SaveThread();
  wait_for_foreign_hand_over(before, *longest_wait);
  PyEval_RestoreThread(state);
  detail::t_held = 1;
}

bool gil_held() {
  if (detail::t_held == 0 || detail::t_lost) return false;
  // A foreign thread past the hook may be ended at any moment it lets go of
  // the lock; its releases wait for the main thread instead.
  return detail::t_foreign == 0 || !g_shutdown.load(std::memory_order_acquire);
}

void begin_shutdown(std::chrono::milliseconds grace) {
  ShutdownGate& gate = g_gate.get();
  {
    std::lock_guard lock(gate.mutex);
    if (gate.closed) return;
    gate.closed = true;
    gate.closing_thread = std::this_thread::get_id();
    g_shutdown.store(true, std::memory_order_release);
  }
  int held = detail::t_held;
  detail::t_held = 0;
  PyThreadState* state = PyEval_SaveThread();
  {
    std::unique_lock lock(gate.mutex);
    gate.idle.wait_for(lock, grace, [&] { return gate.active == 0; });
  }
  PyEval_RestoreThread(state);
  detail::t_held = held;
}

bool shutdown_begun() { return g_shutdown.load(std::memory_order_acquire); }

bool on_shutdown_thread() {
  if (!shutdown_begun()) return false;
  ShutdownGate& gate = g_gate.get();
  std::lock_guard lock(gate.mutex);
  return gate.closing_thread == std::this_thread::get_id();
}

}  // namespace ovik::py
