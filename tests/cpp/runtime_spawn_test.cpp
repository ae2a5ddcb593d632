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
  EXPECT_EQ(Runtime::current(), nullptr);
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

// The finish callback sees the outcome before any joiner wakes; a callback
// that throws is logged and the joiners still wake.
TEST(Task, OutcomesReachTheCallbackThenTheJoiners) {
  log::ScopedCapture capture;
  {
    Runtime runtime(RuntimeOptions{.worker_threads = 2});
    auto scenario = [&]() -> asio::awaitable<std::vector<std::string>> {
      std::vector<std::string> trail;
      auto note = [&trail](const TaskOutcome<int>& outcome) {
        if (outcome.index() == 0) return trail.push_back("callback " + std::to_string(std::get<0>(outcome)));
        try {
          std::rethrow_exception(std::get<1>(outcome));
        } catch (const TaskAborted& aborted) {
          trail.push_back(std::string("callback ") + aborted.what());
        } catch (const Error& error) {
          trail.push_back("callback " + error.message());
        }
      };
      auto value = [](int v) -> asio::awaitable<int> { co_return v; };
      auto failing = []() -> asio::awaitable<int> {
        throw Error("device busy");
        co_return 0;
      };
      trail.push_back("joined " + std::to_string(co_await runtime.spawn(value(7), note).join()));
      try {
        co_await runtime.spawn(failing(), note).join();
      } catch (const Error& error) {
        trail.push_back("joined " + error.message());
      }
      CancellationToken never;
      TaskHandle<int> waiting = runtime.spawn([](CancellationToken never) -> asio::awaitable<int> {
        co_await never.cancelled();
        co_return 1;
      }(never), note);
      waiting.abort();
      try {
        co_await waiting.join();
      } catch (const TaskAborted&) {
        trail.push_back("joined aborted");
      }
      // The abort reaches the task on its own strand, after its body returned.
      CancellationToken returning;
      TaskHandle<int> late = runtime.spawn([](CancellationToken returning) -> asio::awaitable<int> {
        returning.cancel();
        co_return 5;
      }(returning));
      co_await returning.cancelled();
      late.abort();
      trail.push_back("joined " + std::to_string(co_await late.join()));
      auto broken = [](const TaskOutcome<int>&) { throw std::runtime_error("callback broke"); };
      trail.push_back("joined " + std::to_string(co_await runtime.spawn(value(9), broken).join()));
      co_return trail;
    };
    EXPECT_EQ(block_on(runtime, scenario()),
              (std::vector<std::string>{"callback 7", "joined 7", "callback device busy", "joined device busy",
                                        "callback task aborted", "joined aborted", "joined 5", "joined 9"}));
  }
  EXPECT_EQ(capture.records(),
            (std::vector<log::CapturedRecord>{{log::Level::Error, "ovik_sdk::utils::runtime",
                                               "runtime worker caught an exception: callback broke"}}));
}

}  // namespace
}  // namespace ovik::runtime
