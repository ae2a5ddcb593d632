#include "python/logging_functions.hpp"

#include "common/version.hpp"
#include "log/setup.hpp"
#include "python/enum_classes.hpp"
#include "python/py/class_builder.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

constexpr Signature kGetSdkVersion{"get_sdk_version"};
constexpr Param kLevel[] = {{"level"}};
constexpr Signature kInitLogging{"initialize_logging_py", {}, kLevel};
constexpr Param kLevelAndFlag[] = {{"level"}, {"enable_file_logging"}};
constexpr Signature kInitLoggingWithFile{"initialize_logging_with_file_py", {}, kLevelAndFlag};

Ref get_sdk_version(Arguments&) { return py::to_str(kSdkVersion); }

Ref run_logging_setup(std::uint8_t level, bool enable_file_logging) {
  // The set-up never lets go of the interpreter lock, so a second thread
  // calling in waits for the lock, not inside the set-up's once-guard.
  Result<void> done = log::init_logging(static_cast<log::Level>(level), enable_file_logging);
  if (!done) throw done.error();
  return py::none();
}

Ref initialize_logging(Arguments& args) {
  auto level = args.get<py::Member<kLogLevel>>(0);
  return run_logging_setup(level.value, true);
}

Ref initialize_logging_with_file(Arguments& args) {
  auto level = args.get<py::Member<kLogLevel>>(0);
  bool enable_file_logging = args.get<bool>(1);
  return run_logging_setup(level.value, enable_file_logging);
}

}  // namespace

const PyMethodDef& get_sdk_version_function() {
  static const PyMethodDef def = py::interpreter_checked_function<kGetSdkVersion, get_sdk_version>();
  return def;
}

const PyMethodDef& initialize_logging_function() {
  static const PyMethodDef def = py::function<kInitLogging, initialize_logging>();
  return def;
}

const PyMethodDef& initialize_logging_with_file_function() {
  static const PyMethodDef def = py::function<kInitLoggingWithFile, initialize_logging_with_file>();
  return def;
}

}  // namespace ovik::python
