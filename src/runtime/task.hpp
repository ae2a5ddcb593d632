#pragma once
// Tasks: coroutines spawned on a runtime, each on a strand of its own, and the
// handles that abort or join them.
#include <asio/awaitable.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <variant>

#include "runtime/forced_unwind.hpp"
#include "runtime/park.hpp"

namespace ovik::runtime {

// What `join` throws (and what a completion callback receives) when the task
// ended because it was aborted.
class TaskAborted : public std::exception {
 public:
  const char* what() const noexcept override { return "task aborted"; }
};

// A task's result with `void` made a value.
template <class T>
using TaskValue = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

// How a task ended: its value, or the exception that ended it (`TaskAborted`
// when it was aborted).
template <class T>
using TaskOutcome = std::variant<TaskValue<T>, std::exception_ptr>;

// Whether the task ended because it was aborted.
template <class T>
bool ended_by_abort(const TaskOutcome<T>& outcome) {
  if (outcome.index() == 0) return false;
  try {
    std::rethrow_exception(std::get<1>(outcome));
  } catch (const TaskAborted&) {
    return true;
  } catch (...) {
    return false;
  }
}

template <class T>
using OnFinish = std::function<void(const TaskOutcome<T>&)>;

namespace detail {

using TaskStrand = asio::strand<asio::io_context::executor_type>;

// What a runtime needs of any of its tasks: a way to abort it.
struct TaskControl : std::enable_shared_from_this<TaskControl> {
  explicit TaskControl(TaskStrand strand_in) : strand(std::move(strand_in)) {}
  virtual ~TaskControl() = default;

  // Emitted only on the strand, as asio requires of cancellation signals.
  void request_abort() {
    if (abort_requested.exchange(true)) return;
    std::lock_guard lock(mutex);
    if (!strand) return;
    asio::post(*strand, [self = shared_from_this()] { self->signal.emit(asio::cancellation_type::terminal); });
  }

  std::mutex mutex;
  // Released when the task ends: a handle may outlive the runtime, a strand
  // must not.
  std::optional<TaskStrand> strand;
  bool finished = false;
  asio::cancellation_signal signal;
  std::atomic<bool> abort_requested{false};
};

template <class T>
struct TaskState : TaskControl {
  TaskState(TaskStrand strand_in, OnFinish<T> on_finish_in)
      : TaskControl(std::move(strand_in)), on_finish(std::move(on_finish_in)) {}

  void finish(TaskOutcome<T> result) {
    outcome.emplace(std::move(result));
    // Joiners are woken after the callback (they may move the outcome out),
    // and also when it throws.
    struct WakeJoiners {
      TaskState& state;
      ~WakeJoiners() {
        ParkedReaders joiners_to_wake;
        {
          std::lock_guard lock(state.mutex);
          state.finished = true;
          state.strand.reset();
          joiners_to_wake = state.joiners.take_all();
        }
        wake_all(std::move(joiners_to_wake));
      }
    } wake{*this};
    if (on_finish) on_finish(*outcome);
  }

  OnFinish<T> on_finish;
  std::optional<TaskOutcome<T>> outcome;
  WaitQueue<Woken> joiners;
};

template <class T>
OVIK_CATCHES_FORCED_UNWIND asio::awaitable<void> run_task(asio::awaitable<T> task,
                                                          std::shared_ptr<TaskState<T>> state) {
  std::optional<TaskOutcome<T>> outcome;
  try {
    // Aborted before it first ran: it never runs. Its frame, and what it
    // holds, is gone before anyone learns that it ended.
    if (state->abort_requested) {
      asio::awaitable<T> unstarted = std::move(task);
      throw TaskAborted();
    }
    if constexpr (std::is_void_v<T>) {
      co_await std::move(task);
      outcome.emplace(std::in_place_index<0>);
    } else {
      outcome.emplace(std::in_place_index<0>, co_await std::move(task));
    }
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    std::exception_ptr error =
        state->abort_requested.load() ? std::make_exception_ptr(TaskAborted()) : std::current_exception();
    outcome.emplace(std::in_place_index<1>, error);
  }
  state->finish(std::move(*outcome));
}

template <class T>
asio::awaitable<T> join_task(std::shared_ptr<TaskState<T>> state) {
  co_await park(state, &TaskState<T>::joiners, [&] { return woken_if(state->finished); });
  TaskOutcome<T> outcome = std::move(*state->outcome);
  if (outcome.index() == 1) std::rethrow_exception(std::get<1>(outcome));
  if constexpr (!std::is_void_v<T>) co_return std::move(std::get<0>(outcome));
}

}  // namespace detail

// The handle of a spawned task. Dropping it leaves the task running.
template <class T>
class TaskHandle {
 public:
  TaskHandle() = default;
  explicit TaskHandle(std::shared_ptr<detail::TaskState<T>> state) : state_(std::move(state)) {}
  TaskHandle(TaskHandle&&) noexcept = default;
  TaskHandle& operator=(TaskHandle&&) noexcept = default;
  TaskHandle(const TaskHandle&) = delete;
  TaskHandle& operator=(const TaskHandle&) = delete;

  // From any thread: the task stops at its next suspension point (its pending
  // wait ends with `operation_aborted`, and so does every later one), its
  // destructors run, and joiners get `TaskAborted`. No effect on a task that
  // has already finished.
  void abort() const {
    if (state_) state_->request_abort();
  }

  bool is_finished() const {
    if (!state_) return true;
    std::lock_guard lock(state_->mutex);
    return state_->finished;
  }

  // Awaits the end of the task: its value, or rethrows what ended it. Once per
  // task: the value is moved out.
  asio::awaitable<T> join() const { return detail::join_task(state_); }

 private:
  std::shared_ptr<detail::TaskState<T>> state_;
};

}  // namespace ovik::runtime
