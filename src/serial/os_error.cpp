#include "serial/os_error.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include "schema/debug_string.hpp"

namespace ovik::serial {

namespace {

struct KindOfErrno {
  int errnum;
  std::string_view kind;
};

constexpr KindOfErrno kKinds[] = {
    {EPERM, "PermissionDenied"},
    {EACCES, "PermissionDenied"},
    {ENOENT, "NotFound"},
    {EINTR, "Interrupted"},
    {E2BIG, "ArgumentListTooLong"},
    {EAGAIN, "WouldBlock"},
    {ENOMEM, "OutOfMemory"},
    {EBUSY, "ResourceBusy"},
    {EEXIST, "AlreadyExists"},
    {EXDEV, "CrossesDevices"},
    {ENOTDIR, "NotADirectory"},
    {EISDIR, "IsADirectory"},
    {EINVAL, "InvalidInput"},
    {ETXTBSY, "ExecutableFileBusy"},
    {EFBIG, "FileTooLarge"},
    {ENOSPC, "StorageFull"},
    {ESPIPE, "NotSeekable"},
    {EROFS, "ReadOnlyFilesystem"},
    {EMLINK, "TooManyLinks"},
    {EPIPE, "BrokenPipe"},
    {EDEADLK, "Deadlock"},
    {ENAMETOOLONG, "InvalidFilename"},
    {ENOSYS, "Unsupported"},
    {ENOTEMPTY, "DirectoryNotEmpty"},
    {ELOOP, "FilesystemLoop"},
    {EADDRINUSE, "AddrInUse"},
    {EADDRNOTAVAIL, "AddrNotAvailable"},
    {ENETDOWN, "NetworkDown"},
    {ENETUNREACH, "NetworkUnreachable"},
    {ECONNABORTED, "ConnectionAborted"},
    {ECONNRESET, "ConnectionReset"},
    {ENOTCONN, "NotConnected"},
    {ETIMEDOUT, "TimedOut"},
    {ECONNREFUSED, "ConnectionRefused"},
    {EHOSTUNREACH, "HostUnreachable"},
    {ESTALE, "StaleNetworkFileHandle"},
    {EDQUOT, "FilesystemQuotaExceeded"},
};

std::string_view error_kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::Runtime:
      return "Runtime";
    case ErrorKind::Type:
      return "Type";
    case ErrorKind::Value:
      return "Value";
    case ErrorKind::Overflow:
      return "Overflow";
    case ErrorKind::Attribute:
      return "Attribute";
    case ErrorKind::Stop:
      return "Stop";
  }
  return "Unknown";
}

}  // namespace

std::string os_error_text(int errnum) {
  // Unlike strerror, this yields no "Unknown error N" text of its own and is
  // thread-safe.
  const char* text = strerrordesc_np(errnum);
  return text ? text : "Unknown errno";
}

std::string_view os_error_kind(int errnum) {
  for (const KindOfErrno& entry : kKinds)
    if (entry.errnum == errnum) return entry.kind;
  return "Other";
}

Failure os_failure(int errnum) { return Failure{Error::from_os(errnum, os_error_text(errnum))}; }

std::string debug_form(const Error& error) {
  std::string text;
  if (std::optional<int> code = error.os_code()) {
    text.append("Os { code: ").append(std::to_string(*code)).append(", kind: ").append(os_error_kind(*code));
  } else {
    text.append("Error { kind: ").append(error_kind_name(error.kind()));
  }
  text.append(", message: ");
  schema::append_debug_string(text, error.message());
  text.append(" }");
  return text;
}

}  // namespace ovik::serial
