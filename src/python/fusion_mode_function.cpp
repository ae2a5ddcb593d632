#include "python/fusion_mode_function.hpp"

#include "pipeline/fusion.hpp"
#include "python/enum_classes.hpp"
#include "python/py/class_builder.hpp"

namespace ovik::python {

namespace {

constexpr py::Param kMode[] = {{"mode"}};
constexpr py::Signature kSetFusionMode{"set_fusion_mode", {}, kMode};

py::Ref set_fusion_mode(py::Arguments& args) {
  auto mode = args.get<py::Member<kFusionMode>>(0);
  pipeline::set_fusion_mode(static_cast<pipeline::FusionMode>(mode.value));
  return py::none();
}

}  // namespace

const PyMethodDef& set_fusion_mode_function() {
  static const PyMethodDef def = py::function<kSetFusionMode, set_fusion_mode>();
  return def;
}

}  // namespace ovik::python
