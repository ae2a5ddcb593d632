#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <future>
#include <numeric>
#include <semaphore>

#include "common/error.hpp"
#include "log/capture.hpp"
#include "pipeline/callback_sink.hpp"
#include "pipeline/dispatcher.hpp"

namespace ovik::pipeline {
namespace {

// The test handler records each item; it waits at `g_hold_at` until the gate
// opens, and then throws if that item is `g_throw_at`.
std::array<std::atomic<int>, 2048> g_items;
std::atomic<int> g_count{0}, g_in_flight{0}, g_most_in_flight{0};
int g_hold_at = -1, g_throw_at = -1;
std::promise<void> g_open;
const std::shared_future<void> g_gate = g_open.get_future().share();

void record(int item) {
  g_most_in_flight = std::max(g_most_in_flight.load(), ++g_in_flight);
  g_items[g_count] = item;
  ++g_count;
  if (item == g_hold_at) g_gate.wait_for(std::chrono::seconds(10));
  --g_in_flight;
  if (item == g_throw_at) throw Error("boom");
}

// Polls `done` for at most 10 s.
template <class Done>
void await(Done done) {
  for (int spins = 0; !done() && spins < 1000; ++spins) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Every item recorded, once there are `count` (at most 10 s later).
std::vector<int> recorded(int count) {
  await([&] { return g_count >= count; });
  return std::vector<int>(g_items.begin(), g_items.begin() + g_count);
}

// Stalled on its first item, a dispatcher keeps 1024 more and drops the rest
// while another dispatcher goes on; once free, its worker delivers what
// waited, in order, one at a time, and stops once its last sender is gone.
TEST(Dispatcher, FullQueueDropsWithAWarningAndDrainsBeforeItStops) {
  static std::atomic<int> other_items{0};
  log::ScopedCapture capture;
  g_hold_at = 0;
  auto dispatcher = std::make_unique<CallbackDispatcher<int>>("EMG", &record);
  CallbackDispatcher<int> other("IMU", [](int) { ++other_items; });
  dispatcher->dispatch(0);
  recorded(1);
  for (int i = 1; i < 1100; ++i) dispatcher->dispatch(i);
  for (int i = 0; i < 5; ++i) other.dispatch(i);
  await([] { return other_items == 5; });
  EXPECT_EQ(recorded(1).size(), 1u);
  dispatcher.reset();
  g_open.set_value();
  std::vector<int> expected(1025);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(recorded(1025), expected);
  EXPECT_EQ(g_most_in_flight, 1);
  await([&] { return capture.messages(kDispatcherTarget).size() > 75; });
  std::vector<std::string> logged(75, "⚠️  EMG callback dispatcher is full (lagging callback). Dropping sample to "
                                      "prevent memory overflow!");
  logged.push_back("EMG callback dispatcher stopped");
  EXPECT_EQ(capture.messages(kDispatcherTarget), logged);
}

// The bound counts every item not yet handed to the callable, wherever the
// dispatcher keeps it: with item 2 in the callable and 3..1025 waiting, one
// place is free.
std::binary_semaphore g_release_1{0}, g_release_2{0};

void stall_in_1_and_2(int item) {
  g_items[g_count] = item;
  ++g_count;
  if (item == 1) g_release_1.acquire();
  if (item == 2) g_release_2.acquire();
}

TEST(Dispatcher, EveryItemNotYetHandedOverCountsAgainstTheBound) {
  log::ScopedCapture capture;
  CallbackDispatcher<int> dispatcher("EMG", &stall_in_1_and_2);
  dispatcher.dispatch(1);
  recorded(1);
  for (int i = 2; i <= 1025; ++i) dispatcher.dispatch(i);
  EXPECT_EQ(capture.messages(kDispatcherTarget), std::vector<std::string>{});
  g_release_1.release();
  recorded(2);
  for (int i = 1026; i < 1326; ++i) dispatcher.dispatch(i);
  g_release_2.release();
  std::vector<int> expected(1026);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(recorded(1026), expected);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // an item delivered beyond those would show
  EXPECT_EQ(g_count, 1026);
  EXPECT_EQ(capture.messages(kDispatcherTarget),
            std::vector<std::string>(299, "⚠️  EMG callback dispatcher is full (lagging callback). Dropping "
                                          "sample to prevent memory overflow!"));
}

TEST(Dispatcher, AFailedJobEndsTheWorkerAndTheNextSendRestartsIt) {
  log::ScopedCapture capture;
  int error_pipe[2];
  ASSERT_EQ(pipe(error_pipe), 0);
  const int saved_stderr = dup(2);
  dup2(error_pipe[1], 2);
  g_hold_at = g_throw_at = 0;
  CallbackDispatcher<int> dispatcher("Throw", &record);
  for (int i = 0; i < 3; ++i) dispatcher.dispatch(i);
  recorded(1);
  g_open.set_value();
  pollfd written{error_pipe[0], POLLIN, 0};
  poll(&written, 1, 10000);
  char text[128] = {};
  EXPECT_GT(read(error_pipe[0], text, sizeof(text) - 1), 0);
  dup2(saved_stderr, 2);
  EXPECT_STREQ(text, "spawn_blocking failed: callback handler failed: boom\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the worker ends right after that line
  for (int i : {3, 4}) dispatcher.dispatch(i);
  EXPECT_EQ(recorded(3), (std::vector<int>{0, 3, 4}));
  EXPECT_EQ(capture.messages(kDispatcherTarget),
            std::vector<std::string>{"Restarting Throw callback dispatcher after send failure"});
}

// Counts the sink's runs: one run is one interpreter-lock acquisition for
// the Python sink.
struct RunCountingSink : CallbackSink {
  bool is_set(CallbackKind) const override { return false; }
  void run_batch(const std::function<void()>& body) override {
    ++runs;
    body();
  }
  void invoke(CallbackKind, RowBatch) override {}
  void invoke_message(std::string, std::string) override {}
  std::atomic<int> runs{0};
};

// What a parser hands over from one received chunk waits for the chunk's
// end, and then all of it is delivered in one run, a dispatcher's items in
// order, the dispatchers in the order they got their first item.
TEST(Dispatcher, ItemsOfOneArrivalBatchWaitForItsEndAndShareOneRun) {
  auto* sink = new RunCountingSink;  // kept for the process: delivery threads may reach it
  install_callback_sink(sink);
  CallbackDispatcher<int> a("A", &record), b("B", &record), c("C", &record);
  hold_wake_ups();
  for (int i : {1, 2, 3}) a.dispatch(i);
  b.dispatch(10);
  c.dispatch(100);
  a.dispatch(4);
  b.dispatch(20);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(g_count, 0);
  release_wake_ups();
  EXPECT_EQ(recorded(7), (std::vector<int>{1, 2, 3, 4, 10, 20, 100}));
  EXPECT_EQ(sink->runs, 1);
}

// Lane A's handler keeps its thread while lane B's item, made ready in the
// same batch, waits behind it.
struct Stall {
  const char* name;
  void (*stall)();
  bool b_waits_for_a;  // otherwise B is delivered on another thread while A stalls
};

std::binary_semaphore g_let_a_go{0};
std::atomic<bool> g_a_inside{false}, g_a_done{false}, g_b_done{false}, g_b_after_a{false};
std::atomic<std::thread::id> g_a_thread, g_b_thread;
void (*g_stall)() = nullptr;

void stalling_a(int) {
  g_a_thread = std::this_thread::get_id();
  g_a_inside = true;
  g_stall();
  g_a_done = true;
}

void recording_b(int) {
  g_b_thread = std::this_thread::get_id();
  g_b_after_a = g_a_done.load();
  g_b_done = true;
}

class SlowHandler : public ::testing::TestWithParam<Stall> {};

TEST_P(SlowHandler, HoldsUpTheOtherLanesOnlyUntilItIsFoundSlow) {
  g_stall = GetParam().stall;
  CallbackDispatcher<int> a("A", &stalling_a), b("B", &recording_b);
  hold_wake_ups();
  a.dispatch(1);
  b.dispatch(2);
  release_wake_ups();
  await([] { return g_b_done.load(); });
  EXPECT_TRUE(g_b_done);
  EXPECT_EQ(g_b_after_a, GetParam().b_waits_for_a);
  EXPECT_EQ(g_b_thread == g_a_thread, GetParam().b_waits_for_a);
  g_let_a_go.release();
  await([] { return g_a_done.load(); });
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, SlowHandler,
    ::testing::Values(
        // past kSlowHandler, another thread takes B
        Stall{"Blocked", [] { g_let_a_go.acquire(); }, false},
        // waiting for the lock every delivery needs: another thread would
        // wait too, so B stays behind A on the same thread
        Stall{"WaitingForTheSharedLock",
              [] {
                SharedLockWait waiting;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
              },
              true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ovik::pipeline
