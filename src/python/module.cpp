// The extension module ovik_sdk.main_mod: multi-phase initialisation with a
// single execution step.
#include "common/version.hpp"
#include "log/log.hpp"
#include "pipeline/ingestion_hook.hpp"
#include "python/buffer_functions.hpp"
#include "python/callback_functions.hpp"
#include "python/callback_sink.hpp"
#include "python/device/device_object.hpp"
#include "python/device/sensor_profile.hpp"
#include "python/dfu_function.hpp"
#include "python/dfu_progress_class.hpp"
#include "python/enum_classes.hpp"
#include "python/filter_classes.hpp"
#include "python/fusion_mode_function.hpp"
#include "python/log_forwarding.hpp"
#include "python/logging_functions.hpp"
#include "python/parser_classes.hpp"
#include "python/py/boundary.hpp"
#include "python/py/module_builder.hpp"
#include "python/shutdown_hook.hpp"
#include "python/usb_functions.hpp"

namespace ovik::python {

namespace {

constexpr std::string_view kModuleTarget = "ovik_sdk::python::py_mod";

// The public names in the order of `__all__`.
void add_names(py::ModuleBuilder& module) {
  module.add_class(py::enum_type<kLogLevel>());
  module.add_class(py::type_object<ParserObject>());
  module.add_class(py::type_object<StreamObject>());
  module.add_class(py::type_object<SerialStreamObject>());
  module.add_class(py::type_object<DeviceObject>());
  module.add_class(py::type_object<SensorProfileObject>());
  module.add_class(py::enum_type<kDfuState>());
  module.add_class(py::type_object<ProgressObject>());
  module.add_class(py::type_object<LowPassFilter>());
  module.add_class(py::type_object<HighPassFilter>());
  module.add_class(py::type_object<BandPassFilter>());
  module.add_class(py::type_object<BandStopFilter>());
  module.add_function(get_sdk_version_function());
  module.add_function(initialize_logging_function());
  module.add_function(initialize_logging_with_file_function());
  module.add_function(available_usb_ports_function());
  module.add_function(get_usb_available_ports_function());
  module.add_function(perform_serial_dfu_function());
  module.add_class(py::enum_type<kMsgType>());
  module.add_class(py::enum_type<kNoiseTypes>());
  module.add_class(py::enum_type<kDownsamplingOperations>());
  module.add_class(py::enum_type<kSamplingRate>());
  module.add_class(py::enum_type<kAfeSampleRate>());
  module.add_class(py::enum_type<kImuSampleRate>());
  module.add_class(py::enum_type<kImuMode>());
  module.add_class(py::enum_type<kMagSampleRate>());
  module.add_class(py::enum_type<kUploadDataType>());
  module.add_class(py::enum_type<kCtrlBoxPort>());
  module.add_class(py::enum_type<kFusionMode>());
  for (const PyMethodDef& def : callback_functions()) module.add_function(def);
  for (const PyMethodDef& def : buffer_cap_functions()) module.add_function(def);
  for (const PyMethodDef& def : clear_buffer_functions()) module.add_function(def);
  for (const PyMethodDef& def : buffer_getter_functions()) module.add_function(def);
  module.add_function(set_fusion_mode_function());
}

int execute(PyObject* module) {
  return py::boundary<int>(-1, [&] {
    if (!PyModule_Check(module))
      throw Error("'" + py::type_name(module) + "' object is not an instance of 'module'", ErrorKind::Type);
    install_log_forwarding();
    register_shutdown_hook();
    install_callback_sink();
    pipeline::install_ingestion();
    OVIK_LOG(Info, kModuleTarget, "ovik_sdk version: {}", kSdkVersion);
    py::ModuleBuilder builder(module);
    add_names(builder);
    return 0;
  });
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(execute)},
    {0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT, "main_mod", "", 0, nullptr, g_slots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace ovik::python

PyMODINIT_FUNC PyInit_main_mod() { return PyModuleDef_Init(&ovik::python::g_module); }
