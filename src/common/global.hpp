#pragma once
// Process-wide objects created on first use and never destroyed: runtime
// threads and Python callbacks may still reach them while static destructors
// run at exit, so they are leaked on purpose.
//
// A factory must not log: logging may forward to Python, which takes the
// interpreter lock while the once-guard is held by this thread.
#include <atomic>
#include <mutex>

namespace ovik {

template <class T>
class Global {
 public:
  using Factory = T* (*)();

  constexpr Global() : factory_(+[]() -> T* { return new T(); }) {}
  constexpr explicit Global(Factory factory) : factory_(factory) {}
  Global(const Global&) = delete;
  Global& operator=(const Global&) = delete;

  T& get() {
    T* object = object_.load(std::memory_order_acquire);
    if (object) return *object;
    std::call_once(once_, [this] { object_.store(factory_(), std::memory_order_release); });
    return *object_.load(std::memory_order_acquire);
  }
  T& operator*() { return get(); }
  T* operator->() { return &get(); }

  // True once the object exists; never creates it.
  bool created() const { return object_.load(std::memory_order_acquire) != nullptr; }

 private:
  Factory factory_;
  std::once_flag once_;
  std::atomic<T*> object_{nullptr};
};

}  // namespace ovik
