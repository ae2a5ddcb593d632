#pragma once
// A mutex over a value that tasks hold across suspension points. The lock is
// awaited, never blocking a thread, and granted in request order; the guard
// releases it when destroyed, including when its holder is aborted.
#include <asio/awaitable.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "runtime/park.hpp"

namespace ovik::runtime {

template <class T>
class AsyncMutex {
  struct State;

 public:
  class Guard {
   public:
    Guard() = default;
    Guard(Guard&& other) noexcept : state_(std::move(other.state_)) {}
    Guard& operator=(Guard&& other) noexcept {
      if (this != &other) {
        release();
        state_ = std::move(other.state_);
      }
      return *this;
    }
    ~Guard() { release(); }

    T& operator*() const { return state_->value; }
    T* operator->() const { return &state_->value; }

   private:
    friend class AsyncMutex;
    explicit Guard(std::shared_ptr<State> state) : state_(std::move(state)) {}

    // Hands the lock to the longest waiting task, or frees it.
    void release() {
      if (!state_) return;
      std::shared_ptr<State> state = std::move(state_);
      std::unique_ptr<detail::Parked<Guard>> next;
      {
        std::lock_guard lock(state->mutex);
        next = state->waiters.pop();
        if (!next) state->locked = false;
      }
      if (next) next->resume({}, Guard(state));
    }

    std::shared_ptr<State> state_;
  };

  template <class... Args>
  explicit AsyncMutex(Args&&... args) : state_(std::make_shared<State>(std::forward<Args>(args)...)) {}
  AsyncMutex(const AsyncMutex&) = delete;
  AsyncMutex& operator=(const AsyncMutex&) = delete;

  // Completes with the guard once every earlier request has had its turn.
  // Cancellable while waiting (abort, or a lost `first_of`).
  asio::awaitable<Guard> lock() const { return lock_state(state_); }

 private:
  struct State {
    template <class... Args>
    explicit State(Args&&... args) : value(std::forward<Args>(args)...) {}

    std::mutex mutex;
    bool locked = false;
    detail::WaitQueue<Guard> waiters;
    T value;
  };

  static asio::awaitable<Guard> lock_state(std::shared_ptr<State> state) {
    return detail::park(state, &State::waiters, [state]() -> std::optional<Guard> {
      if (state->locked) return std::nullopt;
      state->locked = true;
      return Guard(state);
    });
  }

  std::shared_ptr<State> state_;
};

}  // namespace ovik::runtime
