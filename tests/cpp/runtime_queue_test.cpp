#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/bounded_queue.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using testing::block_on;
using Queue = BoundedQueue<std::string>;

asio::awaitable<std::vector<std::optional<std::string>>> receive(Queue::Receiver& receiver, int count) {
  std::vector<std::optional<std::string>> got;
  for (int i = 0; i < count; ++i) got.push_back(co_await receiver.recv());
  co_return got;
}

TEST(BoundedQueue, FullLeavesTheItemWithTheCallerAndTheEndComesAfterTheItems) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  auto [sender, receiver] = Queue::make(2);
  std::string item;
  {
    Queue::Sender copy = sender;
    Queue::Sender moved = std::move(sender);
    EXPECT_EQ(copy.try_send("a"), SendStatus::Ok);
    EXPECT_EQ(moved.try_send("b"), SendStatus::Ok);
    item = "c";
    EXPECT_EQ(moved.try_send(std::move(item)), SendStatus::Full);
    EXPECT_EQ(item, "c");
    EXPECT_EQ(block_on(runtime, receive(receiver, 1)), (std::vector<std::optional<std::string>>{"a"}));
    EXPECT_EQ(copy.try_send(std::move(item)), SendStatus::Ok);
  }
  EXPECT_EQ(block_on(runtime, receive(receiver, 4)),
            (std::vector<std::optional<std::string>>{"b", "c", std::nullopt, std::nullopt}));
}

TEST(BoundedQueue, ClosedOnceTheReceiverIsDropped) {
  auto [sender, receiver] = Queue::make(4);
  EXPECT_EQ(sender.try_send("queued"), SendStatus::Ok);
  { Queue::Receiver dropped = std::move(receiver); }
  std::string item = "late";
  EXPECT_EQ(sender.try_send(std::move(item)), SendStatus::Closed);
  EXPECT_EQ(item, "late");
}

// Producers on plain threads, the receiver a task; items carry (producer, n).
std::vector<std::vector<int>> deliver(Runtime& runtime, int items, int producers) {
  auto [sender, receiver] = BoundedQueue<std::pair<int, int>>::make(1024);
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([=, s = sender] {
      for (int i = p; i < items; i += producers) {
        std::pair<int, int> item{p, i};
        // try_send never waits; a full queue is the producer's to retry.
        while (s.try_send(std::move(item)) == SendStatus::Full) std::this_thread::yield();
      }
    });
  }
  { auto original = std::move(sender); }
  auto consume = [&]() -> asio::awaitable<std::vector<std::vector<int>>> {
    std::vector<std::vector<int>> per_producer(producers);
    while (auto item = co_await receiver.recv()) per_producer[item->first].push_back(item->second);
    co_return per_producer;
  };
  std::vector<std::vector<int>> per_producer = block_on(runtime, consume());
  for (std::thread& thread : threads) thread.join();
  return per_producer;
}

TEST(BoundedQueue, DeliversOneHundredThousandItemsInOrderAcrossThreads) {
  Runtime runtime(RuntimeOptions{.worker_threads = 4});
  constexpr int kItems = 100'000;
  for (int producers : {1, 4}) {
    SCOPED_TRACE(producers);
    std::vector<std::vector<int>> per_producer = deliver(runtime, kItems, producers);
    for (int p = 0; p < producers; ++p) {
      std::vector<int> expected;
      for (int i = p; i < kItems; i += producers) expected.push_back(i);
      EXPECT_EQ(per_producer[p], expected) << "producer " << p;
    }
  }
}

}  // namespace
}  // namespace ovik::runtime
