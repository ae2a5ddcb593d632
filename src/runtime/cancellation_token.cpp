#include "runtime/cancellation_token.hpp"

namespace ovik::runtime {

CancellationToken::CancellationToken() : state_(std::make_shared<State>()) {}

void CancellationToken::cancel() const {
  std::deque<std::unique_ptr<detail::Parked<detail::Woken>>> waiters;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->cancelled.exchange(true)) return;
    waiters = state_->waiters.take_all();
  }
  detail::wake_all(std::move(waiters));
}

bool CancellationToken::is_cancelled() const { return state_->cancelled.load(); }

asio::awaitable<void> CancellationToken::cancelled() const { return wait(state_); }

asio::awaitable<void> CancellationToken::wait(std::shared_ptr<State> state) {
  co_await detail::park(state, &State::waiters, [&] { return detail::woken_if(state->cancelled.load()); });
}

}  // namespace ovik::runtime
