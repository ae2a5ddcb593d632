#include "python/shutdown_hook.hpp"

#include <chrono>

#include "python/py/boundary.hpp"
#include "python/py/ref.hpp"

namespace ovik::python {

namespace {

// How long the hook lets records and callbacks that are being handed to
// Python finish before the interpreter goes on to finalise.
constexpr std::chrono::milliseconds kGrace{2000};

PyObject* on_exit(PyObject*, PyObject*) {
  return py::boundary_object([] {
    py::begin_shutdown(kGrace);
    return py::none();
  });
}

PyMethodDef g_hook{"_ovik_sdk_shutdown", on_exit, METH_NOARGS, nullptr};
bool g_registered = false;  // changed under the lock

}  // namespace

void register_shutdown_hook() {
  if (g_registered) return;
  py::Ref atexit = py::Ref::steal(PyImport_ImportModule("atexit"));
  py::Ref hook = py::Ref::steal(PyCFunction_NewEx(&g_hook, nullptr, nullptr));
  py::Ref done = py::Ref::steal(PyObject_CallMethod(atexit.get(), "register", "O", hook.get()));
  g_registered = true;
}

}  // namespace ovik::python
