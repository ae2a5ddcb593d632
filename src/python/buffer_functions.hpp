#pragma once
// The module functions over the sample buffers, in the module's order: the
// four capacity setters, the four emptying functions and the eight getters.
#include <span>

#include "python/py/python.hpp"

namespace ovik::python {

std::span<const PyMethodDef> buffer_cap_functions();
std::span<const PyMethodDef> clear_buffer_functions();
std::span<const PyMethodDef> buffer_getter_functions();

}  // namespace ovik::python
