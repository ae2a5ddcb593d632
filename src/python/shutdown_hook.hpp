#pragma once
// The atexit hook after which threads that do not belong to the interpreter
// never take the interpreter lock (see py/gil.hpp).
namespace ovik::python {

// Registers the hook with `atexit` once per process.
void register_shutdown_hook();

}  // namespace ovik::python
