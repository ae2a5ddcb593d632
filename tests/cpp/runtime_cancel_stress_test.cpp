#include <functional>

#include <asio/post.hpp>
#include <gtest/gtest.h>

#include "runtime/async_mutex.hpp"
#include "runtime/bounded_queue.hpp"
#include "runtime/broadcast.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

// Each round: a parked victim's abort is queued, a waker then takes the victim
// off the list (freeing its entry), and the round's own wait parks on the same
// list, where the allocator tends to hand it the victim's old address. On one
// worker thread the order is fixed: the abort is delivered only after that
// park. The round's wait must never end with `operation_aborted`; a wrong
// abort throws out of it.
using Round = std::function<asio::awaitable<void>(Runtime&)>;

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

asio::awaitable<void> broadcast_round(Runtime& runtime) {
  auto sender = Broadcast<int>::make(4);
  auto victim = runtime.spawn([](auto rx) -> asio::awaitable<void> { co_await rx.recv(); }(sender.subscribe()));
  co_await yield();
  victim.abort();
  sender.publish(1);
  auto rx = sender.subscribe();
  runtime.spawn([](auto tx) -> asio::awaitable<void> { tx.publish(2); co_return; }(sender));
  EXPECT_EQ(*(co_await rx.recv()).value, 2);
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

asio::awaitable<void> token_round(Runtime& runtime) {
  CancellationToken token;
  auto victim = runtime.spawn(token.cancelled());
  auto other = runtime.spawn(token.cancelled());
  co_await yield();
  victim.abort();
  token.cancel();
  co_await other.join();
}

asio::awaitable<void> join_round(Runtime& runtime) {
  CancellationToken gate;
  auto task = std::make_shared<TaskHandle<void>>(runtime.spawn(gate.cancelled()));
  auto joiner = [](auto task) -> asio::awaitable<void> { co_await task->join(); };
  auto victim = runtime.spawn(joiner(task));
  auto other = runtime.spawn(joiner(task));
  co_await yield();
  victim.abort();
  gate.cancel();
  co_await other.join();
}

class CancelStress : public ::testing::TestWithParam<std::pair<const char*, Round>> {};

TEST_P(CancelStress, AnAbortReachesOnlyItsOwnWaiter) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  testing::block_on(runtime, [&]() -> asio::awaitable<void> {
    for (int i = 0; i < 3000; ++i) co_await GetParam().second(runtime);
  }());
}

INSTANTIATE_TEST_SUITE_P(Primitives, CancelStress,
                         ::testing::Values(std::pair("mutex", Round(mutex_round)),
                                           std::pair("broadcast", Round(broadcast_round)),
                                           std::pair("queue", Round(queue_round)),
                                           std::pair("token", Round(token_round)),
                                           std::pair("join", Round(join_round))),
                         [](const auto& info) { return std::string(info.param.first); });

}  // namespace
}  // namespace ovik::runtime
