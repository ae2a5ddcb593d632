#pragma once
// The one error type of the SDK. Fallible functions return `Result<T>`; the
// same `Error` may be thrown where a value cannot be returned (coroutine
// bodies, the Python call boundary), and the boundary maps `kind` to the
// Python exception class.
#include <exception>
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

  const std::string& message() const noexcept { return message_; }
  ErrorKind kind() const noexcept { return kind_; }
  const char* what() const noexcept override { return message_.c_str(); }

  bool operator==(const Error& other) const {
    return kind_ == other.kind_ && message_ == other.message_;
  }

 private:
  std::string message_;
  ErrorKind kind_;
};

}  // namespace ovik
