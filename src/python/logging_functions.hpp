#pragma once
// get_sdk_version, initialize_logging_py and initialize_logging_with_file_py.
#include "python/py/python.hpp"

namespace ovik::python {

const PyMethodDef& get_sdk_version_function();
const PyMethodDef& initialize_logging_function();
const PyMethodDef& initialize_logging_with_file_function();

}  // namespace ovik::python
