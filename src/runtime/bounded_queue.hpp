#pragma once
// A queue of fixed capacity from any number of senders (any thread, never
// waiting) to one receiving task.
#include <asio/awaitable.hpp>

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "runtime/park.hpp"

namespace ovik::runtime {

enum class SendStatus { Ok, Full, Closed };

template <class T>
class BoundedQueue {
  struct State;

 public:
  // Copyable; the queue reports its end to the receiver once every copy is gone.
  class Sender {
   public:
    Sender(const Sender& other) : state_(other.state_) { add_sender(); }
    Sender(Sender&&) noexcept = default;
    Sender& operator=(Sender other) noexcept {
      std::swap(state_, other.state_);
      return *this;
    }
    ~Sender() { drop_sender(); }

    // Never waits. Ok: queued (and `item` moved from). Full: the queue holds
    // its capacity. Closed: the receiver is gone. `item` is untouched unless Ok.
    SendStatus try_send(T&& item) const {
      std::unique_ptr<detail::Parked<detail::Woken>> receiver;
      {
        std::lock_guard lock(state_->mutex);
        if (!state_->receiver_alive) return SendStatus::Closed;
        if (state_->items.size() >= state_->capacity) return SendStatus::Full;
        state_->items.push_back(std::move(item));
        receiver = state_->receiver.pop();
      }
      if (receiver) receiver->resume({}, detail::Woken{});
      return SendStatus::Ok;
    }

   private:
    friend class BoundedQueue;
    explicit Sender(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void add_sender() {
      std::lock_guard lock(state_->mutex);
      ++state_->senders;
    }

    void drop_sender() {
      if (!state_) return;
      std::unique_ptr<detail::Parked<detail::Woken>> receiver;
      {
        std::lock_guard lock(state_->mutex);
        if (--state_->senders == 0) receiver = state_->receiver.pop();
      }
      if (receiver) receiver->resume({}, detail::Woken{});
    }

    std::shared_ptr<State> state_;
  };

  // Move-only. Destroying it closes the queue for senders and drops what is
  // still queued.
  class Receiver {
   public:
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&& other) noexcept {
      if (this != &other) {
        close();
        state_ = std::move(other.state_);
      }
      return *this;
    }
    ~Receiver() { close(); }

    // The next item in send order; nullopt once the queue is empty and every
    // sender is gone (again on every later call). One pending call at a time.
    asio::awaitable<std::optional<T>> recv() const { return recv_state(state_); }

   private:
    friend class BoundedQueue;
    explicit Receiver(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void close() {
      if (!state_) return;
      std::deque<T> dropped;
      std::lock_guard lock(state_->mutex);
      state_->receiver_alive = false;
      dropped.swap(state_->items);
    }

    std::shared_ptr<State> state_;
  };

  static std::pair<Sender, Receiver> make(std::size_t capacity) {
    auto state = std::make_shared<State>(capacity);
    return {Sender(state), Receiver(state)};
  }

 private:
  struct State {
    explicit State(std::size_t capacity_in) : capacity(capacity_in) {}

    std::mutex mutex;
    const std::size_t capacity;
    std::deque<T> items;
    std::size_t senders = 1;
    bool receiver_alive = true;
    detail::WaitQueue<detail::Woken> receiver;
  };

  static asio::awaitable<std::optional<T>> recv_state(std::shared_ptr<State> state) {
    for (;;) {
      {
        std::lock_guard lock(state->mutex);
        if (!state->items.empty()) {
          std::optional<T> item(std::move(state->items.front()));
          state->items.pop_front();
          co_return item;
        }
        if (state->senders == 0) co_return std::nullopt;
      }
      co_await detail::park(state, &State::receiver,
                            [&] { return detail::woken_if(!state->items.empty() || state->senders == 0); });
    }
  }
};

}  // namespace ovik::runtime
