#pragma once
// A value or an `Error`. (std::expected needs C++23 and a newer clang than
// every machine of ours has; the fuzz targets are built with clang.)
#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/error.hpp"

namespace ovik {

struct Failure {
  Error error;
};

inline Failure fail(std::string message, ErrorKind kind = ErrorKind::Runtime) {
  return Failure{Error(std::move(message), kind)};
}

template <class T = void>
class [[nodiscard]] Result {
 public:
  template <class U = T, class = std::enable_if_t<std::is_constructible_v<T, U&&>>>
  Result(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

  bool has_value() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  T& value() & { return unwrap(); }
  const T& value() const& { return const_cast<Result*>(this)->unwrap(); }
  T&& value() && { return std::move(unwrap()); }
  T& operator*() & { return unwrap(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(unwrap()); }
  T* operator->() { return &unwrap(); }
  const T* operator->() const { return &value(); }

  const Error& error() const& {
    assert(!has_value());
    return std::get<1>(state_);
  }
  Error&& error() && { return std::get<1>(std::move(state_)); }

 private:
  // Reading the value of a failed result is a programming error; throwing the
  // carried error keeps it visible instead of undefined.
  T& unwrap() {
    if (!has_value()) throw std::get<1>(state_);
    return std::get<0>(state_);
  }

  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : error_(std::move(failure.error)), failed_(true) {}

  bool has_value() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return !failed_; }
  void value() const {
    if (failed_) throw error_;
  }
  const Error& error() const& { return error_; }
  Error&& error() && { return std::move(error_); }

 private:
  Error error_{""};
  bool failed_ = false;
};

}  // namespace ovik
