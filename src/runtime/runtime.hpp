#pragma once
// The task runtime: an io_context run by one worker thread per core (timers
// and fd readiness), every task on a strand of its own, and an elastic pool of
// threads for blocking jobs. Worker and blocking threads know their runtime
// ("the runtime current on this thread").
//
// The SDK's fallback runtime (`sdk_runtime()`) is built on first use and never
// destroyed; so is the Python bridge's. Destroying a runtime is for test-local
// instances: it aborts every task spawned on it and waits for them to end,
// then stops the workers and the blocking pool (which waits for the jobs that
// are running). Never destroy a runtime from one of its own threads.
#include <asio/co_spawn.hpp>
#include <asio/bind_cancellation_slot.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/blocking_pool.hpp"
#include "runtime/task.hpp"

namespace ovik::runtime {

struct RuntimeOptions {
  unsigned worker_threads = default_worker_threads();
  std::size_t max_blocking_threads = 512;
  std::chrono::steady_clock::duration blocking_keep_alive = std::chrono::seconds(10);

  static unsigned default_worker_threads() {
    unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
  }
};

class Runtime {
 public:
  explicit Runtime(RuntimeOptions options = {});
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // The runtime of this worker or blocking thread; null on any other thread
  // and on a runtime thread that is exiting.
  static Runtime* current() noexcept;

  // Starts `task` on a new strand of this runtime. `on_finish`, if given, runs
  // on that strand once the task has ended, before joiners are woken. It
  // should not throw: what it throws is logged as a fault.
  template <class T>
  TaskHandle<T> spawn(asio::awaitable<T> task, OnFinish<T> on_finish = {}) {
    auto state = std::make_shared<detail::TaskState<T>>(asio::make_strand(io_), std::move(on_finish));
    TaskEnd end{this, track(state)};
    // Started on its strand, where aborts are delivered. An abort requested
    // before the start (even before this post) ends it there, unrun; one
    // requested later is delivered on the strand, after the start.
    asio::post(*state->strand, [state, end, task = std::move(task)]() mutable {
      asio::co_spawn(*state->strand, detail::run_task(std::move(task), state),
                     asio::bind_cancellation_slot(state->signal.slot(), end));
    });
    return TaskHandle<T>(std::move(state));
  }

  asio::io_context::executor_type executor() noexcept { return io_.get_executor(); }
  void submit_blocking(std::unique_ptr<BlockingJob> job) { blocking_.submit(std::move(job)); }
  std::size_t blocking_thread_count() const { return blocking_.thread_count(); }

 private:
  using TaskList = std::list<std::weak_ptr<detail::TaskControl>>;

  // Completion of a spawned coroutine. `run_task` keeps the task's own
  // exceptions; a fault that reaches here (a completion callback threw) is
  // rethrown for the worker thread to report.
  struct TaskEnd {
    Runtime* runtime;
    TaskList::iterator entry;
    void operator()(std::exception_ptr fault) const;
  };

  TaskList::iterator track(const std::shared_ptr<detail::TaskControl>& task);
  void abort_tasks_and_wait();
  void worker_main();

  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> keep_running_;
  std::mutex tasks_mutex_;
  std::condition_variable task_ended_;
  TaskList tasks_;
  bool stopping_ = false;
  BlockingPool blocking_;
  std::vector<std::thread> workers_;
};

// Marks this thread as one of `runtime`'s for its lifetime.
class CurrentRuntimeScope {
 public:
  explicit CurrentRuntimeScope(Runtime& runtime);
  ~CurrentRuntimeScope();
  CurrentRuntimeScope(const CurrentRuntimeScope&) = delete;
  CurrentRuntimeScope& operator=(const CurrentRuntimeScope&) = delete;

 private:
  Runtime* previous_;
};

// The SDK's fallback runtime, built on first use (once, even when threads race
// to build it) and never shut down.
Runtime& sdk_runtime();
// Whether `sdk_runtime()` has been built; never builds it.
bool sdk_runtime_built();

// The runtime current on this thread, or else `sdk_runtime()`.
Runtime& current_or_sdk_runtime();

// Spawns on the runtime current on this thread, or else on `sdk_runtime()`.
// The task stays on that runtime for its whole life.
template <class T>
TaskHandle<T> spawn_on_runtime(asio::awaitable<T> task, OnFinish<T> on_finish = {}) {
  return current_or_sdk_runtime().spawn(std::move(task), std::move(on_finish));
}

}  // namespace ovik::runtime
