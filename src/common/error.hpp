#pragma once
// The one error type of the SDK. Fallible functions return `Result<T>`; the
// same `Error` may be thrown where a value cannot be returned (coroutine
// bodies, the Python call boundary), and the boundary maps `kind` to the
// Python exception class.
#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace ovik {

enum class ErrorKind {
  Runtime,    // RuntimeError: failed operations, borrow conflicts
  Type,       // TypeError: wrong argument type or count
  Value,      // ValueError
  Overflow,   // OverflowError: integer out of range
  Attribute,  // AttributeError
  Stop,       // StopAsyncIteration
};

class Error : public std::exception {
 public:
  explicit Error(std::string message, ErrorKind kind = ErrorKind::Runtime)
      : message_(std::move(message)), kind_(kind) {}

  // A failed system call: `message` is the system's description of `code`
  // (an errno value), which logs show beside it.
  static Error from_os(int code, std::string message) {
    Error error(std::move(message));
    error.os_code_ = code;
    return error;
  }

  // The text users see, for every kind of error.
  const std::string& message() const noexcept { return message_; }
  ErrorKind kind() const noexcept { return kind_; }
  // The errno of a failed system call; empty for every other error.
  std::optional<int> os_code() const noexcept { return os_code_; }
  const char* what() const noexcept override { return message_.c_str(); }

  bool operator==(const Error& other) const {
    return kind_ == other.kind_ && message_ == other.message_ && os_code_ == other.os_code_;
  }

 private:
  std::string message_;
  ErrorKind kind_;
  std::optional<int> os_code_;
};

}  // namespace ovik
