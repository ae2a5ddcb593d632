#pragma once
// The forwarding of the SDK's log records into Python's `logging`: each record
// up to Debug goes to the logger named after its target ("::" as "."). A
// target's logger and the levels it has enabled are looked up at its first
// record and cached, so later level changes on the Python side are not seen
// for that target. Trace records are dropped at the source.
namespace ovik::python {

// Installs the forwarding in the process-wide sink (made once per process;
// a later call installs the same one again). Raises ImportError "Failed to
// initialize python logging: {}" when `logging` cannot be imported.
void install_log_forwarding();

}  // namespace ovik::python
