#include <asio/post.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "runtime/async_mutex.hpp"
#include "runtime/bounded_queue.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/first_of.hpp"
#include "runtime/run_blocking.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using namespace std::chrono_literals;
using testing::block_on;

// Sets its flag when destroyed: proves the aborted task's destructors ran.
struct Probe {
  explicit Probe(std::shared_ptr<std::atomic<bool>> flag) : destroyed(std::move(flag)) {}
  Probe(Probe&& other) noexcept : destroyed(std::move(other.destroyed)) {}
  ~Probe() {
    if (destroyed) *destroyed = true;
  }
  std::shared_ptr<std::atomic<bool>> destroyed;
};

// What a victim task may block on; each is set up by the test and outlives it.
struct Blockers {
  AsyncMutex<int> contended;                        // held by the test
  std::optional<BoundedQueue<int>::Receiver> idle;  // its sender is held by the test
  CancellationToken never;
  std::promise<void> gate;  // opened by the test after the abort
  std::shared_future<void> gate_opened = gate.get_future().share();
};

struct Case {
  const char* name;
  std::function<asio::awaitable<void>(Blockers&)> block;
};

const Case kCases[] = {
    {"timer", [](Blockers&) { return sleep_for(1h); }},
    {"queue receive",
     [](Blockers& b) -> asio::awaitable<void> {
       BoundedQueue<int>::Receiver receiver = std::move(*b.idle);
       co_await receiver.recv();
     }},
    {"mutex lock",
     [](Blockers& b) -> asio::awaitable<void> {
       auto guard = co_await b.contended.lock();
       ADD_FAILURE() << "an aborted waiter was granted the lock";
     }},
    {"token", [](Blockers& b) { return b.never.cancelled(); }},
    {"first_of(token, timer)",
     [](Blockers& b) -> asio::awaitable<void> { co_await first_of(b.never.cancelled(), sleep_for(1h)); }},
    {"join", [](Blockers& b) -> asio::awaitable<void> {
       co_await spawn_on_runtime(b.never.cancelled()).join();
     }},
    {"run_blocking", [](Blockers& b) { return run_blocking([gate = b.gate_opened] { gate.wait(); }); }},
};

// The victim holds a lock of `held`, the only sender of `held_queue`, and a
// probe, says it is ready, then blocks.
asio::awaitable<void> victim(const Case& c, Blockers& blockers, AsyncMutex<int>& held, BoundedQueue<int>::Sender ready,
                             std::shared_ptr<std::atomic<bool>> destroyed) {
  Probe probe(std::move(destroyed));
  auto guard = co_await held.lock();
  EXPECT_EQ(ready.try_send(1), SendStatus::Ok);
  co_await c.block(blockers);
  ADD_FAILURE() << c.name << ": the blocking operation completed";
}

TEST(Abort, StopsABlockedTaskAndReleasesWhatItHeld) {
  Runtime runtime(RuntimeOptions{.worker_threads = 4});
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Blockers blockers;
    auto [idle_sender, idle_receiver] = BoundedQueue<int>::make(1);
    blockers.idle.emplace(std::move(idle_receiver));
    AsyncMutex<int> held(0);
    auto destroyed = std::make_shared<std::atomic<bool>>(false);

    auto scenario = [&]() -> asio::awaitable<void> {
      auto contended_guard = co_await blockers.contended.lock();
      auto [ready_sender, ready_receiver] = BoundedQueue<int>::make(1);
      TaskHandle<void> handle = runtime.spawn(victim(c, blockers, held, std::move(ready_sender), destroyed));
      EXPECT_EQ(co_await ready_receiver.recv(), 1);
      handle.abort();
      bool aborted = false;
      try {
        co_await handle.join();
      } catch (const TaskAborted&) {
        aborted = true;
      }
      EXPECT_TRUE(aborted);
      EXPECT_TRUE(destroyed->load());
      // The victim's only sender is gone: the queue reports its end.
      EXPECT_EQ(co_await ready_receiver.recv(), std::nullopt);
      // Its lock was released, and the contended lock goes to the next one.
      auto held_again = co_await first_of(held.lock(), sleep_for(10s));
      EXPECT_EQ(held_again.index(), 0u);
      contended_guard = {};
      auto contended_again = co_await first_of(blockers.contended.lock(), sleep_for(10s));
      EXPECT_EQ(contended_again.index(), 0u);
    };
    block_on(runtime, scenario());
    blockers.gate.set_value();
    blockers.never.cancel();
  }
}

// Code that swallows the abort still stops at its next wait; a task aborted
// before its first run is destroyed all the same.
TEST(Abort, EveryLaterWaitFailsTooAndAnUnstartedTaskIsDestroyed) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  auto destroyed = std::make_shared<std::atomic<bool>>(false);
  auto scenario = [&]() -> asio::awaitable<std::string> {
    CancellationToken waiting;
    std::string trail;
    TaskHandle<void> handle = runtime.spawn([](CancellationToken waiting, std::string& trail) -> asio::awaitable<void> {
      try {
        waiting.cancel();
        co_await sleep_for(1h);
      } catch (const std::system_error& error) {
        trail += error.code() == asio::error::operation_aborted ? "aborted;" : "other;";
      }
      co_await sleep_for(1ms);
      trail += "slept;";
    }(waiting, trail));
    co_await waiting.cancelled();
    handle.abort();
    TaskHandle<void> unstarted = runtime.spawn([](Probe) -> asio::awaitable<void> { co_await sleep_for(1h); }(
        Probe(destroyed)));
    unstarted.abort();
    for (TaskHandle<void>* joined : {&handle, &unstarted}) {
      try {
        co_await joined->join();
      } catch (const TaskAborted&) {
        trail += "joined aborted;";
      }
    }
    co_return trail;
  };
  EXPECT_EQ(block_on(runtime, scenario()), "aborted;joined aborted;joined aborted;");
  EXPECT_TRUE(destroyed->load());
}

// Aborted before it first ran, a task does not run at all: not even up to its
// first wait, where it could already have taken an item or a lock. Its frame
// is gone before a joiner learns that it ended.
TEST(Abort, ATaskAbortedBeforeItsStartNeverRuns) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  std::promise<void> gate;
  asio::post(runtime.executor(), [opened = gate.get_future().share()] { opened.wait(); });
  auto destroyed = std::make_shared<std::atomic<bool>>(false);
  std::atomic<bool> ran{false};
  TaskHandle<void> handle = runtime.spawn([](Probe, std::atomic<bool>& ran) -> asio::awaitable<void> {
    ran = true;
    co_await sleep_for(1h);
  }(Probe(destroyed), ran));
  handle.abort();
  gate.set_value();
  auto join = [&]() -> asio::awaitable<bool> {
    EXPECT_THROW(co_await handle.join(), TaskAborted);
    co_return destroyed->load();
  };
  EXPECT_TRUE(block_on(runtime, join()));
  EXPECT_FALSE(ran.load());
}

}  // namespace
}  // namespace ovik::runtime
