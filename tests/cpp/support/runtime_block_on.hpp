#pragma once
// Running a coroutine to its end from a plain test thread.
#include <asio/awaitable.hpp>

#include <future>
#include <type_traits>
#include <utility>

#include "runtime/runtime.hpp"

namespace ovik::runtime::testing {

// Spawns `task` on `runtime` and blocks this (non-runtime) thread until it
// ends; returns its value or rethrows what ended it.
template <class T>
T block_on(Runtime& runtime, asio::awaitable<T> task) {
  std::promise<T> promise;
  std::future<T> result = promise.get_future();
  runtime.spawn([](asio::awaitable<T> task, std::promise<T> promise) -> asio::awaitable<void> {
    try {
      if constexpr (std::is_void_v<T>) {
        co_await std::move(task);
        promise.set_value();
      } else {
        promise.set_value(co_await std::move(task));
      }
    } catch (...) {
      promise.set_exception(std::current_exception());
    }
  }(std::move(task), std::move(promise)));
  return result.get();
}

}  // namespace ovik::runtime::testing
