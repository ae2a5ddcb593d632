#pragma once
// Failures of system calls carry the system's own description of errno.
#include <string>

#include "common/result.hpp"

namespace ovik::serial {

// The description of an error number ("No such file or directory"), or
// "Unknown errno" for a number the C library does not know.
std::string os_error_text(int errnum);

// A failure carrying the description of `errnum`.
Failure os_failure(int errnum);

}  // namespace ovik::serial
