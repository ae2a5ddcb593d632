// The listener over a pseudo-terminal, feeding a recording sink.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "log/capture.hpp"
#include "runtime/first_of.hpp"
#include "runtime/runtime.hpp"
#include "serial/listener.hpp"
#include "serial/log_targets.hpp"
#include "support/pty.hpp"
#include "support/runtime_block_on.hpp"

namespace ovik::log {
// Readable failure output for the long record lists below.
void PrintTo(const CapturedRecord& record, std::ostream* out) {
  *out << level_name(record.level) << ' ' << record.target << ": " << record.message;
}
}  // namespace ovik::log

namespace ovik::serial {
namespace {

using namespace std::chrono_literals;
using log::CapturedRecord;
using log::Level;
using runtime::AsyncMutex;
using runtime::CancellationToken;
using runtime::testing::block_on;
using test::Pty;

const std::string kTarget(kSerialportTarget);
const CapturedRecord kStarted{Level::Debug, kTarget, "listen_serial_stream started"};
const CapturedRecord kCancelled{Level::Debug, kTarget, "收到 cancel 信号，listen_serial_stream 退出..."};
const CapturedRecord kEof{Level::Warn, kTarget, "serial_read EOF，end of stream"};
const CapturedRecord kExited{Level::Debug, kTarget, "listen_serial_stream exited"};

// Keeps every chunk; lets the test wait until a number of bytes came.
class RecordingSink {
 public:
  struct Chunk {
    std::string device_id;
    std::vector<std::uint8_t> bytes;
  };

  ChunkSink callable() {
    return [this](const std::string& device_id, std::span<const std::uint8_t> bytes) {
      {
        std::lock_guard lock(mutex_);
        total_ += bytes.size();
        chunks_.push_back({device_id, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
      }
      changed_.notify_all();
    };
  }

  bool wait_for(std::size_t total, std::chrono::seconds timeout = 20s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return total_ >= total; });
  }

  std::vector<Chunk> chunks() const {
    std::lock_guard lock(mutex_);
    return chunks_;
  }

  std::vector<std::uint8_t> bytes() const {
    std::vector<std::uint8_t> out;
    for (const Chunk& chunk : chunks()) out.insert(out.end(), chunk.bytes.begin(), chunk.bytes.end());
    return out;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t total_ = 0;
  std::vector<Chunk> chunks_;
};

// Reads what the port still holds, waiting up to 2 s for each next byte,
// until `count` bytes came.
asio::awaitable<std::vector<std::uint8_t>> drain(SharedReader reader, std::size_t count) {
  auto half = co_await reader->lock();
  std::vector<std::uint8_t> out;
  std::array<std::uint8_t, kReadBufferSize> buffer;
  while (out.size() < count) {
    auto woken = co_await runtime::first_of(half->readable(), runtime::sleep_for(2s));
    if (woken.index() == 1) break;
    Result<std::optional<std::size_t>> read = half->read_available(buffer);
    if (!read || (*read && **read == 0)) break;
    if (*read) out.insert(out.end(), buffer.begin(), buffer.begin() + **read);
  }
  co_return out;
}

class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime::CurrentRuntimeScope scope(rt);
    Result<SerialStream> stream = open_serial_port(pty.slave_path(), 115200);
    ASSERT_TRUE(stream) << stream.error().message();
    auto [read_half, write_half] = split(std::move(*stream));
    reader = std::make_shared<AsyncMutex<SerialReadHalf>>(std::move(read_half));
    capture.clear();
  }

  runtime::TaskHandle<void> listen(std::optional<CancellationToken> with_token) {
    return rt.spawn(listen_serial_stream(reader, {sink.callable(), "port-7"}, std::move(with_token)));
  }

  // Sends `bytes` from another thread in random chunks of 1 to 10,000 bytes.
  std::thread send_in_chunks(std::vector<std::uint8_t> bytes, std::uint32_t seed) {
    return std::thread([this, bytes = std::move(bytes), seed] {
      std::mt19937 random(seed);
      for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - at, random() % 10000 + 1);
        pty.write(std::span(bytes).subspan(at, chunk));
        at += chunk;
      }
    });
  }

  // Declared first: the port is closed before the runtime goes.
  runtime::Runtime rt{{.worker_threads = 2}};
  Pty pty;
  SharedReader reader;
  RecordingSink sink;
  CancellationToken token;
  log::ScopedCapture capture;
};

TEST_F(ListenerTest, OneMegabyteArrivesWholeInOrderInBoundedChunks) {
  const std::vector<std::uint8_t> sent = test::pattern_bytes(1 << 20, 11);
  auto task = listen(token);
  std::thread sender = send_in_chunks(sent, 5);
  ASSERT_TRUE(sink.wait_for(sent.size()));
  sender.join();
  token.cancel();
  block_on(rt, task.join());

  EXPECT_EQ(sink.bytes(), sent);
  std::vector<CapturedRecord> expected = {kStarted};
  for (const RecordingSink::Chunk& chunk : sink.chunks()) {
    EXPECT_LE(chunk.bytes.size(), kReadBufferSize);
    EXPECT_EQ(chunk.device_id, "port-7");
    expected.push_back({Level::Debug, kTarget, "serial_read " + std::to_string(chunk.bytes.size()) + " bytes"});
  }
  expected.push_back(kCancelled);
  expected.push_back(kExited);
  EXPECT_EQ(capture.records(), expected);
}

TEST_F(ListenerTest, CancelWhileIdleEndsItPromptlyAndACancelledTokenReadsNothing) {
  auto task = listen(token);
  pty.write("ping");
  ASSERT_TRUE(sink.wait_for(4));  // the listener is back waiting
  const auto start = std::chrono::steady_clock::now();
  token.cancel();
  block_on(rt, task.join());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  pty.write("unread");
  block_on(rt, listen(token).join());
  EXPECT_EQ(capture.records(), (std::vector<CapturedRecord>{kStarted, {Level::Debug, kTarget, "serial_read 4 bytes"},
                                                            kCancelled, kExited, kStarted, kCancelled, kExited}));
  EXPECT_EQ(block_on(rt, drain(reader, 6)), (std::vector<std::uint8_t>{'u', 'n', 'r', 'e', 'a', 'd'}));
}

TEST_F(ListenerTest, HangupEndsItWithEndOfStreamOnce) {
  auto task = listen(std::nullopt);
  pty.write("abc");
  ASSERT_TRUE(sink.wait_for(3));
  // What a device that goes away does: every open file of the terminal
  // reads end of stream from then on.
  const int other = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_EQ(::ioctl(other, TIOCVHANGUP), 0);
  ::close(other);
  block_on(rt, task.join());
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{kStarted, {Level::Debug, kTarget, "serial_read 3 bytes"}, kEof, kExited}));
}

TEST_F(ListenerTest, CancellingAtRandomMomentsLosesNoByte) {
  std::mt19937 random(42);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    RecordingSink round_sink;
    CancellationToken round_token;
    const std::vector<std::uint8_t> sent = test::pattern_bytes(48 * 1024, round);
    auto task = rt.spawn(listen_serial_stream(reader, {round_sink.callable(), "port-7"}, round_token));
    std::thread sender = send_in_chunks(sent, round);
    ASSERT_TRUE(round_sink.wait_for(random() % sent.size()));
    round_token.cancel();
    block_on(rt, task.join());
    // Drained while the sender still sends: the terminal holds only ~20 KB.
    std::vector<std::uint8_t> all = round_sink.bytes();
    const std::vector<std::uint8_t> unread = block_on(rt, drain(reader, sent.size() - all.size()));
    sender.join();
    all.insert(all.end(), unread.begin(), unread.end());
    ASSERT_EQ(all.size(), sent.size());
    ASSERT_EQ(all, sent);
  }
}

TEST_F(ListenerTest, AbortStopsItWithoutTheFinalLineAndFreesTheReader) {
  auto task = listen(token);
  pty.write("x");
  ASSERT_TRUE(sink.wait_for(1));
  task.abort();
  EXPECT_THROW(block_on(rt, task.join()), runtime::TaskAborted);
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{kStarted, {Level::Debug, kTarget, "serial_read 1 bytes"}}));
  pty.write("after");
  EXPECT_EQ(block_on(rt, drain(reader, 5)), (std::vector<std::uint8_t>{'a', 'f', 't', 'e', 'r'}));
}

TEST_F(ListenerTest, ReadErrorEndsItWithTheSystemText) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  // Closing a socket with unread data resets its peer.
  ASSERT_EQ(::write(pair[0], "x", 1), 1);
  ::close(pair[1]);
  asio::posix::stream_descriptor descriptor(rt.executor(), pair[0]);
  descriptor.non_blocking(true);
  auto [read_half, write_half] = split(SerialStream(std::move(descriptor), "socket", 0));
  auto socket_reader = std::make_shared<AsyncMutex<SerialReadHalf>>(std::move(read_half));
  block_on(rt, rt.spawn(listen_serial_stream(socket_reader, {sink.callable(), "socket"}, token)).join());
  EXPECT_EQ(capture.records(),
            (std::vector<CapturedRecord>{
                kStarted, {Level::Error, kTarget, "failed to read from serial: Connection reset by peer"}, kExited}));
}

}  // namespace
}  // namespace ovik::serial
