#pragma once
// The optional sub-message of a record: std::optional's interface (the part
// records need), without its cost here. libstdc++ 12 zero-fills the whole
// storage of every default-constructed std::optional, so a SensorApp (over a
// kilobyte of optional records) cost a large memset on every decode, a quarter
// of the decoding time of a typical sensor payload. This one only clears its
// flag.
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

namespace ovik::schema {

template <class T>
class Optional {
  static_assert(std::is_class_v<T>, "for records, whose members all have initialisers");

 public:
  using value_type = T;

  Optional() noexcept {}
  Optional(std::nullopt_t) noexcept {}
  Optional(const T& value) { construct(value); }
  Optional(T&& value) { construct(std::move(value)); }
  Optional(const Optional& other) {
    if (other.engaged_) construct(other.storage_.value);
  }
  Optional(Optional&& other) noexcept(std::is_nothrow_move_constructible_v<T>) {
    if (other.engaged_) construct(std::move(other.storage_.value));
  }
  ~Optional() { reset(); }

  Optional& operator=(const Optional& other) {
    if (this == &other) return *this;
    if (other.engaged_) {
      assign(other.storage_.value);
    } else {
      reset();
    }
    return *this;
  }
  Optional& operator=(Optional&& other) noexcept(std::is_nothrow_move_assignable_v<T> &&
                                                 std::is_nothrow_move_constructible_v<T>) {
    if (other.engaged_) {
      assign(std::move(other.storage_.value));
    } else {
      reset();
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
    return storage_.value;
  }
  void reset() noexcept {
    if (!engaged_) return;
    storage_.value.~T();
    engaged_ = false;
  }

  bool has_value() const noexcept { return engaged_; }
  explicit operator bool() const noexcept { return engaged_; }

  T& operator*() & noexcept { return storage_.value; }
  const T& operator*() const& noexcept { return storage_.value; }
  T&& operator*() && noexcept { return std::move(storage_.value); }
  T* operator->() noexcept { return std::addressof(storage_.value); }
  const T* operator->() const noexcept { return std::addressof(storage_.value); }

  T& value() & { return checked(); }
  const T& value() const& { return const_cast<Optional*>(this)->checked(); }
  T&& value() && { return std::move(checked()); }
  template <class U>
  T value_or(U&& fallback) const& {
    return engaged_ ? storage_.value : static_cast<T>(std::forward<U>(fallback));
  }

  friend bool operator==(const Optional& a, const Optional& b) {
    if (a.engaged_ != b.engaged_) return false;
    return !a.engaged_ || a.storage_.value == b.storage_.value;
  }
  friend bool operator==(const Optional& a, std::nullopt_t) noexcept { return !a.engaged_; }

 private:
  template <class... Args>
  void construct(Args&&... args) {
    void* place = std::addressof(storage_.value);
    if constexpr (sizeof...(Args) == 0) {
      // Default-initialised: a record's members all have initialisers, and
      // value-initialisation would zero-fill the whole record first.
      ::new (place) T;
    } else {
      ::new (place) T(std::forward<Args>(args)...);
    }
    engaged_ = true;
  }
  template <class U>
  void assign(U&& value) {
    if (engaged_) {
      storage_.value = std::forward<U>(value);
    } else {
      construct(std::forward<U>(value));
    }
  }
  T& checked() {
    if (!engaged_) throw std::bad_optional_access();
    return storage_.value;
  }

  // Left uninitialised until a value is constructed in it.
  union Storage {
    Storage() noexcept {}
    ~Storage() {}
    T value;
  } storage_;
  bool engaged_ = false;
};

}  // namespace ovik::schema
