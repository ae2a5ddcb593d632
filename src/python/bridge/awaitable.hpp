#pragma once
// The asyncio bridge: device operations are C++ coroutines; Python awaits them
// as asyncio futures.
//
//   py::Ref write(py::Exclusive<Link>& self, py::Arguments& args) {
//     ...synchronous part: arguments, borrow, the frame...
//     return python::into_future(write_task(frame, writer));  // asio::awaitable<void>
//   }
//   python::into_future(next_item(stream), [](const std::string& json) { return py::to_bytes(json); });
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
// next suspension point. A closed loop drops the outcome without an error.
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

namespace detail {

// The Python side of one awaited operation. Its references are released
// under the interpreter lock, or queued when the last owner lacks it.
struct PendingFuture {
  py::Ref loop;
  py::Ref future;
  py::Ref context;
};

// Under the lock: the running loop (or asyncio's RuntimeError), the caller's
// context and a new future.
std::shared_ptr<PendingFuture> create_future();
// Under the lock: `abort` runs when the future is cancelled.
void abort_on_cancel(const PendingFuture& pending, std::function<void()> abort);
// On the thread that ran the operation: `make_result` gives the value, or
// rethrows how the operation ended.
void complete(PendingFuture& pending, const std::function<py::Ref()>& make_result);

}  // namespace detail

// Makes the future of `operation` (awaitable convention above); `to_python`
// turns its value into the result, under the lock.
template <class T, class ToPython>
py::Ref into_future(asio::awaitable<T> operation, ToPython to_python) {
  std::shared_ptr<detail::PendingFuture> pending = detail::create_future();
  py::Ref future = pending->future.clone();
  runtime::TaskHandle<T> handle = bridge_runtime().spawn(
      std::move(operation), [pending, to_python = std::move(to_python)](const runtime::TaskOutcome<T>& outcome) {
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
