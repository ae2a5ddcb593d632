#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "serial/os_error.hpp"

namespace ovik::serial {
namespace {

Error os_error(int errnum) { return Result<void>(os_failure(errnum)).error(); }

struct DebugCase {
  Error error;
  std::string debug;
};

TEST(OsErrorTest, DebugFormNamesTheKindAndForASystemCallItsCodeAndMessage) {
  const DebugCase cases[] = {
      {os_error(ENOENT), R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })"},
      {os_error(EPERM), R"(Os { code: 1, kind: PermissionDenied, message: "Operation not permitted" })"},
      {os_error(EACCES), R"(Os { code: 13, kind: PermissionDenied, message: "Permission denied" })"},
      {os_error(EAGAIN), R"(Os { code: 11, kind: WouldBlock, message: "Resource temporarily unavailable" })"},
      {os_error(EBUSY), R"(Os { code: 16, kind: ResourceBusy, message: "Device or resource busy" })"},
      {os_error(EPIPE), R"(Os { code: 32, kind: BrokenPipe, message: "Broken pipe" })"},
      {os_error(EINVAL), R"(Os { code: 22, kind: InvalidInput, message: "Invalid argument" })"},
      {os_error(ETIMEDOUT), R"(Os { code: 110, kind: TimedOut, message: "Connection timed out" })"},
      {os_error(ENXIO), R"(Os { code: 6, kind: Other, message: "No such device or address" })"},
      {os_error(4095), R"(Os { code: 4095, kind: Other, message: "Unknown errno" })"},
      {Error("failed to write whole buffer"), R"(Error { kind: Runtime, message: "failed to write whole buffer" })"},
      {Error("port \"a\\b\"\n", ErrorKind::Value), R"(Error { kind: Value, message: "port \"a\\b\"\n" })"},
  };
  for (const DebugCase& c : cases) EXPECT_EQ(debug_form(c.error), c.debug) << c.error.message();
}

}  // namespace
}  // namespace ovik::serial
