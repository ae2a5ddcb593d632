#pragma once
// A broadcast channel over a ring of fixed capacity: any number of senders
// publish (from any thread, never waiting, never failing); every subscriber
// reads, from its own position, each value published after it subscribed.
// Values are shared and immutable: a slot holds a pointer, not a copy.
//
// A subscriber that falls more than `capacity` values behind is told how many
// it lost (`Lagged`) and goes on at the oldest value still held. Once every
// sender is gone, a subscriber reads what is still held and then `Closed`, on
// every later read.
#include <asio/awaitable.hpp>

#include <cassert>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/cancellation_token.hpp"
#include "runtime/first_of.hpp"
#include "runtime/park.hpp"

namespace ovik::runtime {

enum class RecvStatus {
  Value,      // `value` holds the next value
  Lagged,     // `missed` values were overwritten before they were read
  Closed,     // every sender is gone and everything held has been read
  Empty,      // try_recv: nothing new yet
  TimedOut,   // recv_until: the deadline passed first
  Cancelled,  // recv_or: the token was cancelled
};

template <class T>
struct Received {
  RecvStatus status;
  std::shared_ptr<const T> value;
  std::uint64_t missed = 0;
};

template <class T>
class Broadcast {
  struct State;

 public:
  class Receiver;

  // Copyable; the channel closes when the last copy is gone.
  class Sender {
   public:
    Sender(const Sender& other) : state_(other.state_) {
      std::lock_guard lock(state_->mutex);
      ++state_->senders;
    }
    Sender(Sender&&) noexcept = default;
    Sender& operator=(Sender other) noexcept {
      std::swap(state_, other.state_);
      return *this;
    }
    ~Sender() {
      if (!state_) return;
      detail::ParkedReaders readers;
      {
        std::lock_guard lock(state_->mutex);
        if (--state_->senders == 0) readers = state_->readers.take_all();
      }
      detail::wake_all(std::move(readers));
    }

    void publish(T value) const { publish(std::make_shared<const T>(std::move(value))); }

    void publish(std::shared_ptr<const T> value) const {
      std::shared_ptr<const T> overwritten;
      detail::ParkedReaders readers;
      {
        std::lock_guard lock(state_->mutex);
        auto& slot = state_->slots[state_->tail % state_->slots.size()];
        overwritten = std::exchange(slot, std::move(value));
        ++state_->tail;
        readers = state_->readers.take_all();
      }
      detail::wake_all(std::move(readers));
    }

    // A subscriber that sees every value published from now on.
    Receiver subscribe() const {
      std::lock_guard lock(state_->mutex);
      return Receiver(state_, state_->tail);
    }

   private:
    friend class Broadcast;
    explicit Sender(std::shared_ptr<State> state) : state_(std::move(state)) {}

    std::shared_ptr<State> state_;
  };

  // Move-only. A pending read refers to its receiver, which must outlive it.
  // Reads of one receiver may overlap; each value goes to one of them.
  class Receiver {
   public:
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&&) noexcept = default;

    // Never waits: Value, Lagged, Closed or Empty.
    Received<T> try_recv() {
      std::lock_guard lock(state_->mutex);
      const std::uint64_t capacity = state_->slots.size();
      if (next_ == state_->tail) return {state_->senders == 0 ? RecvStatus::Closed : RecvStatus::Empty, nullptr};
      if (state_->tail - next_ > capacity) {
        const std::uint64_t oldest = state_->tail - capacity;
        Received<T> lagged{RecvStatus::Lagged, nullptr, oldest - next_};
        next_ = oldest;
        return lagged;
      }
      return {RecvStatus::Value, state_->slots[next_++ % capacity]};
    }

    // Value, Lagged or Closed.
    asio::awaitable<Received<T>> recv() {
      for (;;) {
        Received<T> read = try_recv();
        if (read.status != RecvStatus::Empty) co_return read;
        co_await changed();
      }
    }

    // As `recv`, or TimedOut once `deadline` has passed with nothing to read.
    // What is already there is returned even after the deadline.
    asio::awaitable<Received<T>> recv_until(std::chrono::steady_clock::time_point deadline) {
      for (;;) {
        Received<T> read = try_recv();
        if (read.status != RecvStatus::Empty) co_return read;
        if (std::chrono::steady_clock::now() >= deadline) co_return Received<T>{RecvStatus::TimedOut, nullptr};
        co_await first_of(changed(), sleep_until(deadline));
      }
    }

    // As `recv`, or Cancelled once `token` is cancelled; cancellation is
    // reported before any value still to be read.
    asio::awaitable<Received<T>> recv_or(CancellationToken token) {
      for (;;) {
        if (token.is_cancelled()) co_return Received<T>{RecvStatus::Cancelled, nullptr};
        Received<T> read = try_recv();
        if (read.status != RecvStatus::Empty) co_return read;
        co_await first_of(changed(), token.cancelled());
      }
    }

    // For a reader that is not a task: queues `wake` to run once, on the
    // thread that next publishes or drops the last sender, and returns true;
    // or returns false, queuing nothing, when there is something to read (or
    // the end) already.
    bool wake_when_readable(std::function<void()> wake) {
      std::lock_guard lock(state_->mutex);
      if (readable()) return false;
      state_->readers.push(std::make_unique<detail::ParkedCallback>(std::move(wake)));
      return true;
    }

   private:
    friend class Sender;
    Receiver(std::shared_ptr<State> state, std::uint64_t next) : state_(std::move(state)), next_(next) {}

    // Under the state's mutex.
    bool readable() const { return next_ != state_->tail || state_->senders == 0; }

    // Completes once there is something new to read (or the end).
    asio::awaitable<detail::Woken> changed() {
      return detail::park(state_, &State::readers, [this] { return detail::woken_if(readable()); });
    }

    std::shared_ptr<State> state_;
    std::uint64_t next_;
  };

  // The first sender of a new channel with `capacity` slots (at least 1).
  static Sender make(std::size_t capacity) {
    assert(capacity > 0);
    return Sender(std::make_shared<State>(capacity));
  }

 private:
  struct State {
    explicit State(std::size_t capacity) : slots(capacity) {}

    std::mutex mutex;
    std::vector<std::shared_ptr<const T>> slots;
    std::uint64_t tail = 0;  // values published so far
    std::size_t senders = 1;
    detail::WaitQueue<detail::Woken> readers;
  };
};

}  // namespace ovik::runtime
