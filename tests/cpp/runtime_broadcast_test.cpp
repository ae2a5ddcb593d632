#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/broadcast.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using namespace std::chrono_literals;
using testing::block_on;

// The parser's channel size.
constexpr std::size_t kParserCapacity = 16'384;

// A read as text, so that whole sequences compare at once.
template <class T>
std::string show(const Received<T>& read) {
  switch (read.status) {
    case RecvStatus::Value:
      return std::to_string(*read.value);
    case RecvStatus::Lagged:
      return "Lagged(" + std::to_string(read.missed) + ")";
    case RecvStatus::Closed:
      return "Closed";
    case RecvStatus::Empty:
      return "Empty";
    case RecvStatus::TimedOut:
      return "TimedOut";
    case RecvStatus::Cancelled:
      return "Cancelled";
  }
  return "?";
}

std::vector<std::string> try_reads(Broadcast<int>::Receiver& receiver, int count) {
  std::vector<std::string> reads;
  for (int i = 0; i < count; ++i) reads.push_back(show(receiver.try_recv()));
  return reads;
}

TEST(Broadcast, AnIdleSubscriberLearnsExactlyHowManyItLostAndGoesOnAtTheOldestHeld) {
  Broadcast<int>::Sender sender = Broadcast<int>::make(kParserCapacity);
  Broadcast<int>::Receiver idle = sender.subscribe();
  for (int i = 0; i < 16'396; ++i) sender.publish(i);
  EXPECT_EQ(try_reads(idle, 3), (std::vector<std::string>{"Lagged(12)", "12", "13"}));
  for (int expected = 14; expected < 16'396; ++expected) ASSERT_EQ(show(idle.try_recv()), std::to_string(expected));
  EXPECT_EQ(show(idle.try_recv()), "Empty");
}

TEST(Broadcast, CapacityLateSubscribersAndTheEnd) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  Broadcast<int>::Sender sender = Broadcast<int>::make(4);
  Broadcast<int>::Receiver polled = sender.subscribe();
  for (int i = 0; i < 4; ++i) sender.publish(i);
  EXPECT_EQ(try_reads(polled, 5), (std::vector<std::string>{"0", "1", "2", "3", "Empty"}));
  Broadcast<int>::Receiver late = sender.subscribe();
  Broadcast<int>::Receiver awaited = sender.subscribe();
  for (int i = 4; i < 9; ++i) sender.publish(i);
  {
    Broadcast<int>::Sender copy = sender;
    Broadcast<int>::Sender last = std::move(sender);
  }
  const std::vector<std::string> expected = {"Lagged(1)", "5", "6", "7", "8", "Closed", "Closed"};
  EXPECT_EQ(try_reads(polled, 7), expected);
  EXPECT_EQ(try_reads(late, 7), expected);
  auto read_all = [&]() -> asio::awaitable<std::vector<std::string>> {
    std::vector<std::string> reads;
    for (int i = 0; i < 7; ++i) reads.push_back(show(co_await awaited.recv()));
    co_return reads;
  };
  EXPECT_EQ(block_on(runtime, read_all()), expected);
}

// A reader that is not a task: its wake-up is queued only when nothing is
// there to read, and runs once, on the next publish or the end.
TEST(Broadcast, AWakeUpRunsOnceOnTheNextChange) {
  Broadcast<int>::Sender sender = Broadcast<int>::make(8);
  Broadcast<int>::Receiver receiver = sender.subscribe();
  std::vector<std::string> trail;
  auto ask = [&](const std::string& name) {
    trail.push_back(receiver.wake_when_readable([&trail, name] { trail.push_back(name + " woken"); })
                        ? name + " queued"
                        : name + " refused");
  };
  ask("first");
  sender.publish(1);
  sender.publish(2);
  ask("unread");
  for (const std::string& read : try_reads(receiver, 2)) trail.push_back(read);
  ask("second");
  { auto last = std::move(sender); }
  ask("ended");
  EXPECT_EQ(trail, (std::vector<std::string>{"first queued", "first woken", "unread refused", "1", "2",
                                             "second queued", "second woken", "ended refused"}));
}

TEST(Broadcast, ReadWithADeadlineOrAToken) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  Broadcast<int>::Sender sender = Broadcast<int>::make(8);
  auto receiver = sender.subscribe();
  auto scenario = [&]() -> asio::awaitable<std::vector<std::string>> {
    std::vector<std::string> reads;
    auto start = std::chrono::steady_clock::now();
    reads.push_back(show(co_await receiver.recv_until(start + 20ms)));
    reads.push_back(std::chrono::steady_clock::now() - start >= 20ms ? "waited" : "early");
    sender.publish(7);  // already there: returned though the deadline has passed
    reads.push_back(show(co_await receiver.recv_until(start)));
    std::thread publisher([&] { sender.publish(8); });
    reads.push_back(show(co_await receiver.recv_until(std::chrono::steady_clock::now() + 1h)));
    publisher.join();
    CancellationToken token;
    std::thread canceller([token] { token.cancel(); });
    reads.push_back(show(co_await receiver.recv_or(token)));
    canceller.join();
    // Cancellation comes before what is still to be read; the value stays.
    sender.publish(9);
    reads.push_back(show(co_await receiver.recv_or(token)));
    reads.push_back(show(receiver.try_recv()));
    co_return reads;
  };
  EXPECT_EQ(block_on(runtime, scenario()),
            (std::vector<std::string>{"TimedOut", "waited", "7", "8", "Cancelled", "Cancelled", "9"}));
}

// Values carry (publisher, n); every subscriber must see each exactly once,
// each publisher's in order, and all subscribers the same interleaving.
using Tagged = std::pair<int, int>;

asio::awaitable<std::vector<Tagged>> read_to_the_end(Broadcast<Tagged>::Receiver receiver) {
  std::vector<Tagged> seen;
  for (;;) {
    Received<Tagged> read = co_await receiver.recv();
    if (read.status == RecvStatus::Closed) co_return seen;
    if (read.status != RecvStatus::Value) {
      ADD_FAILURE() << "unexpected " << static_cast<int>(read.status);
      co_return seen;
    }
    seen.push_back(*read.value);
  }
}

TEST(Broadcast, FourPublishersFourSubscribersEveryResultOncePerSubscriberInOrder) {
  Runtime runtime(RuntimeOptions{.worker_threads = 4});
  constexpr int kPublishers = 4;
  constexpr int kSubscribers = 4;
  constexpr int kEach = 4'000;  // 16,000 in all: no subscriber can lag
  Broadcast<Tagged>::Sender sender = Broadcast<Tagged>::make(kParserCapacity);
  std::vector<TaskHandle<std::vector<Tagged>>> subscribers;
  for (int s = 0; s < kSubscribers; ++s) {
    subscribers.push_back(runtime.spawn(read_to_the_end(sender.subscribe())));
  }
  std::vector<std::thread> publishers;
  for (int p = 0; p < kPublishers; ++p) {
    publishers.emplace_back([p, s = sender] {
      for (int n = 0; n < kEach; ++n) s.publish(Tagged{p, n});
    });
  }
  { auto original = std::move(sender); }
  for (std::thread& publisher : publishers) publisher.join();

  auto collect = [&]() -> asio::awaitable<std::vector<std::vector<Tagged>>> {
    std::vector<std::vector<Tagged>> all;
    for (auto& subscriber : subscribers) all.push_back(co_await subscriber.join());
    co_return all;
  };
  std::vector<std::vector<Tagged>> all = block_on(runtime, collect());
  for (int s = 0; s < kSubscribers; ++s) {
    SCOPED_TRACE(s);
    ASSERT_EQ(all[s].size(), std::size_t{kPublishers * kEach});
    std::vector<int> next(kPublishers, 0);
    for (const Tagged& value : all[s]) ASSERT_EQ(value.second, next[value.first]++);
    EXPECT_EQ(all[s], all[0]);
  }
}

TEST(Broadcast, LagCountsAddUpWhileReadingAgainstAFastPublisher) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  constexpr int kValues = 100'000;
  Broadcast<int>::Sender sender = Broadcast<int>::make(64);
  TaskHandle<std::string> reader = runtime.spawn([](Broadcast<int>::Receiver receiver) -> asio::awaitable<std::string> {
    std::uint64_t values = 0, missed = 0;
    std::int64_t expected = 0;
    for (;;) {
      Received<int> read = co_await receiver.recv();
      if (read.status == RecvStatus::Closed) break;
      if (read.status == RecvStatus::Lagged) {
        missed += read.missed;
        expected += static_cast<std::int64_t>(read.missed);
        continue;
      }
      if (*read.value != expected) co_return "got " + std::to_string(*read.value) + " for " + std::to_string(expected);
      ++expected;
      ++values;
    }
    co_return std::to_string(values + missed);
  }(sender.subscribe()));
  std::thread publisher([s = std::move(sender)] {
    for (int i = 0; i < kValues; ++i) s.publish(i);
  });
  publisher.join();
  auto join = [&]() -> asio::awaitable<std::string> { co_return co_await reader.join(); };
  EXPECT_EQ(block_on(runtime, join()), std::to_string(kValues));
}

}  // namespace
}  // namespace ovik::runtime
