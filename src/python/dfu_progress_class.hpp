#pragma once
// DfuProgress: one progress record of a firmware update, read-only.
#include "dfu/progress.hpp"
#include "python/py/class_builder.hpp"

namespace ovik::python {

struct ProgressObject {
  dfu::DfuProgress record;
  static py::ClassSpec class_spec();
};

}  // namespace ovik::python
