#include "pipeline/delivery_pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/global.hpp"
#include "log/log.hpp"
#include "pipeline/callback_sink.hpp"
#include "pipeline/deadline_watch.hpp"
#include "pipeline/log_targets.hpp"
#include "runtime/wake_flag.hpp"

namespace ovik::pipeline {

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
  runtime::WakeFlag wake{true};  // a new thread is started for work already waiting
  // When the handler the thread is running began (clock ticks); 0 outside one.
  std::atomic<Clock::rep> handler_since{0};
  bool serving = true;  // guarded by the pool's mutex
};

thread_local Worker* t_worker = nullptr;
thread_local bool t_holding = false;     // wake-ups held on this thread
thread_local bool t_wake_owed = false;   // a lane was made ready while they were held
thread_local bool t_backlog = false;     // a lane has grown long since they were held

// A thread to set going once the pool's mutex is let go: signalled under the
// mutex, it would wake only to wait for that mutex.
struct Wake {
  Worker* worker = nullptr;
  bool start = false;  // a new thread for `worker`
};

class Pool {
 public:
  Pool();

  void schedule(std::shared_ptr<DeliveryLane> lane);
  void pay_owed_wake();
  void on_deadline();
  void entered_handler();
  std::optional<Delivering> serving_position();

 private:
  [[noreturn]] void worker_main(Worker& worker);
  std::shared_ptr<DeliveryLane> next_lane(Worker& worker, std::shared_ptr<DeliveryLane> served, bool more);
  Wake wake_if_unserved(Clock::time_point now);
  Wake start_server();
  void set_deadline(Clock::time_point deadline);
  // Runs `decide` under the mutex, then sets going the thread it chose.
  template <class Decide>
  void locked_then_set_going(Decide decide);
  void set_going(Wake wake);

  std::mutex mutex_;
  std::deque<std::shared_ptr<DeliveryLane>> ready_;
  std::atomic<bool> lanes_waiting_{false};  // ready_ is not empty (read without the mutex)
  std::atomic<bool> deadline_set_{false};   // changed under the mutex
  Clock::time_point deadline_;
  std::vector<Worker*> workers_;  // every thread started; none ends
  std::vector<Worker*> idle_;     // the last one to sleep is woken first: its caches are warm
  DeadlineWatch watch_;
};

Global<Pool> g_pool;

Pool::Pool() : watch_(+[] { g_pool->on_deadline(); }) {}

void Pool::schedule(std::shared_ptr<DeliveryLane> lane) {
  locked_then_set_going([&]() -> Wake {
    ready_.push_back(std::move(lane));
    lanes_waiting_.store(true, std::memory_order_relaxed);
    if (t_holding) {
      t_wake_owed = true;
      return {};
    }
    return wake_if_unserved(Clock::now());
  });
}

void Pool::pay_owed_wake() {
  t_wake_owed = false;
  locked_then_set_going([&] { return wake_if_unserved(Clock::now()); });
}

void Pool::on_deadline() {
  locked_then_set_going([&] {
    deadline_set_.store(false, std::memory_order_relaxed);
    return wake_if_unserved(Clock::now());
  });
}

// Lanes waiting behind this handler are served by another thread if it
// turns out slow: the deadline makes sure someone looks.
void Pool::entered_handler() {
  const Clock::time_point now = Clock::now();
  t_worker->handler_since.store(now.time_since_epoch().count(), std::memory_order_relaxed);
  if (!lanes_waiting_.load(std::memory_order_relaxed) || deadline_set_.load(std::memory_order_relaxed)) return;
  locked_then_set_going([&] { return wake_if_unserved(now); });
}

template <class Decide>
void Pool::locked_then_set_going(Decide decide) {
  Wake wake;
  {
    std::lock_guard lock(mutex_);
    wake = decide();
  }
  set_going(wake);
}

// Whether a serving thread is on its way to its next handler (and so to the
// interpreter lock, if the sink needs one), or each is inside a handler;
// nothing when no thread serves.
std::optional<Delivering> Pool::serving_position() {
  std::lock_guard lock(mutex_);
  std::optional<Delivering> position;
  for (const Worker* worker : workers_) {
    if (!worker->serving) continue;
    if (worker->handler_since.load(std::memory_order_relaxed) == 0) return Delivering::BetweenCalls;
    position = Delivering::InCalls;
  }
  return position;
}

// Under the mutex. A serving thread between two handlers takes the waiting
// lanes next; one inside a handler does so once the handler returns, unless
// the handler has run for `kSlowHandler`. When every serving thread is in
// such a slow handler, another thread is brought in.
Wake Pool::wake_if_unserved(Clock::time_point now) {
  if (ready_.empty()) return {};
  Clock::rep latest_start = std::numeric_limits<Clock::rep>::min();
  for (const Worker* worker : workers_) {
    if (!worker->serving) continue;
    const Clock::rep since = worker->handler_since.load(std::memory_order_relaxed);
    if (since == 0) return {};
    latest_start = std::max(latest_start, since);
  }
  if (latest_start != std::numeric_limits<Clock::rep>::min()) {
    const Clock::time_point all_slow = Clock::time_point(Clock::duration(latest_start)) + kSlowHandler;
    if (now < all_slow) {
      set_deadline(all_slow);
      return {};
    }
  }
  return start_server();
}

// Under the mutex.
void Pool::set_deadline(Clock::time_point deadline) {
  if (deadline_set_.load(std::memory_order_relaxed) && deadline_ <= deadline) return;
  deadline_set_.store(true, std::memory_order_relaxed);
  deadline_ = deadline;
  watch_.set(deadline);
}

// Under the mutex: an idle thread, or a new one.
Wake Pool::start_server() {
  if (!idle_.empty()) {
    Worker* worker = idle_.back();
    idle_.pop_back();
    worker->serving = true;
    return {worker, false};
  }
  workers_.push_back(new Worker);
  return {workers_.back(), true};
}

void Pool::set_going(Wake wake) {
  if (!wake.worker) return;
  if (!wake.start) return wake.worker->wake.signal();
  try {
    std::thread([worker = wake.worker] { g_pool->worker_main(*worker); }).detach();
  } catch (const std::system_error& error) {
    {
      // The lanes stay in the line for the next attempt.
      std::lock_guard lock(mutex_);
      std::erase(workers_, wake.worker);
    }
    delete wake.worker;
    OVIK_LOG(Error, kDispatcherTarget, "Could not start a callback delivery thread: {}", error.what());
  }
}

std::shared_ptr<DeliveryLane> Pool::next_lane(Worker& worker, std::shared_ptr<DeliveryLane> served, bool more) {
  std::lock_guard lock(mutex_);
  if (more) ready_.push_back(std::move(served));
  if (ready_.empty()) {
    worker.serving = false;
    idle_.push_back(&worker);
    const bool anyone_serving =
        std::any_of(workers_.begin(), workers_.end(), [](const Worker* other) { return other->serving; });
    if (!anyone_serving && deadline_set_.exchange(false, std::memory_order_relaxed)) watch_.clear();
    return nullptr;
  }
  std::shared_ptr<DeliveryLane> lane = std::move(ready_.front());
  ready_.pop_front();
  lanes_waiting_.store(!ready_.empty(), std::memory_order_relaxed);
  return lane;
}

void Pool::worker_main(Worker& worker) {
  pthread_setname_np(pthread_self(), "ovik-deliver");
  t_worker = &worker;
  const std::function<void()> serve = [&] {
    std::shared_ptr<DeliveryLane> lane;
    bool more = false;
    while ((lane = next_lane(worker, std::move(lane), more))) more = lane->serve_turn();
  };
  for (;;) {
    worker.wake.wait();
    if (CallbackSink* sink = callback_sink()) {
      sink->run_batch(serve);
    } else {
      serve();
    }
  }
}

}  // namespace

void schedule_delivery(std::shared_ptr<DeliveryLane> lane) { g_pool->schedule(std::move(lane)); }

void hold_wake_ups() { t_holding = true; }

void release_wake_ups() {
  t_holding = false;
  if (t_wake_owed) g_pool->pay_owed_wake();
  if (!std::exchange(t_backlog, false)) return;
  CallbackSink* sink = callback_sink();
  if (!sink) return;
  if (std::optional<Delivering> position = g_pool->serving_position()) sink->deliveries_behind(*position);
}

void note_backlog() {
  if (t_holding) t_backlog = true;
}

HandlerScope::HandlerScope() {
  if (t_worker) g_pool->entered_handler();
}

HandlerScope::~HandlerScope() {
  if (t_worker) t_worker->handler_since.store(0, std::memory_order_relaxed);
}

// The handler's time starts again after the wait, and with it the watch over
// the lanes waiting behind it: a deadline that passed during the wait found
// this thread between calls, and the handler may still keep the thread.
SharedLockWait::SharedLockWait()
    : in_handler_(t_worker && t_worker->handler_since.exchange(0, std::memory_order_relaxed) != 0) {}

SharedLockWait::~SharedLockWait() {
  if (in_handler_) g_pool->entered_handler();
}

}  // namespace ovik::pipeline
