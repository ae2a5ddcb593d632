#pragma once
// The asyncio bridge: device operations are C++ coroutines; Python awaits them
// as asyncio futures.
//
//   py::Ref write(py::Exclusive<Link>& self, py::Arguments& args) {
//     ...synchronous part: arguments, borrow, the frame...
//     return python::into_future(write_task(frame, writer));  // asio::awaitable<void>
//   }
//   python::into_future(read_task(port), [](const std::string& data) { return py::to_bytes(data); });
//
// At the call: asyncio's running loop of the calling thread (asyncio's own
// RuntimeError without one), a future on it with a done-callback, and the
// operation spawned at once on the bridge's runtime, so it runs whether or not
// the future is awaited. When the operation ends, its runtime thread takes the
// interpreter lock and, unless the future was cancelled, schedules through
// `call_soon_threadsafe`, in the caller's copied context, a setter that checks
// `done()` on the loop thread. An SDK error fails the future with its Python
// class (RuntimeError for an operation's failure), an internal fault with the
// bridge's panic exception. Cancelling the future aborts the operation at its
// next suspension point, or before it starts. A closed loop drops the outcome
// without an error.
//
// Readers that are not operations (a stream read served without a task) use
// the pieces: `create_future`, then `complete_now` or `hand_over`.
#include <functional>
#include <memory>

#include "python/py/ref.hpp"
#include "runtime/runtime.hpp"

namespace ovik::python {

// The runtime of every awaitable operation and of what they start; built on
// first use and never shut down.
runtime::Runtime& bridge_runtime();

// The bridge's panic exception (an Exception subclass): "operation failed with
// an internal fault: {}".
PyObject* operation_panic();

// Under the lock: `react` runs once, on the loop thread, when `future` is
// done, told whether it was cancelled; if the callback can never run (the
// loop closed first), it runs when dropped, as if cancelled.
void on_done(const py::Ref& future, std::function<void(bool cancelled)> react);

// Under the lock, on the loop's thread: `run` runs on the loop's next turn,
// or never if the loop closes first.
void call_soon(const py::Ref& loop, std::function<void()> run);

// The Python side of one awaited operation. Its references are released
// under the interpreter lock, or queued when the last owner lacks it.
struct PendingFuture {
  py::Ref loop;
  py::Ref future;
  py::Ref context;
};

// Under the lock: the running loop (or asyncio's RuntimeError), the caller's
// context and a new future.
PendingFuture create_future();

// What an operation ended with, made under the lock: `make_result` gives the
// value, or throws what fails the future (an SDK error, a fault).
using MakeResult = std::function<py::Ref()>;

// Under the lock, on the future's loop thread: completes the future now.
void complete_now(const PendingFuture& pending, const MakeResult& make_result);

// Under the lock, on any thread: unless the future is already done, makes its
// outcome and schedules it on the future's loop. False when nobody can take
// it: the future was done first, or its loop is closed.
bool hand_over(const PendingFuture& pending, const MakeResult& make_result);

namespace detail {

// Under the lock: `abort` runs when the future is cancelled.
void abort_on_cancel(const PendingFuture& pending, std::function<void()> abort);
// On the thread that ran the operation: takes the lock and hands the outcome
// over, then lets go of the future.
void complete(PendingFuture& pending, const MakeResult& make_result);

}  // namespace detail

// Makes the future of `operation` (awaitable convention above); `to_python`
// turns its value into the result, under the lock.
template <class T, class ToPython>
py::Ref into_future(asio::awaitable<T> operation, ToPython to_python) {
  auto pending = std::make_shared<PendingFuture>(create_future());
  py::Ref future = pending->future.clone();
  runtime::TaskHandle<T> handle = bridge_runtime().spawn(
      std::move(operation), [pending, to_python = std::move(to_python)](const runtime::TaskOutcome<T>& outcome) {
        if (runtime::ended_by_abort<T>(outcome)) {
          // Only a cancelled future aborts its operation: nobody waits for
          // this outcome, and letting go of the future is no reason to wait
          // for the interpreter lock.
          PendingFuture released = std::move(*pending);
          return;
        }
        detail::complete(*pending, [&]() -> py::Ref {
          if (outcome.index() == 1) std::rethrow_exception(std::get<1>(outcome));
          if constexpr (std::is_void_v<T>) {
            return to_python();
          } else {
            return to_python(std::get<0>(outcome));
          }
        });
      });
  auto shared = std::make_shared<runtime::TaskHandle<T>>(std::move(handle));
  detail::abort_on_cancel(*pending, [shared] { shared->abort(); });
  return future;
}

// An operation that produces nothing resolves to None.
inline py::Ref into_future(asio::awaitable<void> operation) {
  return into_future(std::move(operation), [] { return py::none(); });
}

}  // namespace ovik::python
