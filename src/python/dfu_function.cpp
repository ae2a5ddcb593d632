#include "python/dfu_function.hpp"

#include <cxxabi.h>

#include "dfu/perform.hpp"
#include "python/bridge/awaitable.hpp"
#include "python/dfu_progress_class.hpp"
#include "python/py/class_builder.hpp"

namespace ovik::python {

namespace {

using py::Arguments;
using py::Param;
using py::Ref;
using py::Signature;

constexpr Param kParams[] = {{"port_name"},
                             {"firmware_path"},
                             {"on_progress", "None"},
                             {"chunk_size", "512"},
                             {"response_timeout_ms", "10000"},
                             {"start_timeout_ms", "30000"},
                             {"reboot_delay_secs", "10"},
                             {"via_mcu", "False"},
                             {"verbose", "False"}};
constexpr Signature kPerformSerialDfu{"perform_serial_dfu_py", {}, kParams};

// Under the interpreter lock: a new DfuProgress for the callable. What the
// call raises is printed, and the update goes on.
void deliver(const Ref& callable, const dfu::DfuProgress& record) {
  py::with_gil([&] {
    try {
      Ref progress = py::make_instance(ProgressObject{record});
      Ref result = py::interpreter_call(
          [&] { return Ref::steal(PyObject_CallFunctionObjArgs(callable.get(), progress.get(), nullptr)); });
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (...) {
      py::translate_current_exception();
      py::print_pending_error();
    }
  });
}

dfu::ProgressCallback progress_callback(std::optional<Ref> on_progress) {
  if (!on_progress) return {};
  // Shared so that the callback can be copied; the last copy releases the
  // reference (later, when its thread lacks the interpreter lock).
  auto callable = std::make_shared<Ref>(std::move(*on_progress));
  return [callable](const dfu::DfuProgress& record) { deliver(*callable, record); };
}

asio::awaitable<void> run_update(std::string port_name, std::string firmware_path, dfu::ProgressCallback on_progress,
                                 dfu::DfuConfig config) {
  Result<void> outcome = co_await dfu::perform_serial_dfu(std::move(port_name), std::move(firmware_path),
                                                          std::move(on_progress), config);
  outcome.value();
}

Ref perform_serial_dfu_py(Arguments& args) {
  std::string port_name = args.get<std::string>(0);
  std::string firmware_path = args.get<std::string>(1);
  std::optional<Ref> on_progress = args.get<std::optional<Ref>>(2);
  dfu::DfuConfig config;
  config.chunk_size = args.get_or<std::uint64_t>(3, config.chunk_size);
  config.response_timeout_ms = args.get_or<std::uint64_t>(4, config.response_timeout_ms);
  config.start_timeout_ms = args.get_or<std::uint64_t>(5, config.start_timeout_ms);
  config.reboot_delay_secs = args.get_or<std::uint64_t>(6, config.reboot_delay_secs);
  config.via_mcu = args.get_or<bool>(7, config.via_mcu);
  config.verbose = args.get_or<bool>(8, config.verbose);
  if (config.chunk_size == 0) throw Error("chunk_size must be greater than 0", ErrorKind::Value);
  return into_future(run_update(std::move(port_name), std::move(firmware_path),
                                progress_callback(std::move(on_progress)), config));
}

}  // namespace

const PyMethodDef& perform_serial_dfu_function() {
  static const PyMethodDef def = py::function<kPerformSerialDfu, perform_serial_dfu_py>();
  return def;
}

}  // namespace ovik::python
