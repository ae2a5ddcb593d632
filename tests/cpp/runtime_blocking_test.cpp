#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/run_blocking.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using namespace std::chrono_literals;
using testing::block_on;

TEST(RunBlocking, RunsOffTheWorkerThreadWithItsArgumentsMoved) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  auto scenario = []() -> asio::awaitable<std::string> {
    const std::thread::id worker = std::this_thread::get_id();
    auto rows = std::make_unique<std::vector<float>>(std::vector<float>{1.5f, 2.5f});
    co_return co_await run_blocking(
        [worker](std::unique_ptr<std::vector<float>> rows, const std::string& label) {
          const bool elsewhere = std::this_thread::get_id() != worker;
          return label + ":" + std::to_string(rows->size()) + (elsewhere ? " elsewhere" : " on the worker");
        },
        std::move(rows), std::string("EMG"));
  };
  EXPECT_EQ(block_on(runtime, scenario()), "EMG:2 elsewhere");
}

// A job holding a serial port must have let go of it when the caller goes
// on, or an immediate reopen of the port finds it still locked.
TEST(RunBlocking, TheJobsCapturesAreGoneWhenTheCallerResumes) {
  // Lets go of the port only after a pause, as closing a descriptor may.
  struct SlowRelease {
    std::shared_ptr<int> port;
    ~SlowRelease() {
      if (port) std::this_thread::sleep_for(1ms);
    }
  };
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  auto scenario = []() -> asio::awaitable<int> {
    int still_held = 0;
    for (int round = 0; round < 20; ++round) {
      auto port = std::make_shared<int>(round);
      std::weak_ptr<int> watch = port;
      auto job = [held = std::make_shared<SlowRelease>(SlowRelease{std::move(port)})] { return *held->port; };
      co_await run_blocking(std::move(job));
      still_held += !watch.expired();
    }
    co_return still_held;
  };
  EXPECT_EQ(block_on(runtime, scenario()), 0);
}

// With a single worker thread, the job can only be released by another task
// if waiting for it did not hold that thread.
TEST(RunBlocking, SuspendsTheTaskNotTheWorkerThread) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1});
  auto scenario = [&]() -> asio::awaitable<bool> {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    runtime.spawn([](std::promise<void> gate) -> asio::awaitable<void> {
      gate.set_value();
      co_return;
    }(std::move(gate)));
    auto wait_for_gate = [opened] { return opened.wait_for(30s) == std::future_status::ready; };
    co_return co_await run_blocking(std::move(wait_for_gate));
  };
  EXPECT_TRUE(block_on(runtime, scenario()));
}

TEST(RunBlocking, AFailingJobEndsTheCallerWithSpawnBlockingFailed) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  struct Case {
    const char* name;
    std::function<int()> job;
  };
  const Case cases[] = {
      {"ovik error", []() -> int { throw Error("job failed"); }},
      {"std exception", []() -> int { throw std::runtime_error("job failed"); }},
      {"non-exception object", []() -> int { throw 17; }},
      {"forced unwind of the blocking thread", []() -> int { pthread_exit(nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto scenario = [&]() -> asio::awaitable<void> { co_await run_blocking(c.job); };
    try {
      block_on(runtime, scenario());
      ADD_FAILURE() << "no failure";
    } catch (const Error& error) {
      EXPECT_EQ(error.message(), "spawn_blocking failed");
      EXPECT_EQ(error.kind(), ErrorKind::Runtime);
    }
    // The runtime and its pool go on serving.
    auto after = []() -> asio::awaitable<int> { co_return co_await run_blocking([] { return 3; }); };
    EXPECT_EQ(block_on(runtime, after()), 3);
  }
}

// Counts the jobs running at once.
class Gauge {
 public:
  void enter() {
    std::lock_guard lock(mutex_);
    peak_ = std::max(peak_, ++running_);
    changed_.notify_all();
  }
  void leave() {
    std::lock_guard lock(mutex_);
    --running_;
  }
  void wait_for_running(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return running_ == count; });
  }
  int peak() const {
    std::lock_guard lock(mutex_);
    return peak_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int running_ = 0;
  int peak_ = 0;
};

TEST(BlockingPool, NeverRunsMoreThreadsThanItsLimit) {
  constexpr int kLimit = 3;
  constexpr int kJobs = 8;
  Runtime runtime(RuntimeOptions{.worker_threads = 2, .max_blocking_threads = kLimit});
  Gauge gauge;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  std::vector<std::future<int>> results;
  for (int i = 0; i < kJobs; ++i) {
    results.push_back(std::async(std::launch::async, [&, i] {
      auto call = [&]() -> asio::awaitable<int> {
        co_return co_await run_blocking([&, i] {
          gauge.enter();
          opened.wait();
          gauge.leave();
          return i;
        });
      };
      return block_on(runtime, call());
    }));
  }
  gauge.wait_for_running(kLimit);
  EXPECT_EQ(runtime.blocking_thread_count(), static_cast<std::size_t>(kLimit));
  gate.set_value();
  for (int i = 0; i < kJobs; ++i) EXPECT_EQ(results[i].get(), i);
  EXPECT_EQ(gauge.peak(), kLimit);
  EXPECT_LE(runtime.blocking_thread_count(), static_cast<std::size_t>(kLimit));
}

TEST(BlockingPool, IdleThreadsRetireAndNewOnesAreMadeOnDemand) {
  Runtime runtime(RuntimeOptions{.worker_threads = 1, .blocking_keep_alive = 20ms});
  auto job = []() -> asio::awaitable<int> { co_return co_await run_blocking([] { return 1; }); };
  EXPECT_EQ(block_on(runtime, job()), 1);
  // Retirement is a matter of time passing; nothing can be awaited for it.
  auto give_up = std::chrono::steady_clock::now() + 10s;
  while (runtime.blocking_thread_count() != 0 && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(runtime.blocking_thread_count(), 0u);
  EXPECT_EQ(block_on(runtime, job()), 1);
}

}  // namespace
}  // namespace ovik::runtime
