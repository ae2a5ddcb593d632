#include "runtime/runtime.hpp"

#include <exception>
#include <string_view>

#include "common/global.hpp"
#include "log/log.hpp"
#include "runtime/forced_unwind.hpp"

namespace ovik::runtime {

namespace {

constexpr std::string_view kLogTarget = "ovik_sdk::utils::runtime";

thread_local Runtime* t_current = nullptr;

constinit Global<Runtime> g_sdk_runtime(+[] { return new Runtime(); });

}  // namespace

CurrentRuntimeScope::CurrentRuntimeScope(Runtime& runtime) : previous_(t_current) { t_current = &runtime; }

CurrentRuntimeScope::~CurrentRuntimeScope() { t_current = previous_; }

// The context is told that one thread runs it, though every worker does: a
// worker then runs what its handlers queue and returns to the reactor itself,
// instead of waking another worker for each of them. A received chunk costs
// one thread wake-up, not two; a handler may still run on any worker, and a
// post from outside the workers wakes one as before.
Runtime::Runtime(RuntimeOptions options)
    : io_(1),
      keep_running_(io_.get_executor()),
      blocking_(*this, options.max_blocking_threads, options.blocking_keep_alive) {
  workers_.reserve(options.worker_threads);
  try {
    for (unsigned i = 0; i < options.worker_threads; ++i) workers_.emplace_back([this] { worker_main(); });
  } catch (...) {
    // The system refused a thread: the caller gets the error, and nothing is
    // left running.
    io_.stop();
    for (std::thread& worker : workers_) worker.join();
    throw;
  }
}

Runtime::~Runtime() {
  abort_tasks_and_wait();
  keep_running_.reset();
  io_.stop();
  for (std::thread& worker : workers_) worker.join();
}

Runtime* Runtime::current() noexcept { return t_current; }

Runtime::TaskList::iterator Runtime::track(const std::shared_ptr<detail::TaskControl>& task) {
  std::lock_guard lock(tasks_mutex_);
  if (stopping_) task->request_abort();
  return tasks_.insert(tasks_.end(), task);
}

void Runtime::TaskEnd::operator()(std::exception_ptr fault) const {
  {
    // Notified under the lock: once it is released, the destructor may be
    // done with the runtime.
    std::lock_guard lock(runtime->tasks_mutex_);
    runtime->tasks_.erase(entry);
    runtime->task_ended_.notify_all();
  }
  if (fault) std::rethrow_exception(fault);
}

void Runtime::abort_tasks_and_wait() {
  std::unique_lock lock(tasks_mutex_);
  stopping_ = true;
  for (const auto& entry : tasks_) {
    if (auto task = entry.lock()) task->request_abort();
  }
  task_ended_.wait(lock, [&] { return tasks_.empty(); });
}

OVIK_CATCHES_FORCED_UNWIND void Runtime::worker_main() {
  CurrentRuntimeScope current(*this);
  for (;;) {
    try {
      io_.run();
      return;
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (const std::exception& fault) {
      OVIK_LOG(Error, kLogTarget, "runtime worker caught an exception: {}", fault.what());
    } catch (...) {
      OVIK_LOG(Error, kLogTarget, "runtime worker caught an unknown exception");
    }
  }
}

Runtime& sdk_runtime() { return g_sdk_runtime.get(); }

bool sdk_runtime_built() { return g_sdk_runtime.created(); }

Runtime& current_or_sdk_runtime() {
  Runtime* current = Runtime::current();
  return current ? *current : sdk_runtime();
}

}  // namespace ovik::runtime
