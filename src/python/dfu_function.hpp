#pragma once
// perform_serial_dfu_py: a firmware update as an awaitable, with progress
// records handed to a Python callable.
#include "python/py/python.hpp"

namespace ovik::python {

const PyMethodDef& perform_serial_dfu_function();

}  // namespace ovik::python
