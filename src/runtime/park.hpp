#pragma once
// Suspending a task on a primitive's wait list, to be resumed from any thread.
//
// Every primitive keeps its state behind one `std::mutex mutex` and parks the
// tasks that must wait in `WaitQueue`s of that state. A parked task is resumed
// on its own executor (its strand), never inline on the thread that wakes it,
// so waking never runs task code under a primitive's lock or on a foreign
// thread. A parked task is cancellable: aborting it (or losing a `first_of`
// race) takes it off the list and resumes it with `operation_aborted`.
//
// The cancel hook stays installed until the resumed task runs, well after a
// waker took its entry and freed it; it therefore names its entry by a number
// that is never given out again, not by an address a later entry may reuse.
#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/cancellation_type.hpp>
#include <asio/error.hpp>
#include <asio/post.hpp>
#include <asio/system_error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

namespace ovik::runtime::detail {

// What a wait completes with when it only reports "look again".
using Woken = std::monostate;

// Unique for the life of the process: 2^64 parks do not happen.
inline std::uint64_t next_park_id() {
  static std::atomic<std::uint64_t> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed);
}

// A suspended operation that completes with (error, value).
template <class V>
class Parked {
 public:
  virtual ~Parked() = default;
  const std::uint64_t id = next_park_id();
  // Schedules the continuation on the task's own executor. Call it without
  // holding the primitive's lock.
  virtual void resume(std::error_code error, V value) = 0;
};

template <class V, class Handler>
class ParkedHandler final : public Parked<V> {
 public:
  explicit ParkedHandler(Handler handler) : handler_(std::move(handler)) {}

  asio::cancellation_slot slot() const { return asio::get_associated_cancellation_slot(handler_); }

  void resume(std::error_code error, V value) override {
    auto executor = asio::get_associated_executor(handler_);
    asio::post(executor, [handler = std::move(handler_), error, value = std::move(value)]() mutable {
      asio::get_associated_cancellation_slot(handler).clear();
      std::move(handler)(error, std::move(value));
    });
  }

 private:
  Handler handler_;
};

// A waiter that is not a task: `wake` runs once, on the waking thread, without
// the primitive's lock, and should only pass the news on.
class ParkedCallback final : public Parked<Woken> {
 public:
  explicit ParkedCallback(std::function<void()> wake) : wake_(std::move(wake)) {}
  void resume(std::error_code, Woken) override { wake_(); }

 private:
  std::function<void()> wake_;
};

// FIFO of parked operations; guarded by the owning state's mutex.
template <class V>
class WaitQueue {
 public:
  using Entry = std::unique_ptr<Parked<V>>;

  bool empty() const { return entries_.empty(); }
  void push(Entry entry) { entries_.push_back(std::move(entry)); }

  Entry pop() {
    if (entries_.empty()) return nullptr;
    Entry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
  }

  // Takes the entry `id` off the queue; null when it is no longer queued.
  Entry remove(std::uint64_t id) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e->id == id; });
    if (it == entries_.end()) return nullptr;
    Entry entry = std::move(*it);
    entries_.erase(it);
    return entry;
  }

  // Returns a vector: unlike a deque, an empty one allocates nothing, and
  // publishers call this on every value, almost always with nobody parked.
  std::vector<Entry> take_all() {
    std::vector<Entry> taken;
    if (entries_.empty()) return taken;
    taken.reserve(entries_.size());
    for (Entry& entry : entries_) taken.push_back(std::move(entry));
    entries_.clear();
    return taken;
  }

 private:
  std::deque<Entry> entries_;
};

// A `ready` result for waits that only report "look again".
inline std::optional<Woken> woken_if(bool condition) {
  return condition ? std::optional<Woken>(Woken{}) : std::nullopt;
}

// Resumes every entry with `Woken`; call without the lock.
using ParkedReaders = std::vector<std::unique_ptr<Parked<Woken>>>;

inline void wake_all(ParkedReaders entries) {
  for (auto& entry : entries) entry->resume({}, Woken{});
}

// Installed in the task's cancellation slot while it is parked. Holds the state
// weakly: a parked task must not keep a primitive alive by itself.
template <class Owner, class V>
class CancelHook {
 public:
  CancelHook(std::weak_ptr<Owner> owner, WaitQueue<V> Owner::*queue, std::uint64_t id)
      : owner_(std::move(owner)), queue_(queue), id_(id) {}

  void operator()(asio::cancellation_type type) {
    if (type == asio::cancellation_type::none) return;
    std::shared_ptr<Owner> owner = owner_.lock();
    if (!owner) return;
    std::unique_ptr<Parked<V>> parked;
    {
      std::lock_guard lock(owner->mutex);
      parked = ((*owner).*queue_).remove(id_);
    }
    if (parked) parked->resume(asio::error::operation_aborted, V{});
  }

 private:
  std::weak_ptr<Owner> owner_;
  WaitQueue<V> Owner::*queue_;
  std::uint64_t id_;
};

// Completes with `ready()` as soon as it yields a value; otherwise parks the
// task on `owner->*queue` until someone resumes it. `ready` runs under
// `owner->mutex`, so checking and parking cannot miss a wake-up. Throws
// `asio::system_error(operation_aborted)` when cancelled while parked, or
// before it could run again once woken.
template <class Owner, class V, class Ready>
asio::awaitable<V> park(std::shared_ptr<Owner> owner, WaitQueue<V> Owner::*queue, Ready ready) {
  {
    std::optional<V> now;
    {
      std::lock_guard lock(owner->mutex);
      now = ready();
    }
    if (now) co_return std::move(*now);
  }
  V value = co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(std::error_code, V)>(
      [&](auto handler) {
        using Handler = decltype(handler);
        auto parked = std::make_unique<ParkedHandler<V, Handler>>(std::move(handler));
        asio::cancellation_slot slot = parked->slot();
        // Emplaced before the entry is queued: once queued, another thread may
        // resume it at any moment. Cancellation is only emitted on this task's
        // executor, which is running this code, so it cannot fire in between.
        if (slot.is_connected()) slot.template emplace<CancelHook<Owner, V>>(owner, queue, parked->id);
        std::optional<V> now;
        {
          std::lock_guard lock(owner->mutex);
          now = ready();
          if (!now) ((*owner).*queue).push(std::move(parked));
        }
        if (now) parked->resume({}, std::move(*now));
      },
      asio::use_awaitable);
  // Woken, but aborted before it ran: it must not go on to take what the wake
  // announced (an item, a value) from the next waiter. A handed-over value,
  // such as a lock, passes on when it is dropped here.
  asio::cancellation_state state = co_await asio::this_coro::cancellation_state;
  if (state.cancelled() != asio::cancellation_type::none) throw asio::system_error(asio::error::operation_aborted);
  co_return value;
}

}  // namespace ovik::runtime::detail
