#include <asio/post.hpp>
#include <gtest/gtest.h>

#include "runtime/async_mutex.hpp"
#include "runtime/bounded_queue.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

// Each round: a parked victim's abort is queued, a waker then takes the victim
// off the list (freeing its entry), and the round's own wait parks on the same
// list, where the allocator tends to hand it the victim's old address. On one
// worker thread the order is fixed: the abort is delivered only after that
// park. The round's wait must never end with `operation_aborted` (a wrong
// abort throws out of it), nor lose a value to the aborted victim (it hangs).
// Every primitive parks through the same list and hook, so the mutex stands
// for the broadcast readers too; the token and a task's joiners are woken all
// at once and never parked on again, so a late abort has no one to hit there.

// Long enough for a task spawned just before to start and park.
asio::awaitable<void> yield() {
  for (int i = 0; i < 3; ++i) co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
}

asio::awaitable<void> mutex_round(Runtime& runtime) {
  AsyncMutex<int> mutex;
  auto held = co_await mutex.lock();
  auto victim = runtime.spawn([](AsyncMutex<int>& m) -> asio::awaitable<void> { co_await m.lock(); }(mutex));
  co_await yield();
  victim.abort();
  held = {};
  co_await mutex.lock();
}

asio::awaitable<void> queue_round(Runtime& runtime) {
  auto [tx, rx] = BoundedQueue<int>::make(4);
  auto victim = runtime.spawn([](auto& rx) -> asio::awaitable<void> { co_await rx.recv(); }(rx));
  co_await yield();
  victim.abort();
  tx.try_send(1);
  EXPECT_EQ(co_await rx.recv(), 1);
  runtime.spawn([](auto tx) -> asio::awaitable<void> { tx.try_send(2); co_return; }(tx));
  EXPECT_EQ(co_await rx.recv(), 2);
}

TEST(CancelStress, AnAbortReachesOnlyItsOwnWaiter) {
  for (auto round : {mutex_round, queue_round}) {
    Runtime runtime(RuntimeOptions{.worker_threads = 1});
    testing::block_on(runtime, [](Runtime& runtime, auto round) -> asio::awaitable<void> {
      for (int i = 0; i < 3000; ++i) co_await round(runtime);
    }(runtime, round));
  }
}

}  // namespace
}  // namespace ovik::runtime
