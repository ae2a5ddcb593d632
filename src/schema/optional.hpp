#pragma once
// The optional sub-message of a record: std::optional's interface (the part
// records need), with the value held out of line. A record then costs one
// word per optional part whether the part is there or not: a SensorApp holds
// seventeen of them, and inline it was over a kilobyte however little a frame
// carried, most of it cache lines touched to build and to release the record.
//
// The value comes from the heap or, when the decoder builds it with
// `emplace_in`, from the arena of the message being decoded; then it is only
// destroyed, never freed, and lives no longer than that arena. A copy is
// always on the heap.
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "schema/arena.hpp"

namespace ovik::schema {

template <class T>
class Optional {
  static_assert(std::is_class_v<T>, "for records, whose members all have initialisers");
  static_assert(alignof(T) > 1, "the lowest address bit marks a value in an arena");

 public:
  using value_type = T;

  Optional() noexcept {}
  Optional(std::nullopt_t) noexcept {}
  Optional(const T& value) { construct(value); }
  Optional(T&& value) { construct(std::move(value)); }
  Optional(const Optional& other) {
    if (other) construct(*other);
  }
  Optional(Optional&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
  ~Optional() { reset(); }

  Optional& operator=(const Optional& other) {
    if (this == &other) return *this;
    if (other) {
      assign(*other);
    } else {
      reset();
    }
    return *this;
  }
  Optional& operator=(Optional&& other) noexcept {
    if (this != &other) {
      reset();
      bits_ = std::exchange(other.bits_, 0);
    }
    return *this;
  }
  Optional& operator=(std::nullopt_t) noexcept {
    reset();
    return *this;
  }
  Optional& operator=(const T& value) {
    assign(value);
    return *this;
  }
  Optional& operator=(T&& value) {
    assign(std::move(value));
    return *this;
  }

  template <class... Args>
  T& emplace(Args&&... args) {
    reset();
    construct(std::forward<Args>(args)...);
    return **this;
  }
  // A default value carved from `arena`.
  T& emplace_in(Arena& arena) {
    reset();
    void* place = arena.allocate(sizeof(T), alignof(T));
    // Default-initialised: a record's members all have initialisers.
    ::new (place) T;
    bits_ = reinterpret_cast<std::uintptr_t>(place) | kInArena;
    return **this;
  }
  void reset() noexcept {
    if (!bits_) return;
    T* value = get();
    if (bits_ & kInArena) {
      value->~T();
    } else {
      delete value;
    }
    bits_ = 0;
  }

  bool has_value() const noexcept { return bits_ != 0; }
  explicit operator bool() const noexcept { return bits_ != 0; }

  T& operator*() & noexcept { return *get(); }
  const T& operator*() const& noexcept { return *get(); }
  T&& operator*() && noexcept { return std::move(*get()); }
  T* operator->() noexcept { return get(); }
  const T* operator->() const noexcept { return get(); }

  T& value() & { return checked(); }
  const T& value() const& { return const_cast<Optional*>(this)->checked(); }
  T&& value() && { return std::move(checked()); }
  template <class U>
  T value_or(U&& fallback) const& {
    return bits_ ? **this : static_cast<T>(std::forward<U>(fallback));
  }

  friend bool operator==(const Optional& a, const Optional& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || *a == *b;
  }
  friend bool operator==(const Optional& a, std::nullopt_t) noexcept { return !a; }

 private:
  static constexpr std::uintptr_t kInArena = 1;

  T* get() const noexcept { return reinterpret_cast<T*>(bits_ & ~kInArena); }

  template <class... Args>
  void construct(Args&&... args) {
    // Default-initialised when there are no arguments: a record's members all
    // have initialisers.
    T* value = sizeof...(Args) == 0 ? new T : new T(std::forward<Args>(args)...);
    bits_ = reinterpret_cast<std::uintptr_t>(value);
  }
  template <class U>
  void assign(U&& value) {
    if (bits_) {
      **this = std::forward<U>(value);
    } else {
      construct(std::forward<U>(value));
    }
  }
  T& checked() {
    if (!bits_) throw std::bad_optional_access();
    return **this;
  }

  // The value's address, its lowest bit set when the value is in an arena;
  // 0 when there is none.
  std::uintptr_t bits_ = 0;
};

}  // namespace ovik::schema
