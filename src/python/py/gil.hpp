#pragma once
// Who holds the interpreter lock, as far as this module knows.
//
// The limited API has no PyGILState_Check, so the module tracks it: a thread
// holds the lock while it runs inside a call from the interpreter (the call
// boundary) or inside `with_gil`. The tracking is conservative: it may say
// "not held" where the lock is held (a release is then only deferred), never
// the reverse.
//
// Shutdown: the module's atexit hook ends the time in which threads that do
// not belong to the interpreter (runtime workers, blocking threads) may take
// the lock. A thread that takes the lock after the interpreter began to
// finalise is ended by the interpreter with a forced unwind; after the hook no
// such thread asks for it.
#include <cxxabi.h>

#include <chrono>
#include <utility>

#include "python/py/python.hpp"
#include "runtime/forced_unwind.hpp"

namespace ovik::py {

namespace detail {
extern thread_local int t_held;     // nesting of lock holds known on this thread
extern thread_local int t_foreign;  // of those, taken by `with_gil` on a thread that held nothing
extern thread_local bool t_lost;    // the interpreter ended this thread inside Python code
extern thread_local bool t_keep_state;  // the thread's Python thread state is to outlive each hold
extern thread_local bool t_state_kept;  // ... and it does
bool enter_foreign_section();
void leave_foreign_section();
}  // namespace detail

// True when this thread may touch reference counts now.
bool gil_held();

// Marks the calling thread as holding the lock for the scope: the call
// boundary opens one for every entry from the interpreter.
class HeldScope {
 public:
  HeldScope() { ++detail::t_held; }
  ~HeldScope() { --detail::t_held; }
  HeldScope(const HeldScope&) = delete;
  HeldScope& operator=(const HeldScope&) = delete;
};

void drain_pending_releases();

// Runs `f` into the interpreter (a call that may run arbitrary Python code).
// Should the interpreter end the thread inside it, the thread is marked so
// that the destructors that run during that unwind leave Python alone.
template <class F>
OVIK_CATCHES_FORCED_UNWIND decltype(auto) interpreter_call(F&& f) {
  try {
    return std::forward<F>(f)();
  } catch (abi::__forced_unwind&) {
    detail::t_lost = true;
    throw;
  }
}

// The interpreter lock taken by a thread that does not hold it, for a scope
// that may let go of it and take it again (a run of callback calls).
class ForeignHold {
 public:
  ForeignHold() = default;
  ForeignHold(const ForeignHold&) = delete;
  ForeignHold& operator=(const ForeignHold&) = delete;
  ~ForeignHold() { release(); }

  // Takes the lock; false, taking nothing, once the shutdown hook has run.
  bool acquire();
  // Gives it back, unless the interpreter ended the thread while it held it.
  void release();
  bool held() const { return held_; }

 private:
  PyGILState_STATE state_{};
  bool held_ = false;
};

// Makes the next acquisition on this thread create a Python thread state that
// stays for the thread's life: later acquisitions attach it again instead of
// making a new one each time (a map and an unmap of 16 KiB each, with a TLB
// shootdown on every core). For threads that live as long as the process: the
// state of a thread that ends stays behind until the interpreter ends.
inline void keep_thread_state() { detail::t_keep_state = true; }

// A Python thread that keeps calling into the module holds the lock for
// whole switch intervals (5 ms), while threads of the module that wait for
// it (deliveries of callbacks) fall behind. Asked for inside a call from the
// interpreter (elsewhere the request is ignored), the hand-off makes the
// call boundary, once the call's body is done and its borrows are let go,
// give the lock away until a foreign thread has taken it or given it back
// (or for `longest_wait` at most) and then take it back.
void request_lock_hand_off(std::chrono::microseconds longest_wait);
void hand_off_requested_lock();

// Runs `f` holding the interpreter lock, taking it if this thread does not
// hold it. Returns false without running `f` when the thread would have to
// take the lock after the shutdown hook has run.
template <class F>
bool with_gil(F&& f) {
  if (detail::t_held > 0) {
    std::forward<F>(f)();
    return true;
  }
  ForeignHold hold;
  if (!hold.acquire()) return false;
  interpreter_call([&] {
    drain_pending_releases();
    std::forward<F>(f)();
  });
  return true;
}

// Called by the atexit hook, holding the lock: from now on no foreign thread
// takes the lock. Lets the sections already under way finish, waiting at most
// `grace` with the lock released.
void begin_shutdown(std::chrono::milliseconds grace);
bool shutdown_begun();
// True on the thread that ran the shutdown hook (the one that finalises).
bool on_shutdown_thread();

}  // namespace ovik::py
