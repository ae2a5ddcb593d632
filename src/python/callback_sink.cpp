#include "python/callback_sink.hpp"

#include <chrono>
#include <string_view>
#include <thread>

#include "log/log.hpp"
#include "pipeline/delivery_pool.hpp"
#include "python/callback_slots.hpp"
#include "python/py/gil.hpp"
#include "python/row_lists.hpp"

namespace ovik::python {

namespace {

constexpr std::string_view kCallbackTarget = "ovik_sdk::python::callback";

// How long one acquisition of the interpreter lock may serve a run of items
// before the lock is handed over. A main thread busy in Python code gives the
// lock away only every switch interval (5 ms), so one item per acquisition
// would starve the callbacks.
constexpr std::chrono::microseconds kHoldSlice{1000};
// The pause after letting go of the lock between two slices. A thread waiting
// for the lock is woken by the release but needs a moment to take it; without
// the pause this thread takes it back first and the waiter keeps waiting until
// its own switch interval runs out.
constexpr std::chrono::microseconds kHandOver{20};

// How long a Python thread that lets the lock go for the deliveries waits
// for a delivery thread to have had it.
constexpr std::chrono::microseconds kHandOffBetweenCalls{10'000};
constexpr std::chrono::microseconds kHandOffInCalls{200};

using Clock = std::chrono::steady_clock;

// repr(object), or a placeholder when repr itself raises.
std::string repr_text(PyObject* object) {
  PyObject* text = PyObject_Repr(object);
  if (!text) {
    PyErr_Clear();
    return "<unrepresentable object>";
  }
  py::Ref owned = py::Ref::steal(text);
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (!data) {
    PyErr_Clear();
    return "<unrepresentable object>";
  }
  return std::string(data, static_cast<std::size_t>(size));
}

// "PyErr { type: T, value: V, traceback: B }".
std::string render_error(PyObject* error) {
  std::string text = "PyErr { type: " + repr_text(reinterpret_cast<PyObject*>(Py_TYPE(error)));
  text += ", value: " + repr_text(error) + ", traceback: ";
  if (PyObject* traceback = PyException_GetTraceback(error)) {
    py::Ref owned = py::Ref::steal(traceback);
    text += "Some(" + repr_text(traceback) + ")";
  } else {
    text += "None";
  }
  return text + " }";
}

// Under the interpreter lock.
void call_with_rows(CallbackKind kind, const pipeline::RowBatch& rows) {
  py::Ref callable = callback_of(kind);
  if (!callable) return;
  try {
    // Without an argument tuple: a Python function is called by vectorcall.
    py::Ref list = to_list(rows);
    py::Ref result = py::Ref::steal(PyObject_CallFunctionObjArgs(callable.get(), list.get(), nullptr));
  } catch (const py::ErrorAlreadySet&) {
    py::Ref error = py::take_pending_error();
    OVIK_LOG(Error, kCallbackTarget, "Error calling callback: {}", render_error(error.get()));
  }
}

// Under the interpreter lock. The message-response callable's failures are
// discarded without a record.
void call_with_message(const std::string& device_id, const std::string& json) {
  py::Ref callable = callback_of(CallbackKind::MsgResp);
  if (!callable) return;
  try {
    py::Ref id = py::to_str(device_id);
    py::Ref text = py::to_str(json);
    py::Ref result =
        py::Ref::steal(PyObject_CallFunctionObjArgs(callable.get(), id.get(), text.get(), nullptr));
  } catch (const py::ErrorAlreadySet&) {
    PyErr_Clear();
  }
}

// The interpreter lock of one delivery run: taken for the first item, kept
// for the next ones and handed over between two items once it has been held
// for a slice. Once the shutdown hook has run it is not taken again and the
// run's remaining items are dropped. Waiting for the lock is not time spent
// in a handler: every other delivery thread would wait for it too.
class Run {
 public:
  template <class F>
  void deliver(F&& call) {
    if (closed_) return;
    if (!hold_.held() || Clock::now() - since_ >= kHoldSlice) {
      pipeline::SharedLockWait waiting;
      if (hold_.held()) {
        hold_.release();
        std::this_thread::sleep_for(kHandOver);
      }
      if (!hold_.acquire()) {
        closed_ = true;
        return;
      }
      since_ = Clock::now();
    }
    py::interpreter_call([&] {
      py::drain_pending_releases();
      std::forward<F>(call)();
    });
  }

 private:
  py::ForeignHold hold_;
  Clock::time_point since_;
  bool closed_ = false;
};

thread_local Run* t_run = nullptr;

// Runs `call` with the lock: within the thread's run, or on its own.
template <class F>
void deliver(F&& call) {
  if (t_run)
    t_run->deliver(std::forward<F>(call));
  else
    py::with_gil(std::forward<F>(call));
}

class PythonCallbackSink final : public pipeline::CallbackSink {
 public:
  bool is_set(CallbackKind kind) const override { return callback_is_set(kind); }

  void run_batch(const std::function<void()>& body) override {
    if (t_run) return body();
    py::keep_thread_state();
    Run run;
    t_run = &run;
    struct Reset {
      ~Reset() { t_run = nullptr; }
    } reset;
    body();
  }

  void invoke(CallbackKind kind, pipeline::RowBatch rows) override {
    deliver([&] { call_with_rows(kind, rows); });
  }

  void invoke_message(std::string device_id, std::string json) override {
    deliver([&] { call_with_message(device_id, json); });
  }

  // A delivery thread on its way to a call takes the lock as soon as it is
  // free. One inside a call may be waiting for it in Python code (the
  // interpreter made it let go), or be blocked on something else: it gets a
  // short chance only, so that a callable that blocks does not slow the
  // feeding thread down.
  void deliveries_behind(pipeline::Delivering where) override {
    py::request_lock_hand_off(where == pipeline::Delivering::BetweenCalls ? kHandOffBetweenCalls : kHandOffInCalls);
  }
};

}  // namespace

void install_callback_sink() {
  static PythonCallbackSink* sink = new PythonCallbackSink();  // kept for the process
  pipeline::install_callback_sink(sink);
}

}  // namespace ovik::python
