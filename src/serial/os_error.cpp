#include "serial/os_error.hpp"

#include <cstring>

namespace ovik::serial {

std::string os_error_text(int errnum) {
  // Unlike strerror, this yields no "Unknown error N" text of its own and is
  // thread-safe.
  const char* text = strerrordesc_np(errnum);
  return text ? text : "Unknown errno";
}

Failure os_failure(int errnum) { return fail(os_error_text(errnum)); }

}  // namespace ovik::serial
