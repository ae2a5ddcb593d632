#include "python/log_forwarding.hpp"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "log/log.hpp"
#include "python/py/convert.hpp"
#include "python/py/gil.hpp"

namespace ovik::python {

namespace {

using log::Level;

constexpr int kPythonLevels[] = {40, 30, 20, 10};  // Error, Warn, Info, Debug
constexpr std::size_t kForwardedLevels = std::size(kPythonLevels);

std::string logger_name(std::string_view target) {
  std::string name;
  name.reserve(target.size());
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target.compare(i, 2, "::") == 0) {
      name.push_back('.');
      ++i;
    } else {
      name.push_back(target[i]);
    }
  }
  return name;
}

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

class PythonLogOutput final : public log::Output {
 public:
  PythonLogOutput(py::Ref get_logger, py::Ref is_finalizing)
      : get_logger_(std::move(get_logger)), is_finalizing_(std::move(is_finalizing)) {}

  // Never runs Python code: it may be asked while the caller holds SDK locks.
  // A target not looked up yet lets the record through to `write`, which
  // looks it up under the interpreter lock (once the caller's deferred scope,
  // if any, has ended).
  bool enabled(Level level, std::string_view target) const override {
    if (static_cast<std::size_t>(level) >= kForwardedLevels) return false;
    if (py::shutdown_begun() && !py::on_shutdown_thread()) return false;
    const Target* known = cached(target);
    return !known || known->enabled[static_cast<std::size_t>(level)];
  }

  // The sink asked `enabled` just before.
  void write(const log::Record& record) override {
    py::with_gil([&] {
      py::SavedError caller_error;  // a failing call may log before it raises
      if (py::shutdown_begun() && finalizing()) return;
      const Target* target = resolve(record.target);
      if (!target || !target->enabled[static_cast<std::size_t>(record.level)]) return;
      forward(*target, record);
    });
  }

  Level max_level() const override { return Level::Debug; }

  // One acquisition of the interpreter lock for a run of records: a thread
  // that receives data must not wait for a busy lock once per record.
  void write_together(std::span<const log::Record> records, const std::function<void()>& writes) override {
    const bool any = std::any_of(records.begin(), records.end(),
                                 [&](const log::Record& record) { return enabled(record.level, record.target); });
    if (!any || !py::with_gil(writes)) writes();
  }

 private:
  struct Target {
    py::Ref logger;
    py::Ref name;
    std::array<bool, kForwardedLevels> enabled{};
  };

  // Each record asks first whether its target is enabled, so this runs
  // several times per received frame. A thread keeps the few targets it has
  // found (their texts are the map's own keys, which never go away) and
  // skips the shared lock, whose counter every thread would write to.
  const Target* cached(std::string_view target) const {
    struct Found {
      std::string_view key;
      const Target* entry = nullptr;
    };
    thread_local std::array<Found, 8> found_here{};
    thread_local std::size_t next_place = 0;
    for (const Found& found : found_here)
      if (found.entry && found.key == target) return found.entry;
    std::shared_lock lock(mutex_);
    auto found = targets_.find(target);
    if (found == targets_.end()) return nullptr;
    found_here[next_place++ % found_here.size()] = {found->first, found->second.get()};
    return found->second.get();
  }

  // Under the interpreter lock, with no error pending. Null when the lookup
  // failed (reported).
  const Target* resolve(std::string_view target) const {
    if (const Target* known = cached(target)) return known;
    auto made = std::make_unique<Target>();
    if (!report_failure([&] { look_up(target, *made); })) return nullptr;
    std::unique_lock lock(mutex_);
    // Another thread may have looked it up meanwhile; the first one stays.
    auto [entry, inserted] = targets_.try_emplace(std::string(target), std::move(made));
    return entry->second.get();
  }

  void look_up(std::string_view target, Target& entry) const {
    entry.name = py::to_str(logger_name(target));
    entry.logger = py::interpreter_call(
        [&] { return py::Ref::steal(PyObject_CallFunctionObjArgs(get_logger_.get(), entry.name.get(), nullptr)); });
    for (std::size_t i = 0; i < kForwardedLevels; ++i) {
      py::Ref result = py::interpreter_call(
          [&] { return py::Ref::steal(PyObject_CallMethod(entry.logger.get(), "isEnabledFor", "i", kPythonLevels[i])); });
      int truth = PyObject_IsTrue(result.get());
      if (truth < 0) py::throw_python_error();
      entry.enabled[i] = truth == 1;
    }
  }

  void forward(const Target& target, const log::Record& record) const {
    report_failure([&] {
      py::Ref message = py::to_str(record.message);
      py::Ref level = py::to_int(kPythonLevels[static_cast<std::size_t>(record.level)]);
      py::Ref no_arguments = py::Ref::steal(PyTuple_New(0));
      py::Ref made = py::interpreter_call([&] {
        return py::Ref::steal(PyObject_CallMethod(target.logger.get(), "makeRecord", "OOsiOOO", target.name.get(),
                                                  level.get(), "(unknown file)", 0, message.get(),
                                                  no_arguments.get(), Py_None));
      });
      py::interpreter_call([&] {
        return py::Ref::steal(PyObject_CallMethod(target.logger.get(), "handle", "O", made.get()));
      });
    });
  }

  bool finalizing() const {
    return py::returned_true(PyObject_CallFunctionObjArgs(is_finalizing_.get(), nullptr), true);
  }

  // Runs `step`; a Python error it raises is printed (the logging call site
  // has no way to take it). False when it failed.
  template <class F>
  static bool report_failure(F&& step) {
    try {
      step();
      return true;
    } catch (const py::ErrorAlreadySet&) {
      py::print_pending_error();
    }
    return false;
  }

  py::Ref get_logger_;
  py::Ref is_finalizing_;
  mutable std::shared_mutex mutex_;
  // Entries are never removed, so pointers to them stay valid.
  mutable std::unordered_map<std::string, std::unique_ptr<Target>, StringHash, std::equal_to<>> targets_;
};

PythonLogOutput* g_output = nullptr;  // made under the lock, kept for the process

py::Ref import_attribute(const char* module_name, const char* attribute) {
  py::Ref module = py::Ref::steal(PyImport_ImportModule(module_name));
  return py::Ref::steal(PyObject_GetAttrString(module.get(), attribute));
}

}  // namespace

void install_log_forwarding() {
  if (!g_output) {
    py::Ref get_logger;
    py::Ref is_finalizing;
    try {
      get_logger = import_attribute("logging", "getLogger");
      is_finalizing = import_attribute("sys", "is_finalizing");
    } catch (const py::ErrorAlreadySet&) {
      py::raise_from_pending(PyExc_ImportError, "Failed to initialize python logging: ");
    }
    if (!g_output) g_output = new PythonLogOutput(std::move(get_logger), std::move(is_finalizing));
  }
  log::sink().install(log::Slot::Python, g_output);
}

}  // namespace ovik::python
