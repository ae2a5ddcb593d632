#include "python/py/gil.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/global.hpp"

namespace ovik::py {

namespace detail {
thread_local int t_held = 0;
thread_local int t_foreign = 0;
thread_local bool t_lost = false;
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
  if (!detail::t_lost) PyGILState_Release(state_);
  detail::leave_foreign_section();
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
