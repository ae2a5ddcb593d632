// A test-only extension built from the binding layer's sources: functions and
// a class with the argument shapes, conversions, borrows and failure paths
// that the tests drive through the interpreter.
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "log/log.hpp"
#include "python/bridge/awaitable.hpp"
#include "python/log_forwarding.hpp"
#include "python/py/class_builder.hpp"
#include "python/py/module_builder.hpp"
#include "python/shutdown_hook.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/first_of.hpp"

namespace probe {

using namespace ovik;
using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

Ref tuple_of(Arguments& args, std::size_t count) {
  Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(count)));
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* value = args.given(i) ? args.raw(i) : Py_None;
    Py_INCREF(value);
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i), value);
  }
  return tuple;
}

// Binding only: the bound objects, None for absent optional ones.
constexpr Param kThree[] = {{"a"}, {"b"}, {"c"}};
constexpr Signature kRequired3{"required3", {}, kThree};
Ref required3(Arguments& args) { return tuple_of(args, 3); }

constexpr Param kOptional[] = {{"a"}, {"b", "None"}, {"c", "5"}};
constexpr Signature kOptionalSig{"optional", {}, kOptional};
Ref optional(Arguments& args) { return tuple_of(args, 3); }

constexpr Param kKeywordOnly[] = {{"a"}, {"flag", {}, true}, {"extra", "None", true}, {"mode", {}, true}};
constexpr Signature kKeywordOnlySig{"keyword_only", {}, kKeywordOnly};
Ref keyword_only(Arguments& args) { return tuple_of(args, 4); }

// Conversions: each returns the converted value as Python sees it back.
constexpr Param kX[] = {{"x"}};
template <class T>
Ref integer(Arguments& args) {
  T value = args.get<T>(0);
  if constexpr (std::is_signed_v<T>) return py::to_int(value);
  else return py::to_uint(value);
}
constexpr Signature kU8{"to_u8", {}, kX};
constexpr Signature kU16{"to_u16", {}, kX};
constexpr Signature kU32{"to_u32", {}, kX};
constexpr Signature kI32{"to_i32", {}, kX};
constexpr Signature kI64{"to_i64", {}, kX};
constexpr Signature kU64{"to_u64", {}, kX};
constexpr Signature kUsize{"to_usize", {}, kX};

Ref float_list(const std::vector<float>& values) {
  Ref list = Ref::steal(PyList_New(0));
  for (float value : values)
    if (PyList_Append(list.get(), py::to_float(value).get()) < 0) py::throw_python_error();
  return list;
}

constexpr Signature kTriple{"to_triple", {}, kX};
Ref to_triple(Arguments& args) {
  auto triple = args.get<std::optional<std::array<float, 3>>>(0);
  if (!triple) return py::none();
  return float_list({triple->begin(), triple->end()});
}

constexpr Signature kRows{"to_rows", {}, kX};
Ref to_rows(Arguments& args) {
  auto rows = args.get<std::optional<std::vector<std::array<float, 3>>>>(0);
  if (!rows) return py::none();
  Ref list = Ref::steal(PyList_New(0));
  for (const auto& row : *rows)
    if (PyList_Append(list.get(), float_list({row.begin(), row.end()}).get()) < 0) py::throw_python_error();
  return list;
}

constexpr Param kDefaulted[] = {{"x", "7"}};
constexpr Signature kMisdeclared{"misdeclared", {}, kDefaulted};
// Reads its optional argument as if it were required.
Ref misdeclared(Arguments& args) { return py::to_uint(args.get<std::uint32_t>(0)); }

// Failures at the boundary.
constexpr Param kKindMessage[] = {{"kind"}, {"message"}};
constexpr Signature kRaiseError{"raise_error", {}, kKindMessage};
Ref raise_error(Arguments& args) {
  auto kind = static_cast<ErrorKind>(args.get<int>(0));
  throw Error(args.get<std::string>(1), kind);
}

constexpr Param kMessage[] = {{"message"}};
constexpr Signature kRaiseFault{"raise_fault", {}, kMessage};
Ref raise_fault(Arguments& args) { throw std::runtime_error(args.get<std::string>(0)); }

constexpr Signature kRaiseUnknown{"raise_unknown"};
Ref raise_unknown(Arguments&) { throw 42; }

constexpr Signature kPanicType{"panic_type"};
Ref panic_type(Arguments&) { return Ref::borrow(py::panic_exception()); }

// Releases without the lock.
Ref g_held;

constexpr Param kObject[] = {{"obj"}};
constexpr Signature kHold{"hold", {}, kObject};
Ref hold(Arguments& args) {
  g_held = args.get<Ref>(0);
  return py::none();
}

constexpr Signature kReleaseOnThread{"release_held_on_thread"};
Ref release_held_on_thread(Arguments&) {
  Ref taken = std::move(g_held);
  std::thread([taken = std::move(taken)]() mutable { taken.reset(); }).join();
  return py::none();
}

// Lets go of the lock while `work` runs on another thread.
template <class F>
void run_on_thread_without_lock(F work) {
  int held = py::detail::t_held;
  py::detail::t_held = 0;
  PyThreadState* state = PyEval_SaveThread();
  std::thread(work).join();
  PyEval_RestoreThread(state);
  py::detail::t_held = held;
}

constexpr Param kFn[] = {{"fn"}};
constexpr Signature kCallOnThread{"call_on_thread", {}, kFn};
Ref call_on_thread(Arguments& args) {
  Ref fn = args.get<Ref>(0);
  bool ran = false;
  run_on_thread_without_lock([&] {
    ran = py::with_gil([&] {
      PyObject* result = PyObject_CallFunctionObjArgs(fn.get(), nullptr);
      if (result) Py_DECREF(result);
      else PyErr_Clear();
    });
  });
  return py::to_bool(ran);
}

constexpr Signature kStartCaller{"start_caller_thread", {}, kFn};
// Calls `fn` under the lock from a thread of its own, left running.
Ref start_caller_thread(Arguments& args) {
  std::thread([fn = args.get<Ref>(0)] {
    py::with_gil([&] {
      PyObject* result = PyObject_CallFunctionObjArgs(fn.get(), nullptr);
      if (result) Py_DECREF(result);
      else PyErr_Clear();
    });
  }).detach();
  return py::none();
}

// Logging from threads that are not the interpreter's.
constexpr std::string_view kProbeTarget = "ovik_sdk::probe::threads";

constexpr Signature kInstallForwarding{"install_forwarding"};
Ref install_forwarding(Arguments&) {
  python::install_log_forwarding();
  python::register_shutdown_hook();
  return py::none();
}

constexpr Param kLevelTargetMessage[] = {{"level"}, {"target"}, {"message"}};
constexpr Signature kLog{"log", {}, kLevelTargetMessage};
Ref log_record(Arguments& args) {
  auto level = static_cast<log::Level>(args.get<std::uint8_t>(0));
  std::string target = args.get<std::string>(1);
  std::string message = args.get<std::string>(2);
  if (log::enabled(level, target)) log::emit(level, target, message);
  return py::none();
}

constexpr Param kCountParam[] = {{"count"}};
constexpr Signature kLogOnThreads{"log_on_threads", {}, kCountParam};
// Each thread logs one record; the call returns once all have.
Ref log_on_threads(Arguments& args) {
  auto count = args.get<std::uint32_t>(0);
  run_on_thread_without_lock([count] {
    std::vector<std::thread> threads;
    for (std::uint32_t i = 0; i < count; ++i)
      threads.emplace_back([i] { OVIK_LOG(Info, kProbeTarget, "record from thread {}", i); });
    for (auto& thread : threads) thread.join();
  });
  return py::none();
}

// Awaitable operations on the bridge. Each counts whether its body ran to the
// end or was dropped at a suspension point.
std::atomic<int> g_finished{0};
std::atomic<int> g_dropped{0};

struct OperationWitness {
  bool finished = false;
  ~OperationWitness() { ++(finished ? g_finished : g_dropped); }
};

asio::awaitable<long long> sleep_then(std::chrono::milliseconds delay, long long value) {
  OperationWitness witness;
  if (delay.count() > 0) co_await runtime::sleep_for(delay);
  witness.finished = true;
  co_return value;
}

asio::awaitable<long long> fail_after(std::chrono::milliseconds delay, bool fault, std::string message) {
  OperationWitness witness;
  co_await runtime::sleep_for(delay);
  witness.finished = true;
  if (fault) throw std::runtime_error(message);
  throw Error(message);
}

asio::awaitable<void> forever() {
  OperationWitness witness;
  runtime::CancellationToken never;
  co_await never.cancelled();
}

constexpr Param kDelayValue[] = {{"delay_ms"}, {"value"}};
constexpr Signature kSleepThen{"sleep_then", {}, kDelayValue};
// The synchronous part counts the calls, so a test can see that it ran
// before the bridge asked for a running loop.
std::atomic<int> g_calls{0};
Ref sleep_then_py(Arguments& args) {
  auto delay = std::chrono::milliseconds(args.get<std::uint32_t>(0));
  long long value = args.get<long long>(1);
  ++g_calls;
  return python::into_future(sleep_then(delay, value), [](long long result) { return py::to_int(result); });
}

constexpr Param kDelayFaultMessage[] = {{"delay_ms"}, {"fault"}, {"message"}};
constexpr Signature kFailAfter{"fail_after", {}, kDelayFaultMessage};
Ref fail_after_py(Arguments& args) {
  auto delay = std::chrono::milliseconds(args.get<std::uint32_t>(0));
  bool fault = args.get<bool>(1);
  return python::into_future(fail_after(delay, fault, args.get<std::string>(2)),
                             [](long long result) { return py::to_int(result); });
}

constexpr Signature kForever{"forever"};
Ref forever_py(Arguments&) { return python::into_future(forever()); }

constexpr Signature kCounts{"operation_counts"};
Ref operation_counts(Arguments&) {
  return Ref::steal(Py_BuildValue("(iii)", g_calls.load(), g_finished.load(), g_dropped.load()));
}

constexpr Signature kOperationPanic{"operation_panic_type"};
Ref operation_panic_type(Arguments&) { return Ref::borrow(python::operation_panic()); }

// A class: borrows, properties, a constructor with a default.
struct Counter {
  std::uint32_t count = 0;
  std::optional<std::uint32_t> limit;
  static py::ClassSpec class_spec();
};

constexpr Param kCounterNew[] = {{"start", "0"}};
constexpr Signature kCounterNewSig{"__new__", "Counter", kCounterNew};
Ref counter_new(PyTypeObject* cls, Arguments& args) {
  return py::make_instance(cls, Counter{args.get_or<std::uint32_t>(0, 0), std::nullopt});
}

constexpr Signature kValue{"value", "Counter"};
Ref counter_value(py::Shared<Counter>& self, Arguments&) { return py::to_uint(self->count); }

constexpr Param kBy[] = {{"by", "1"}};
constexpr Signature kIncrement{"increment", "Counter", kBy};
Ref counter_increment(py::Exclusive<Counter>& self, Arguments& args) {
  self->count += args.get_or<std::uint32_t>(0, 1);
  return py::none();
}

Ref call_back(Arguments& args) {
  Ref fn = args.get<Ref>(0);
  return Ref::steal(PyObject_CallFunctionObjArgs(fn.get(), nullptr));
}

constexpr Signature kCallShared{"call_while_shared", "Counter", kFn};
Ref call_while_shared(py::Shared<Counter>&, Arguments& args) { return call_back(args); }

constexpr Signature kCallExclusive{"call_while_exclusive", "Counter", kFn};
Ref call_while_exclusive(py::Exclusive<Counter>&, Arguments& args) { return call_back(args); }

constexpr Param kOther[] = {{"other"}};
constexpr Signature kAbsorb{"absorb", "Counter", kOther};
Ref absorb(py::Shared<Counter>& self, Arguments& args) {
  py::Exclusive<Counter> other = args.get<py::Exclusive<Counter>>(0);
  other->count += self->count;
  return py::none();
}

Ref get_count(py::Shared<Counter>& self) { return py::to_uint(self->count); }
void set_count(py::Exclusive<Counter>& self, std::uint32_t value) { self->count = value; }
Ref get_limit(py::Shared<Counter>& self) { return self->limit ? py::to_uint(*self->limit) : py::none(); }
void set_limit(py::Exclusive<Counter>& self, std::optional<std::uint32_t> value) { self->limit = value; }

py::ClassSpec Counter::class_spec() {
  py::ClassSpec spec;
  spec.name = "Counter";
  spec.constructor = &kCounterNewSig;
  spec.new_function = py::constructor<kCounterNewSig, counter_new>();
  spec.subclassable = true;
  spec.methods = {py::method<kValue, counter_value>(), py::method<kIncrement, counter_increment>("Adds to it."),
                  py::method<kCallShared, call_while_shared>(), py::method<kCallExclusive, call_while_exclusive>(),
                  py::method<kAbsorb, absorb>()};
  spec.properties = {py::property<get_count, set_count>("count"), py::property<get_limit, set_limit>("limit")};
  return spec;
}

int execute(PyObject* module) {
  return py::boundary<int>(-1, [&] {
    py::ModuleBuilder builder(module);
    static const PyMethodDef functions[] = {
        py::function<kRequired3, required3>(),
        py::function<kOptionalSig, optional>(),
        py::function<kKeywordOnlySig, keyword_only>(),
        py::function<kU8, integer<std::uint8_t>>(),
        py::function<kU16, integer<std::uint16_t>>(),
        py::function<kU32, integer<std::uint32_t>>(),
        py::function<kI32, integer<std::int32_t>>(),
        py::function<kI64, integer<std::int64_t>>(),
        py::function<kU64, integer<std::uint64_t>>(),
        py::function<kUsize, integer<std::size_t>>(),
        py::function<kTriple, to_triple>(),
        py::function<kRows, to_rows>(),
        py::function<kMisdeclared, misdeclared>(),
        py::function<kSleepThen, sleep_then_py>(),
        py::function<kFailAfter, fail_after_py>(),
        py::function<kForever, forever_py>(),
        py::function<kCounts, operation_counts>(),
        py::function<kOperationPanic, operation_panic_type>(),
        py::function<kRaiseError, raise_error>(),
        py::function<kRaiseFault, raise_fault>(),
        py::function<kRaiseUnknown, raise_unknown>(),
        py::function<kPanicType, panic_type>(),
        py::function<kHold, hold>(),
        py::function<kReleaseOnThread, release_held_on_thread>(),
        py::function<kCallOnThread, call_on_thread>(),
        py::function<kStartCaller, start_caller_thread>(),
        py::function<kInstallForwarding, install_forwarding>(),
        py::function<kLog, log_record>(),
        py::function<kLogOnThreads, log_on_threads>(),
    };
    for (const PyMethodDef& def : functions) builder.add_function(def);
    builder.add_class(py::type_object<Counter>());
    return 0;
  });
}

PyModuleDef_Slot g_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(execute)}, {0, nullptr}};
PyModuleDef g_module = {PyModuleDef_HEAD_INIT, "binder_probe", "", 0, nullptr, g_slots, nullptr, nullptr, nullptr};

}  // namespace probe

PyMODINIT_FUNC PyInit_binder_probe() { return PyModuleDef_Init(&probe::g_module); }
