#include "python/result_reader.hpp"

#include <asio/post.hpp>

#include <algorithm>
#include <utility>

#include "python/bridge/awaitable.hpp"
#include "python/py/errors.hpp"
#include "python/py/gil.hpp"

namespace ovik::python {

struct ResultReader::WaitingRead {
  WaitingRead(PendingFuture pending_in, ToPython to_python_in)
      : loop(pending_in.loop.clone()), pending(std::move(pending_in)), to_python(to_python_in) {}

  const py::Ref loop;
  PendingFuture pending;  // let go of once the outcome is handed over
  ToPython to_python;
  std::optional<ResultItem> taken;  // handed over; the caller may not have it yet

  // Under the interpreter lock, not the reader's: false when nobody can take
  // the item.
  bool deliver(const ResultItem& item) {
    PendingFuture handed = std::move(pending);
    return hand_over(handed, [&] { return to_python(item); });
  }

  // Under the interpreter lock: its loop closed before it ran the outcome
  // handed over, so the caller never gets it.
  bool orphaned() const { return py::returned_true(PyObject_CallMethod(loop.get(), "is_closed", nullptr), false); }
};

py::Ref ResultReader::read(ToPython to_python) {
  auto read = std::make_shared<WaitingRead>(create_future(), to_python);
  py::Ref future = read->pending.future.clone();
  std::optional<ResultItem> now;
  {
    std::lock_guard lock(mutex_);
    if (line_.empty()) now = take_locked();
    if (!now) line_.push_back(read);
  }
  if (now) {
    complete_now(read->pending, [&] { return to_python(*now); });
    return future;
  }
  // Holds both weakly: the read holds its future, which holds this callback.
  on_done(future, [reader = weak_from_this(), waiting = std::weak_ptr<WaitingRead>(read)](bool cancelled) {
    std::shared_ptr<ResultReader> self = reader.lock();
    std::shared_ptr<WaitingRead> settled = waiting.lock();
    if (self && settled) self->settle(*settled, !cancelled);
  });
  serve();
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
    if (item ? front->deliver(*item) : !front->orphaned()) return;
    std::lock_guard lock(mutex_);
    leave_locked(*front, false);
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
