#pragma once
// Failures of system calls carry the error number and the system's own
// description of it; logs that must tell one failure from another show them
// in the debug form.
#include <string>
#include <string_view>

#include "common/result.hpp"

namespace ovik::serial {

// The description of an error number ("No such file or directory"), or
// "Unknown errno" for a number the C library does not know.
std::string os_error_text(int errnum);

// What kind of failure an error number reports ("NotFound",
// "PermissionDenied", "BrokenPipe"), or "Other" for a number that names no
// kind of its own (EIO, ENXIO, ...).
std::string_view os_error_kind(int errnum);

// A failure carrying `errnum` and its description.
Failure os_failure(int errnum);

// The debug form of an error, for logs:
//   Os { code: 5, kind: Other, message: "Input/output error" }
// for a failed system call, and for any other error its kind and text:
//   Error { kind: Runtime, message: "failed to write whole buffer" }
std::string debug_form(const Error& error);

}  // namespace ovik::serial
