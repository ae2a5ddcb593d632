#pragma once
// Racing two operations of one task, and sleeping.
#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/experimental/deferred.hpp>
#include <asio/experimental/parallel_group.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <chrono>
#include <exception>
#include <optional>
#include <utility>
#include <variant>

#include "runtime/task.hpp"

namespace ovik::runtime {

namespace detail {

template <class T>
asio::awaitable<std::optional<TaskValue<T>>> as_optional(asio::awaitable<T> operation) {
  if constexpr (std::is_void_v<T>) {
    co_await std::move(operation);
    co_return std::monostate{};
  } else {
    co_return co_await std::move(operation);
  }
}

}  // namespace detail

// Runs `a` and `b` together on the task's executor and completes with the one
// that ends first (index 0 for `a`, 1 for `b`), or rethrows what ended it. The
// other is cancelled and awaited before this returns, so nothing outlives it.
// Race only operations that consume nothing when cancelled (waits, timers,
// readiness); a read that has taken an item would lose it if it came second.
template <class A, class B>
asio::awaitable<std::variant<TaskValue<A>, TaskValue<B>>> first_of(asio::awaitable<A> a, asio::awaitable<B> b) {
  using Result = std::variant<TaskValue<A>, TaskValue<B>>;
  auto executor = co_await asio::this_coro::executor;
  auto [order, error_a, value_a, error_b, value_b] =
      co_await asio::experimental::make_parallel_group(
          asio::co_spawn(executor, detail::as_optional(std::move(a)), asio::experimental::deferred),
          asio::co_spawn(executor, detail::as_optional(std::move(b)), asio::experimental::deferred))
          .async_wait(asio::experimental::wait_for_one(), asio::use_awaitable);
  if (order[0] == 0) {
    if (error_a) std::rethrow_exception(error_a);
    co_return Result(std::in_place_index<0>, std::move(*value_a));
  }
  if (error_b) std::rethrow_exception(error_b);
  co_return Result(std::in_place_index<1>, std::move(*value_b));
}

inline asio::awaitable<void> sleep_until(std::chrono::steady_clock::time_point deadline) {
  asio::steady_timer timer(co_await asio::this_coro::executor, deadline);
  co_await timer.async_wait(asio::use_awaitable);
}

// The duration counts from when the sleep is awaited.
inline asio::awaitable<void> sleep_for(std::chrono::steady_clock::duration duration) {
  co_await sleep_until(std::chrono::steady_clock::now() + duration);
}

}  // namespace ovik::runtime
