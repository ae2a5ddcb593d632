#pragma once
// The sink through which the data pipeline hands rows and messages to the
// callables in the callback slots.
namespace ovik::python {

// Installs the sink for the process (made once; later calls reinstall it).
void install_callback_sink();

}  // namespace ovik::python
