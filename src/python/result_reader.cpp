#include "python/result_reader.hpp"

#include <asio/post.hpp>

#include <algorithm>
#include <chrono>
#include <utility>

#include "python/bridge/awaitable.hpp"
#include "python/py/errors.hpp"
#include "python/py/gil.hpp"

namespace ovik::python {

namespace {

// How long reads may go on completing at once without the loop having had a
// turn. Past it, a reader that falls behind would keep its loop's timers and
// other tasks from running until it died of a lag.
constexpr std::chrono::microseconds kImmediateRun{1000};

}  // namespace

struct ResultReader::WaitingRead {
  WaitingRead(PendingFuture pending_in, ToPython to_python_in)
      : loop(pending_in.loop.clone()),
        future(pending_in.future.clone()),
        pending(std::move(pending_in)),
        to_python(to_python_in) {}

  const py::Ref loop;
  const py::Ref future;
  PendingFuture pending;  // let go of once the outcome is handed over
  ToPython to_python;
  std::optional<ResultItem> taken;  // handed over; the caller may not have it yet

  // Under the interpreter lock, not the reader's: false when nobody can take
  // the item.
  bool deliver(const ResultItem& item) {
    PendingFuture handed = std::move(pending);
    return hand_over(handed, [&] { return to_python(item); });
  }

  // Under the interpreter lock.
  bool loop_closed() const { return py::returned_true(PyObject_CallMethod(loop.get(), "is_closed", nullptr), false); }

  // Under the interpreter lock: the future's outcome was made of the item,
  // whether or not its caller got to see it (its loop may have closed before
  // running the done-callbacks). The item is then no longer the stream's.
  bool holds_outcome() const {
    return py::returned_true(PyObject_CallMethod(future.get(), "done", nullptr), false) &&
           !py::returned_true(PyObject_CallMethod(future.get(), "cancelled", nullptr), true);
  }
};

py::Ref ResultReader::read(ToPython to_python) {
  auto read = std::make_shared<WaitingRead>(create_future(), to_python);
  py::Ref future = read->pending.future.clone();
  std::optional<ResultItem> now;
  bool run_began = false, run_over = false;
  {
    std::lock_guard lock(mutex_);
    if (line_.empty()) {
      run_over = !within_immediate_run_locked(run_began);
      if (!run_over) now = take_locked();
    }
    if (!now) {
      line_.push_back(read);
      immediate_run_began_.reset();
    }
  }
  if (now) {
    if (run_began) on_next_turn(read->loop, [](ResultReader& self) { self.end_immediate_run(); });
    complete_now(read->pending, [&] { return to_python(*now); });
    return future;
  }
  // Holds both weakly: the read holds its future, which holds this callback.
  // Also run when the callback is dropped unrun, its loop closed.
  on_done(future, [reader = weak_from_this(), waiting = std::weak_ptr<WaitingRead>(read)](bool) {
    std::shared_ptr<ResultReader> self = reader.lock();
    std::shared_ptr<WaitingRead> settled = waiting.lock();
    if (self && settled) self->settle(*settled, settled->holds_outcome());
  });
  if (run_over) {
    // Served only after the loop's next turn, so that the timers and tasks
    // that turn makes ready run before the reader's task does again.
    on_next_turn(read->loop, [](ResultReader& self) { self.serve(); });
  } else {
    serve();
  }
  return future;
}

void ResultReader::serve() {
  for (;;) {
    std::shared_ptr<WaitingRead> front;
    std::optional<ResultItem> item;
    {
      std::lock_guard lock(mutex_);
      if (line_.empty()) return;
      front = line_.front();
      if (!front->taken) {
        item = take_locked();
        if (!item) {
          if (wake_on_arrival_locked()) return;
          continue;
        }
        front->taken = item;
      }
    }
    // Once handed over, the read's settlement serves the next one, unless
    // its loop closed first.
    if (item ? front->deliver(*item) : !front->loop_closed()) return;
    const bool kept = front->holds_outcome();
    std::lock_guard lock(mutex_);
    leave_locked(*front, kept);
  }
}

void ResultReader::settle(const WaitingRead& read, bool delivered) {
  bool was_front = false;
  {
    std::lock_guard lock(mutex_);
    was_front = leave_locked(read, delivered);
  }
  if (was_front) serve();
}

bool ResultReader::within_immediate_run_locked(bool& began) {
  const auto now = std::chrono::steady_clock::now();
  began = !immediate_run_began_;
  if (began) immediate_run_began_ = now;
  return now - *immediate_run_began_ < kImmediateRun;
}

void ResultReader::end_immediate_run() {
  std::lock_guard lock(mutex_);
  immediate_run_began_.reset();
}

void ResultReader::on_next_turn(const py::Ref& loop, void (*run)(ResultReader& self)) {
  call_soon(loop, [reader = weak_from_this(), run] {
    if (std::shared_ptr<ResultReader> self = reader.lock()) run(*self);
  });
}

std::optional<ResultItem> ResultReader::take_locked() {
  if (returned_) return std::exchange(returned_, std::nullopt);
  ResultItem item = receiver_.try_recv();
  if (item.status == runtime::RecvStatus::Empty) return std::nullopt;
  return item;
}

bool ResultReader::leave_locked(const WaitingRead& read, bool delivered) {
  auto it = std::find_if(line_.begin(), line_.end(), [&](const auto& waiting) { return waiting.get() == &read; });
  if (it == line_.end()) return false;
  // Only the front read holds an item, so nothing was given back before it.
  // Its caller holds the read: erasing it lets go of nothing under the lock.
  if (!delivered && (*it)->taken) returned_ = std::exchange((*it)->taken, std::nullopt);
  const bool was_front = it == line_.begin();
  line_.erase(it);
  return was_front;
}

bool ResultReader::wake_on_arrival_locked() {
  if (wake_armed_) return true;
  // Runs on the publishing thread, which may hold anything but the
  // interpreter lock: the front read is served from the bridge's runtime.
  wake_armed_ = receiver_.wake_when_readable([reader = weak_from_this()] {
    asio::post(bridge_runtime().executor(), [reader] {
      std::shared_ptr<ResultReader> self = reader.lock();
      if (!self) return;
      {
        std::lock_guard lock(self->mutex_);
        self->wake_armed_ = false;
      }
      py::keep_thread_state();  // a worker of the runtime: it lives as long as the process
      py::with_gil([&] { self->serve(); });
    });
  });
  return wake_armed_;
}

}  // namespace ovik::python
