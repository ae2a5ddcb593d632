#include <vector>

#include <asio/post.hpp>
#include <gtest/gtest.h>

#include "runtime/async_mutex.hpp"
#include "runtime/bounded_queue.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using testing::block_on;

using Order = std::vector<int>;

// Locks `mutex` after announcing itself on `arrivals`, then appends its id to
// the value. With one worker thread, nothing runs between the announcement and
// the park, so the arrival order is the order of the requests.
asio::awaitable<void> contender(AsyncMutex<Order>& mutex, BoundedQueue<int>::Sender arrivals, int id) {
  EXPECT_EQ(arrivals.try_send(int{id}), SendStatus::Ok);
  auto guard = co_await mutex.lock();
  guard->push_back(id);
}

TEST(AsyncMutex, GrantsInRequestOrderToEightContenders) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  AsyncMutex<Order> mutex;
  auto scenario = [&]() -> asio::awaitable<std::pair<Order, Order>> {
    auto [arrival_sender, arrival_receiver] = BoundedQueue<int>::make(8);
    auto guard = co_await mutex.lock();
    std::vector<TaskHandle<void>> tasks;
    // Spawned in a scrambled order; the grants must follow the arrivals.
    for (int id : {5, 2, 7, 0, 3, 6, 1, 4}) tasks.push_back(runtime.spawn(contender(mutex, arrival_sender, id)));
    Order arrivals;
    while (arrivals.size() < 8) arrivals.push_back(*co_await arrival_receiver.recv());
    guard = {};
    for (auto& task : tasks) co_await task.join();
    auto done = co_await mutex.lock();
    co_return std::pair(arrivals, *done);
  };
  auto [arrivals, grants] = block_on(runtime, scenario());
  EXPECT_EQ(arrivals, (Order{5, 2, 7, 0, 3, 6, 1, 4}));
  EXPECT_EQ(grants, arrivals);
}

TEST(AsyncMutex, ExcludesAcrossSuspensionsOnManyThreads) {
  Runtime runtime(RuntimeOptions{.worker_threads = 8});
  struct Shared {
    int inside = 0;  // plain int: the mutex alone must protect it
    int total = 0;
    int overlaps = 0;
  };
  AsyncMutex<Shared> mutex;
  constexpr int kTasks = 8;
  constexpr int kRounds = 500;
  auto worker = [](AsyncMutex<Shared>& mutex) -> asio::awaitable<void> {
    for (int i = 0; i < kRounds; ++i) {
      auto guard = co_await mutex.lock();
      if (guard->inside++ != 0) ++guard->overlaps;
      // Held across a suspension point.
      co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
      ++guard->total;
      --guard->inside;
    }
  };
  auto scenario = [&]() -> asio::awaitable<Shared> {
    std::vector<TaskHandle<void>> tasks;
    for (int i = 0; i < kTasks; ++i) tasks.push_back(runtime.spawn(worker(mutex)));
    for (auto& task : tasks) co_await task.join();
    co_return *co_await mutex.lock();
  };
  Shared shared = block_on(runtime, scenario());
  EXPECT_EQ(shared.overlaps, 0);
  EXPECT_EQ(shared.total, kTasks * kRounds);
}

}  // namespace
}  // namespace ovik::runtime
