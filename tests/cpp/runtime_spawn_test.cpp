#include <future>
#include <latch>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <asio/detached.hpp>

#include "log/capture.hpp"
#include "runtime/bounded_queue.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/first_of.hpp"
#include "runtime/run_blocking.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using testing::block_on;

asio::awaitable<Runtime*> current_runtime() { co_return Runtime::current(); }

// These first tests need a process in which nothing has built the SDK runtime
// yet; ctest runs every test in a process of its own.
#define REQUIRE_SDK_RUNTIME_NOT_BUILT() \
  if (sdk_runtime_built()) GTEST_SKIP() << "the SDK runtime was built by an earlier test of this process"

TEST(SdkRuntime, SpawnInsideAnotherRuntimeStaysThereAndNeverBuildsIt) {
  REQUIRE_SDK_RUNTIME_NOT_BUILT();
  Runtime bridge(RuntimeOptions{.worker_threads = 2});
  auto nested = [&]() -> asio::awaitable<std::pair<Runtime*, Runtime*>> {
    Runtime* spawned_on = co_await spawn_on_runtime(current_runtime()).join();
    Runtime* blocking_on = co_await run_blocking([] { return Runtime::current(); });
    co_return std::pair(spawned_on, blocking_on);
  };
  auto [spawned_on, blocking_on] = block_on(bridge, nested());
  EXPECT_EQ(spawned_on, &bridge);
  EXPECT_EQ(blocking_on, &bridge);
  EXPECT_FALSE(sdk_runtime_built());
}

TEST(SdkRuntime, EightThreadsRacingTheFirstSpawnBuildOne) {
  REQUIRE_SDK_RUNTIME_NOT_BUILT();
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::vector<std::promise<Runtime*>> ran_on(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      spawn_on_runtime(current_runtime(), [&ran_on, i](const TaskOutcome<Runtime*>& outcome) {
        ran_on[i].set_value(std::get<0>(outcome));
      });
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_TRUE(sdk_runtime_built());
  for (auto& promise : ran_on) EXPECT_EQ(promise.get_future().get(), &sdk_runtime());
}

TEST(SdkRuntime, TaskStartedThereStaysThereWhileAnotherRuntimeFeedsIt) {
  Runtime other(RuntimeOptions{.worker_threads = 2});
  auto [sender, receiver] = BoundedQueue<int>::make(16);
  // Spawned from this plain thread: it goes to the SDK runtime.
  TaskHandle<std::vector<Runtime*>> worker =
      spawn_on_runtime([](BoundedQueue<int>::Receiver items) -> asio::awaitable<std::vector<Runtime*>> {
        std::vector<Runtime*> seen;
        while (co_await items.recv()) seen.push_back(Runtime::current());
        co_return seen;
      }(std::move(receiver)));
  auto feed = [](BoundedQueue<int>::Sender items) -> asio::awaitable<void> {
    for (int i = 0; i < 5; ++i) EXPECT_EQ(items.try_send(int{i}), SendStatus::Ok);
    co_return;
  };
  block_on(other, feed(std::move(sender)));
  auto collect = [&]() -> asio::awaitable<std::vector<Runtime*>> { co_return co_await worker.join(); };
  EXPECT_EQ(block_on(other, collect()), std::vector<Runtime*>(5, &sdk_runtime()));
}

TEST(SdkRuntime, CoroutineOutsideAnyRuntimeBlocksOnTheSdkPool) {
  asio::io_context plain;
  std::optional<Runtime*> blocking_on;
  asio::co_spawn(
      plain, [&]() -> asio::awaitable<void> { blocking_on = co_await run_blocking([] { return Runtime::current(); }); },
      asio::detached);
  plain.run();
  ASSERT_TRUE(blocking_on.has_value());
  EXPECT_EQ(*blocking_on, &sdk_runtime());
}

TEST(Runtime, CurrentOnlyOnItsWorkerAndBlockingThreads) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  EXPECT_EQ(Runtime::current(), nullptr);
  EXPECT_EQ(block_on(runtime, current_runtime()), &runtime);
  auto from_blocking = []() -> asio::awaitable<Runtime*> {
    co_return co_await run_blocking([] { return Runtime::current(); });
  };
  EXPECT_EQ(block_on(runtime, from_blocking()), &runtime);
  EXPECT_EQ(Runtime::current(), nullptr);
}

// Records what a runtime thread is served by while its thread-local objects
// are destroyed, after its runtime context is gone.
std::atomic<Runtime*> g_served_at_exit{nullptr};
struct ServedAtExit {
  ~ServedAtExit() { g_served_at_exit = &current_or_sdk_runtime(); }
};
thread_local std::optional<ServedAtExit> t_exit_probe;

TEST(Runtime, ExitingWorkerThreadIsServedByTheSdkRuntime) {
  {
    Runtime runtime(RuntimeOptions{.worker_threads = 1});
    auto touch = []() -> asio::awaitable<void> {
      t_exit_probe.emplace();
      co_return;
    };
    block_on(runtime, touch());
  }
  EXPECT_EQ(g_served_at_exit.load(), &sdk_runtime());
}

// Counts destructions of the frames that own it.
struct Owned {
  explicit Owned(std::shared_ptr<std::atomic<int>> counter_in) : counter(std::move(counter_in)) {}
  Owned(Owned&& other) noexcept : counter(std::move(other.counter)) {}
  ~Owned() {
    if (counter) ++*counter;
  }
  std::shared_ptr<std::atomic<int>> counter;
};

TEST(Runtime, DestructionAbortsThePendingTasksAndWaitsForThem) {
  auto destroyed = std::make_shared<std::atomic<int>>(0);
  CancellationToken outlives_the_runtime;
  std::vector<TaskHandle<void>> handles;
  {
    Runtime runtime(RuntimeOptions{.worker_threads = 2});
    auto on_timer = [](Owned) -> asio::awaitable<void> { co_await sleep_for(std::chrono::hours(1)); };
    auto on_token = [](Owned, CancellationToken token) -> asio::awaitable<void> { co_await token.cancelled(); };
    auto spawner = [](Owned owned, CancellationToken token) -> asio::awaitable<void> {
      try {
        co_await token.cancelled();
      } catch (const std::system_error&) {
        // Spawned while the runtime is stopping: aborted as well.
        spawn_on_runtime([](Owned, CancellationToken token) -> asio::awaitable<void> {
          co_await token.cancelled();
        }(std::move(owned), token));
        throw;
      }
    };
    handles.push_back(runtime.spawn(on_timer(Owned(destroyed))));
    handles.push_back(runtime.spawn(on_token(Owned(destroyed), outlives_the_runtime)));
    handles.push_back(runtime.spawn(spawner(Owned(destroyed), outlives_the_runtime)));
    // The last one is certainly parked before the runtime goes.
    auto parked = [&]() -> asio::awaitable<void> {
      CancellationToken started;
      auto announce_then_wait = [](Owned, CancellationToken started, CancellationToken token) -> asio::awaitable<void> {
        started.cancel();
        co_await token.cancelled();
      };
      handles.push_back(runtime.spawn(announce_then_wait(Owned(destroyed), started, outlives_the_runtime)));
      co_await started.cancelled();
    };
    block_on(runtime, parked());
  }
  EXPECT_EQ(destroyed->load(), 4);
  for (const auto& handle : handles) EXPECT_TRUE(handle.is_finished());
}

TEST(Task, JoinReturnsTheValueOrRethrowsTheFailure) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  auto scenario = [&]() -> asio::awaitable<void> {
    auto value = []() -> asio::awaitable<std::unique_ptr<std::string>> {
      co_return std::make_unique<std::string>("done");
    };
    auto failing = []() -> asio::awaitable<void> {
      throw Error("device busy");
      co_return;
    };
    std::unique_ptr<std::string> got = co_await runtime.spawn(value()).join();
    EXPECT_EQ(*got, "done");
    TaskHandle<void> failed = runtime.spawn(failing());
    try {
      co_await failed.join();
      ADD_FAILURE() << "join did not rethrow";
    } catch (const Error& error) {
      EXPECT_EQ(error.message(), "device busy");
    }
    EXPECT_TRUE(failed.is_finished());
  };
  block_on(runtime, scenario());
}

TEST(Task, DroppedHandleLeavesTheTaskRunning) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  CancellationToken go;
  auto [sender, receiver] = BoundedQueue<std::string>::make(1);
  runtime.spawn([](CancellationToken go, BoundedQueue<std::string>::Sender out) -> asio::awaitable<void> {
    co_await go.cancelled();
    out.try_send(std::string("still running"));
  }(go, std::move(sender)));
  go.cancel();
  auto receive = [&]() -> asio::awaitable<std::optional<std::string>> { co_return co_await receiver.recv(); };
  EXPECT_EQ(block_on(runtime, receive()), "still running");
}

TEST(Task, OnFinishRunsBeforeJoinersWakeAndSeesTheOutcome) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  struct Case {
    bool abort;
    const char* expected;
  };
  for (const Case& c : {Case{false, "value 7"}, Case{true, "task aborted"}}) {
    std::string seen;
    CancellationToken never;
    auto task = [](bool wait, CancellationToken never) -> asio::awaitable<int> {
      if (wait) co_await never.cancelled();
      co_return 7;
    };
    TaskHandle<int> handle = runtime.spawn(task(c.abort, never), [&seen](const TaskOutcome<int>& outcome) {
      if (outcome.index() == 0) {
        seen = "value " + std::to_string(std::get<0>(outcome));
        return;
      }
      try {
        std::rethrow_exception(std::get<1>(outcome));
      } catch (const TaskAborted& aborted) {
        seen = aborted.what();
      }
    });
    if (c.abort) handle.abort();
    auto join = [&]() -> asio::awaitable<std::string> {
      try {
        co_await handle.join();
      } catch (const TaskAborted&) {
      }
      co_return seen;
    };
    EXPECT_EQ(block_on(runtime, join()), c.expected);
  }
}

TEST(Task, AThrowingCallbackIsLoggedAndJoinersStillWake) {
  log::ScopedCapture capture;
  {
    Runtime runtime(RuntimeOptions{.worker_threads = 2});
    auto scenario = [&]() -> asio::awaitable<int> {
      auto nine = []() -> asio::awaitable<int> { co_return 9; };
      auto broken = [](const TaskOutcome<int>&) { throw std::runtime_error("callback broke"); };
      TaskHandle<int> handle = runtime.spawn(nine(), broken);
      co_return co_await handle.join();
    };
    EXPECT_EQ(block_on(runtime, scenario()), 9);
  }
  EXPECT_EQ(capture.records(),
            (std::vector<log::CapturedRecord>{{log::Level::Error, "ovik_sdk::utils::runtime",
                                               "runtime worker caught an exception: callback broke"}}));
}

TEST(Task, AbortOnceTheBodyHasReturnedKeepsTheValue) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  auto scenario = [&]() -> asio::awaitable<int> {
    CancellationToken returning;
    // Nothing suspends between the signal and the return, and the abort is
    // delivered on the task's own strand: it comes after the body ended.
    TaskHandle<int> handle = runtime.spawn([](CancellationToken returning) -> asio::awaitable<int> {
      returning.cancel();
      co_return 5;
    }(returning));
    co_await returning.cancelled();
    handle.abort();
    co_return co_await handle.join();
  };
  EXPECT_EQ(block_on(runtime, scenario()), 5);
}

}  // namespace
}  // namespace ovik::runtime
