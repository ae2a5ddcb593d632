#include "python/bridge/awaitable.hpp"

#include "common/global.hpp"
#include "python/py/boundary.hpp"
#include "python/py/class_builder.hpp"
#include "python/py/convert.hpp"
#include "python/py/gil.hpp"

namespace ovik::python {

namespace {

Global<runtime::Runtime> g_bridge_runtime;

// Looked up once, under the lock, and kept for the process.
struct AsyncioNames {
  py::Ref get_running_loop;
  py::Ref copy_context;
  py::Ref set_result;
  py::Ref set_exception;
};

PyObject* set_outcome(PyObject* const* args, Py_ssize_t nargs, const char* method) {
  return py::boundary_object([&] {
    if (nargs != 2) throw std::logic_error("the future setter takes the future and the outcome");
    py::Ref done = py::Ref::steal(PyObject_CallMethod(args[0], "done", nullptr));
    // The future may have been cancelled after the outcome was scheduled.
    if (done.get() == Py_True) return py::none();
    return py::Ref::steal(PyObject_CallMethod(args[0], method, "O", args[1]));
  });
}

PyObject* set_result(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return set_outcome(args, nargs, "set_result");
}

PyObject* set_exception(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  return set_outcome(args, nargs, "set_exception");
}

PyMethodDef g_set_result{"_ovik_sdk_set_result", py::detail::as_cfunction(&set_result), METH_FASTCALL, nullptr};
PyMethodDef g_set_exception{"_ovik_sdk_set_exception", py::detail::as_cfunction(&set_exception), METH_FASTCALL,
                            nullptr};

const AsyncioNames& asyncio_names() {
  static AsyncioNames* names = nullptr;
  if (names) return *names;
  auto made = std::make_unique<AsyncioNames>();
  py::Ref asyncio = py::Ref::steal(PyImport_ImportModule("asyncio"));
  py::Ref contextvars = py::Ref::steal(PyImport_ImportModule("contextvars"));
  made->get_running_loop = py::Ref::steal(PyObject_GetAttrString(asyncio.get(), "get_running_loop"));
  made->copy_context = py::Ref::steal(PyObject_GetAttrString(contextvars.get(), "copy_context"));
  made->set_result = py::Ref::steal(PyCFunction_NewEx(&g_set_result, nullptr, nullptr));
  made->set_exception = py::Ref::steal(PyCFunction_NewEx(&g_set_exception, nullptr, nullptr));
  if (!names) names = made.release();
  return *names;
}

// A Python callable of one argument around a C++ function, which it owns
// through its capsule. Released without having been called (its loop closed
// first, or handing it on failed), it runs the function once with nullptr,
// so that no reaction is lost.
constexpr const char* kNativeCapsule = "ovik_sdk.native_callback";

struct NativeCallback {
  std::function<void(PyObject* argument)> call;
  bool called = false;
};

PyObject* call_native(PyObject* capsule, PyObject* argument) {
  return py::boundary_object([&] {
    auto* native = static_cast<NativeCallback*>(PyCapsule_GetPointer(capsule, kNativeCapsule));
    if (!native) py::throw_python_error();
    native->called = true;
    native->call(argument);
    return py::none();
  });
}

PyMethodDef g_call_native{"_ovik_sdk_callback", call_native, METH_O, nullptr};

// The release may come while an exception is on its way, and the function
// may call into Python: that exception is set aside meanwhile.
void run_uncalled(NativeCallback& native) {
  py::SavedError in_flight;
  native.call(nullptr);
}

void release_native(PyObject* capsule) {
  std::unique_ptr<NativeCallback> native(static_cast<NativeCallback*>(PyCapsule_GetPointer(capsule, kNativeCapsule)));
  if (native && !native->called) run_uncalled(*native);
}

py::Ref native_callback(std::function<void(PyObject* argument)> call) {
  auto* owned = new NativeCallback{std::move(call)};
  PyObject* capsule = PyCapsule_New(owned, kNativeCapsule, release_native);
  if (!capsule) {
    std::unique_ptr<NativeCallback> native(owned);
    run_uncalled(*native);
    py::throw_python_error();
  }
  py::Ref self = py::Ref::steal(capsule);
  return py::Ref::steal(PyCFunction_NewEx(&g_call_native, self.get(), nullptr));
}

// The exception object that fails the future, for the exception in flight.
py::Ref failure_of_current_exception() {
  try {
    throw;
  } catch (const py::ErrorAlreadySet&) {
    return py::take_pending_error();
  } catch (const Error& error) {
    return py::Ref::steal(PyObject_CallFunction(py::exception_class(error.kind()), "s", error.message().c_str()));
  } catch (const std::exception& fault) {
    std::string text = std::string("operation failed with an internal fault: ") +
                       (*fault.what() ? fault.what() : "unknown error");
    return py::Ref::steal(PyObject_CallFunction(operation_panic(), "s#", text.data(),
                                                static_cast<Py_ssize_t>(text.size())));
  } catch (...) {
    return py::Ref::steal(
        PyObject_CallFunction(operation_panic(), "s", "operation failed with an internal fault: unknown error"));
  }
}

// The result, or the exception object that fails the future.
struct Outcome {
  bool failed;
  py::Ref value;
};

OVIK_CATCHES_FORCED_UNWIND Outcome outcome_of(const MakeResult& make_result) {
  try {
    return {false, make_result()};
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return {true, failure_of_current_exception()};
  }
}

// The setter that completes a future with `outcome`, unless it is done already.
PyObject* setter_of(const Outcome& outcome) {
  const AsyncioNames& names = asyncio_names();
  return outcome.failed ? names.set_exception.get() : names.set_result.get();
}

void schedule(const PendingFuture& pending, const Outcome& outcome) {
  PyObject* setter = setter_of(outcome);
  py::Ref call_soon = py::Ref::steal(PyObject_GetAttrString(pending.loop.get(), "call_soon_threadsafe"));
  py::Ref args = py::Ref::steal(PyTuple_Pack(3, setter, pending.future.get(), outcome.value.get()));
  py::Ref kwargs = py::Ref::steal(Py_BuildValue("{s:O}", "context", pending.context.get()));
  py::Ref handle = py::Ref::steal(PyObject_Call(call_soon.get(), args.get(), kwargs.get()));
}

}  // namespace

runtime::Runtime& bridge_runtime() { return g_bridge_runtime.get(); }

void on_done(const py::Ref& future, std::function<void(bool cancelled)> react) {
  py::Ref callback = native_callback([react = std::move(react)](PyObject* done) {
    react(!done || py::returned_true(PyObject_CallMethod(done, "cancelled", nullptr), true));
  });
  py::Ref added = py::Ref::steal(PyObject_CallMethod(future.get(), "add_done_callback", "O", callback.get()));
}

void call_soon(const py::Ref& loop, std::function<void()> run) {
  py::Ref callback = native_callback([run = std::move(run)](PyObject* argument) {
    if (argument) run();
  });
  py::Ref handle = py::Ref::steal(PyObject_CallMethod(loop.get(), "call_soon", "OO", callback.get(), Py_None));
}

PyObject* operation_panic() {
  static PyObject* type = nullptr;
  return py::lasting_exception_class(type, "ovik_sdk.OperationPanic",
                                     "An awaited operation ended with an internal fault.", PyExc_Exception);
}

PendingFuture create_future() {
  const AsyncioNames& names = asyncio_names();
  PendingFuture pending;
  pending.loop = py::Ref::steal(PyObject_CallFunctionObjArgs(names.get_running_loop.get(), nullptr));
  pending.context = py::Ref::steal(PyObject_CallFunctionObjArgs(names.copy_context.get(), nullptr));
  pending.future = py::Ref::steal(PyObject_CallMethod(pending.loop.get(), "create_future", nullptr));
  return pending;
}

void complete_now(const PendingFuture& pending, const MakeResult& make_result) {
  Outcome outcome = outcome_of(make_result);
  py::Ref none = py::Ref::steal(
      PyObject_CallFunctionObjArgs(setter_of(outcome), pending.future.get(), outcome.value.get(), nullptr));
}

bool hand_over(const PendingFuture& pending, const MakeResult& make_result) {
  try {
    // The future may have been cancelled: its done-callbacks are on their way.
    if (py::returned_true(PyObject_CallMethod(pending.future.get(), "done", nullptr), true)) return false;
    schedule(pending, outcome_of(make_result));
    return true;
  } catch (const py::ErrorAlreadySet&) {
    // A loop closed before the operation ended has no one to tell.
    py::Ref error = py::take_pending_error();
    if (py::returned_true(PyObject_CallMethod(pending.loop.get(), "is_closed", nullptr), false)) return false;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.get())), error.get());
    py::print_pending_error();
    return false;
  }
}

namespace detail {

void abort_on_cancel(const PendingFuture& pending, std::function<void()> abort) {
  on_done(pending.future, [abort = std::move(abort)](bool cancelled) {
    if (cancelled) abort();
  });
}

void complete(PendingFuture& pending, const MakeResult& make_result) {
  // Operations end on the runtime's workers, which live as long as the
  // process: each keeps one Python thread state instead of making one per
  // outcome.
  py::keep_thread_state();
  py::with_gil([&] {
    PendingFuture owned = std::move(pending);  // released here, under the lock
    hand_over(owned, make_result);
  });
}

}  // namespace detail

}  // namespace ovik::python
