#include <unistd.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <asio/posix/stream_descriptor.hpp>
#include <gtest/gtest.h>

#include "common/error.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/first_of.hpp"
#include "runtime/runtime.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::runtime {
namespace {

using namespace std::chrono_literals;
using testing::block_on;

TEST(CancellationToken, CancelFromAPlainThreadWakesEveryWaiterAndLaterWaitsPassAtOnce) {
  Runtime runtime(RuntimeOptions{.worker_threads = 4});
  CancellationToken token;
  CancellationToken copy = token;
  constexpr int kWaiters = 8;
  auto scenario = [&]() -> asio::awaitable<int> {
    std::vector<TaskHandle<int>> waiters;
    for (int i = 0; i < kWaiters; ++i) {
      waiters.push_back(runtime.spawn([](CancellationToken token, int i) -> asio::awaitable<int> {
        co_await token.cancelled();
        co_return i;
      }(token, i)));
    }
    EXPECT_FALSE(copy.is_cancelled());
    std::thread canceller([copy] { copy.cancel(); });
    int sum = 0;
    for (auto& waiter : waiters) sum += co_await waiter.join();
    canceller.join();
    token.cancel();
    co_await token.cancelled();
    co_return sum;
  };
  EXPECT_EQ(block_on(runtime, scenario()), kWaiters * (kWaiters - 1) / 2);
  EXPECT_TRUE(token.is_cancelled());
}

// The serial listener's wait: readability of the port, or cancellation.
class Pipe {
 public:
  Pipe() {
    if (::pipe(fds_) != 0) throw std::system_error(errno, std::generic_category());
  }
  ~Pipe() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int release_read_end() { return std::exchange(fds_[0], -1); }
  void write(std::string_view bytes) { ASSERT_EQ(::write(fds_[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }

 private:
  int fds_[2];
};

std::string read_available(asio::posix::stream_descriptor& port) {
  std::array<char, 64> buffer{};
  std::size_t n = port.read_some(asio::buffer(buffer));
  return std::string(buffer.data(), n);
}

asio::awaitable<void> readable(asio::posix::stream_descriptor& port) {
  return port.async_wait(asio::posix::descriptor_base::wait_read, asio::use_awaitable);
}

TEST(FirstOf, TokenAgainstReadinessLosesNoByte) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  Pipe pipe;
  auto scenario = [&]() -> asio::awaitable<std::vector<std::string>> {
    std::vector<std::string> trail;
    asio::posix::stream_descriptor port(co_await asio::this_coro::executor, pipe.release_read_end());
    CancellationToken token;

    // Data first: the readiness wait wins and the bytes are all there.
    pipe.write("QOVA1");
    auto first = co_await first_of(token.cancelled(), readable(port));
    trail.push_back(first.index() == 1 ? "readable" : "cancelled");
    trail.push_back(read_available(port));

    // Cancellation while waiting: the wait is given up without reading.
    std::thread canceller([token] { token.cancel(); });
    auto second = co_await first_of(token.cancelled(), readable(port));
    canceller.join();
    trail.push_back(second.index() == 0 ? "cancelled" : "readable");
    pipe.write("QOVA2");
    trail.push_back(read_available(port));

    // Both at once: whichever wins, the bytes are still there.
    pipe.write("QOVA3");
    co_await first_of(token.cancelled(), readable(port));
    trail.push_back(read_available(port));
    co_return trail;
  };
  EXPECT_EQ(block_on(runtime, scenario()),
            (std::vector<std::string>{"readable", "QOVA1", "cancelled", "QOVA2", "QOVA3"}));
}

TEST(FirstOf, ValuesExceptionsAndTheLoserIsCancelled) {
  Runtime runtime(RuntimeOptions{.worker_threads = 2});
  auto scenario = []() -> asio::awaitable<std::vector<std::string>> {
    std::vector<std::string> trail;
    auto value = []() -> asio::awaitable<std::string> { co_return "value"; };
    auto boom = []() -> asio::awaitable<int> {
      throw Error("boom");
      co_return 0;
    };
    auto start = std::chrono::steady_clock::now();
    auto won = co_await first_of(sleep_for(1h), value());
    trail.push_back(std::to_string(won.index()) + ":" + std::get<1>(won));
    try {
      co_await first_of(boom(), sleep_for(1h));
      trail.push_back("no exception");
    } catch (const Error& error) {
      trail.push_back(error.message());
    }
    auto timed = co_await first_of(sleep_for(1h), sleep_for(1ms));
    trail.push_back(std::to_string(timed.index()));
    // The hour-long losers were cancelled, not waited out.
    trail.push_back(std::chrono::steady_clock::now() - start < 1min ? "prompt" : "slow");
    co_return trail;
  };
  EXPECT_EQ(block_on(runtime, scenario()), (std::vector<std::string>{"1:value", "boom", "1", "prompt"}));
}

}  // namespace
}  // namespace ovik::runtime
