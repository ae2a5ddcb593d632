#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "log/capture.hpp"
#include "pipeline/dispatcher.hpp"
#include "support/recording_sink.hpp"

namespace ovik::pipeline {
namespace {

using namespace std::chrono_literals;

// What the test handlers saw, and a gate that holds them on chosen items.
struct Handled {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> items;
  int in_flight = 0;
  int most_in_flight = 0;
  int hold_at = -1;  // the handler waits at this item until released
  int throw_at = -1;

  // Waits (at most 10 s) for `n` items in all.
  std::vector<int> wait_for(std::size_t n) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, 10s, [&] { return items.size() >= n; });
    return items;
  }
  void release() {
    std::lock_guard lock(mutex);
    hold_at = -1;
    changed.notify_all();
  }
} g_handled;

void record(int item) {
  std::unique_lock lock(g_handled.mutex);
  g_handled.most_in_flight = std::max(g_handled.most_in_flight, ++g_handled.in_flight);
  g_handled.items.push_back(item);
  g_handled.changed.notify_all();
  g_handled.changed.wait_for(lock, 10s, [&] { return g_handled.hold_at != item; });
  --g_handled.in_flight;
  if (item == g_handled.throw_at) throw Error("boom");
}

std::vector<int> sequence(int first, int last) {
  std::vector<int> out;
  for (int i = first; i <= last; ++i) out.push_back(i);
  return out;
}

TEST(Dispatcher, DeliversInOrderOneAtATime) {
  CallbackDispatcher<int> dispatcher("Order", &record);
  for (int i = 0; i < 1000; ++i) dispatcher.dispatch(i);
  EXPECT_EQ(g_handled.wait_for(1000), sequence(0, 999));
  EXPECT_EQ(g_handled.most_in_flight, 1);
}

std::atomic<int> g_other{0};
void count_other(int) { ++g_other; }

TEST(Dispatcher, ASlowHandlerHoldsBackOnlyItsOwnDispatcher) {
  g_handled.hold_at = 0;
  CallbackDispatcher<int> slow("EMG", &record);
  CallbackDispatcher<int> other("IMU", &count_other);
  slow.dispatch(0);
  slow.dispatch(1);
  g_handled.wait_for(1);
  for (int i = 0; i < 5; ++i) other.dispatch(i);
  for (int spins = 0; g_other < 5 && spins < 1000; ++spins) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(g_other, 5);
  EXPECT_EQ(g_handled.items, std::vector<int>{0});
  g_handled.release();
  EXPECT_EQ(g_handled.wait_for(2), (std::vector<int>{0, 1}));
}

// Stalled on its first item, a dispatcher keeps 1024 more and drops the rest;
// once free, its worker delivers what waited in runs of at most 256.
TEST(Dispatcher, FullQueueDropsWithAWarning) {
  testing::RecordingSink& sink = testing::RecordingSink::installed();
  log::ScopedCapture capture;
  g_handled.hold_at = 0;
  CallbackDispatcher<int> dispatcher("Stall", &record);
  dispatcher.dispatch(0);
  g_handled.wait_for(1);
  for (int i = 1; i < 1100; ++i) dispatcher.dispatch(i);
  g_handled.release();
  EXPECT_EQ(g_handled.wait_for(1025), sequence(0, 1024));
  const std::vector<std::string> warned = capture.messages(kDispatcherTarget);
  EXPECT_EQ(warned, std::vector<std::string>(
                        75, "⚠️  Stall callback dispatcher is full (lagging callback). Dropping sample to prevent memory "
                            "overflow!"));
  EXPECT_EQ(sink.batches, 5);
}

// Standard error goes to a file while the test watches it.
class StderrFile {
 public:
  StderrFile() : saved_(dup(2)) {
    std::FILE* file = std::fopen(path_.c_str(), "w+");
    dup2(fileno(file), 2);
    std::fclose(file);
  }
  ~StderrFile() { dup2(saved_, 2); }
  // Waits (at most 10 s) until something was written.
  std::string wait_for_text() {
    std::string text;
    for (int spins = 0; text.empty() && spins < 1000; ++spins) {
      std::this_thread::sleep_for(10ms);
      std::stringstream read;
      read << std::ifstream(path_).rdbuf();
      text = read.str();
    }
    return text;
  }

 private:
  std::string path_ = ::testing::TempDir() + "dispatcher_stderr.txt";
  int saved_;
};

TEST(Dispatcher, AFailedJobEndsTheWorkerAndTheNextSendRestartsIt) {
  log::ScopedCapture capture;
  StderrFile stderr_file;
  g_handled.hold_at = 0;
  g_handled.throw_at = 0;
  CallbackDispatcher<int> dispatcher("Throw", &record);
  dispatcher.dispatch(0);
  g_handled.wait_for(1);
  dispatcher.dispatch(1);
  dispatcher.dispatch(2);
  g_handled.release();
  EXPECT_EQ(stderr_file.wait_for_text(), "spawn_blocking failed: callback handler failed: boom\n");
  std::this_thread::sleep_for(100ms);  // the worker ends right after that line
  dispatcher.dispatch(3);
  dispatcher.dispatch(4);
  EXPECT_EQ(g_handled.wait_for(3), (std::vector<int>{0, 3, 4}));
  EXPECT_EQ(capture.messages(kDispatcherTarget),
            std::vector<std::string>{"Restarting Throw callback dispatcher after send failure"});
}

TEST(Dispatcher, StopsAfterDrainingOnceTheLastSenderIsGone) {
  log::ScopedCapture capture;
  g_handled.hold_at = 0;
  auto dispatcher = std::make_unique<CallbackDispatcher<int>>("EMG", &record);
  for (int i = 0; i < 3; ++i) dispatcher->dispatch(i);
  g_handled.wait_for(1);
  dispatcher.reset();
  g_handled.release();
  EXPECT_EQ(g_handled.wait_for(3), (std::vector<int>{0, 1, 2}));
  for (int spins = 0; capture.messages(kDispatcherTarget).empty() && spins < 1000; ++spins) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(capture.messages(kDispatcherTarget), std::vector<std::string>{"EMG callback dispatcher stopped"});
}

}  // namespace
}  // namespace ovik::pipeline
