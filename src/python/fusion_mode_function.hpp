#pragma once
// set_fusion_mode(mode): 6-axis or 9-axis orientation fusion.
#include "python/py/python.hpp"

namespace ovik::python {

const PyMethodDef& set_fusion_mode_function();

}  // namespace ovik::python
