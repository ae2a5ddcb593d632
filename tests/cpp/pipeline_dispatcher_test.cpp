#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "log/capture.hpp"
#include "pipeline/dispatcher.hpp"
#include "support/recording_sink.hpp"

namespace ovik::pipeline {
namespace {

using testing::await;

// What the test handler saw; it waits at `hold_at` until released and then
// throws if that item is `throw_at`.
struct Handled {
  std::mutex mutex;
  std::condition_variable released;
  std::vector<int> items;
  int in_flight = 0, most_in_flight = 0, hold_at = -1, throw_at = -1;

  std::vector<int> wait_for(std::size_t n) {
    await([&] {
      std::lock_guard lock(mutex);
      return items.size() >= n;
    });
    std::lock_guard lock(mutex);
    return items;
  }
  void release() {
    std::lock_guard lock(mutex);
    hold_at = -1;
    released.notify_all();
  }
} g_handled;

void record(int item) {
  std::unique_lock lock(g_handled.mutex);
  g_handled.most_in_flight = std::max(g_handled.most_in_flight, ++g_handled.in_flight);
  g_handled.items.push_back(item);
  g_handled.released.wait_for(lock, std::chrono::seconds(10), [&] { return g_handled.hold_at != item; });
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

TEST(Dispatcher, ASlowHandlerHoldsBackOnlyItsOwnDispatcher) {
  g_handled.hold_at = 0;
  CallbackDispatcher<int> slow("EMG", &record);
  CallbackDispatcher<int> other("IMU", [](int) { ++g_other; });
  slow.dispatch(0);
  slow.dispatch(1);
  g_handled.wait_for(1);
  for (int i = 0; i < 5; ++i) other.dispatch(i);
  await([] { return g_other == 5; });
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
  EXPECT_EQ(capture.messages(kDispatcherTarget),
            std::vector<std::string>(75, "⚠️  Stall callback dispatcher is full (lagging callback). Dropping sample "
                                         "to prevent memory overflow!"));
  EXPECT_EQ(sink.batches, 5);
}

TEST(Dispatcher, AFailedJobEndsTheWorkerAndTheNextSendRestartsIt) {
  log::ScopedCapture capture;
  const std::string path = ::testing::TempDir() + "dispatcher_stderr.txt";
  const int saved_stderr = dup(2);
  dup2(fileno(std::fopen(path.c_str(), "w+")), 2);
  g_handled.hold_at = g_handled.throw_at = 0;
  CallbackDispatcher<int> dispatcher("Throw", &record);
  dispatcher.dispatch(0);
  g_handled.wait_for(1);
  dispatcher.dispatch(1);
  dispatcher.dispatch(2);
  g_handled.release();
  std::string written;
  await([&] {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    written = text.str();
    return !written.empty();
  });
  dup2(saved_stderr, 2);
  EXPECT_EQ(written, "spawn_blocking failed: callback handler failed: boom\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the worker ends right after that line
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
  await([&] { return !capture.messages(kDispatcherTarget).empty(); });
  EXPECT_EQ(capture.messages(kDispatcherTarget), std::vector<std::string>{"EMG callback dispatcher stopped"});
}

}  // namespace
}  // namespace ovik::pipeline
