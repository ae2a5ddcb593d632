#pragma once
// available_usb_ports and get_usb_available_ports: the USB serial port
// listing as a Python program sees it.
#include "python/py/python.hpp"

namespace ovik::python {

const PyMethodDef& available_usb_ports_function();
const PyMethodDef& get_usb_available_ports_function();

}  // namespace ovik::python
