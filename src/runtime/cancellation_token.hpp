#pragma once
// A cancellation flag shared by copies: cancelled once, from any thread, and
// awaitable by any number of tasks.
#include <asio/awaitable.hpp>

#include <atomic>
#include <memory>
#include <mutex>

#include "runtime/park.hpp"

namespace ovik::runtime {

class CancellationToken {
 public:
  CancellationToken();

  // Idempotent; wakes every task awaiting `cancelled()`.
  void cancel() const;
  bool is_cancelled() const;
  // Completes once the token is cancelled (at once if it already is).
  asio::awaitable<void> cancelled() const;

 private:
  struct State {
    std::mutex mutex;
    std::atomic<bool> cancelled{false};
    detail::WaitQueue<detail::Woken> waiters;
  };

  static asio::awaitable<void> wait(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
};

}  // namespace ovik::runtime
