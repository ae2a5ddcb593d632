#pragma once
// The nine set_*_callback module functions, in the module's order.
#include <span>

#include "python/py/python.hpp"

namespace ovik::python {

std::span<const PyMethodDef> callback_functions();

}  // namespace ovik::python
