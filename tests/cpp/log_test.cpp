#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "log/capture.hpp"
#include "log/setup.hpp"

namespace ovik::log {
namespace {

// 2026-12-05T15:52:25.123456Z
Clock::time_point fixed_time() {
  return Clock::time_point(std::chrono::microseconds(1'796'485'945'123'456LL));
}

TEST(LineFormat, ExactBytesForEachLevel) {
  struct Case {
    Level level;
    const char* console;
    const char* file;
  };
  const Case cases[] = {
      {Level::Error, "2026-12-05T15:52:25.123Z[\x1b[31mERROR\x1b[0m] hello", "2026-12-05T15:52:25.123456Z[ERROR] hello"},
      {Level::Warn, "2026-12-05T15:52:25.123Z[\x1b[33mWARN\x1b[0m] hello", "2026-12-05T15:52:25.123456Z[WARN] hello"},
      {Level::Info, "2026-12-05T15:52:25.123Z[\x1b[32mINFO\x1b[0m] hello", "2026-12-05T15:52:25.123456Z[INFO] hello"},
      {Level::Debug, "2026-12-05T15:52:25.123Z[\x1b[34mDEBUG\x1b[0m] hello", "2026-12-05T15:52:25.123456Z[DEBUG] hello"},
      {Level::Trace, "2026-12-05T15:52:25.123Z[\x1b[37mTRACE\x1b[0m] hello", "2026-12-05T15:52:25.123456Z[TRACE] hello"},
  };
  for (const Case& c : cases) {
    Record record{c.level, "ovik_sdk::x", "hello"};
    EXPECT_EQ(format_console_line(record, fixed_time()), c.console);
    EXPECT_EQ(format_file_line(record, fixed_time()), c.file);
  }
}

TEST(LineFormat, TimesAreCutNotRoundedAndTheFileIsNamedInLocalTime) {
  Record record{Level::Info, "t", "m"};
  EXPECT_EQ(format_console_line(record, Clock::time_point(std::chrono::microseconds(1'796'485'945'999'999LL))),
            "2026-12-05T15:52:25.999Z[\x1b[32mINFO\x1b[0m] m");
  EXPECT_EQ(format_file_line(record, Clock::time_point(std::chrono::microseconds(1'796'485'945'000'007LL))),
            "2026-12-05T15:52:25.000007Z[INFO] m");
  std::tm local{.tm_sec = 5, .tm_min = 4, .tm_hour = 3, .tm_mday = 1, .tm_mon = 0, .tm_year = 126};
  EXPECT_EQ(log_file_path(local), "logs/output_20260101_030405.log");
}

TEST(Thresholds, ChosenLevelBindsOnlyTheSdkTargets) {
  struct Case {
    Level chosen;
    Level record;
    const char* target;
    bool written;
  };
  const Case cases[] = {
      {Level::Warn, Level::Warn, "ovik_sdk::serial::serialport", true},
      {Level::Warn, Level::Info, "ovik_sdk::serial::serialport", false},
      {Level::Warn, Level::Error, "ovik_sdk", true},
      {Level::Warn, Level::Info, "other", true},
      {Level::Warn, Level::Debug, "other", false},
      {Level::Warn, Level::Info, "ovik_sdkx", true},
      {Level::Warn, Level::Debug, "ovik_sdkx", false},
      {Level::Trace, Level::Trace, "ovik_sdk::x", true},
      {Level::Trace, Level::Debug, "ovik_sdk::x", true},
      {Level::Trace, Level::Trace, "ovik_sdkx", false},
      {Level::Trace, Level::Info, "ovik_sdkx", true},
      {Level::Trace, Level::Info, "other", true},
      {Level::Error, Level::Warn, "ovik_sdk::x", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Thresholds(c.chosen).passes(c.record, c.target), c.written)
        << level_name(c.chosen) << " " << level_name(c.record) << " " << c.target;
  }
}

// A formatter argument that counts how often it is formatted.
struct Counted {
  int* count;
};

}  // namespace
}  // namespace ovik::log

template <>
struct fmt::formatter<ovik::log::Counted> : fmt::formatter<int> {
  auto format(const ovik::log::Counted& c, fmt::format_context& ctx) const {
    ++*c.count;
    return fmt::formatter<int>::format(*c.count, ctx);
  }
};

namespace ovik::log {
namespace {

TEST(Facade, NothingIsFormattedForARecordNoOutputTakes) {
  ScopedCapture capture(Level::Info);
  int count = 0;
  OVIK_LOG(Debug, "ovik_sdk::x", "value {}", Counted{&count});
  OVIK_LOG(Trace, "ovik_sdk::x", "value {}", Counted{&count});
  EXPECT_EQ(count, 0);
  OVIK_LOG(Info, "ovik_sdk::x", "value {}", Counted{&count});
  EXPECT_EQ(count, 1);
  EXPECT_EQ(capture.messages("ovik_sdk::x"), std::vector<std::string>{"value 1"});
}

TEST(Facade, EnabledIsExactAcrossOutputs) {
  Sink sink;
  EXPECT_FALSE(sink.enabled(Level::Error, "a"));
  CaptureOutput warn_only(Level::Warn);
  sink.install(Slot::Python, &warn_only);
  EXPECT_TRUE(sink.enabled(Level::Warn, "a"));
  EXPECT_FALSE(sink.enabled(Level::Info, "a"));
  ConsoleOutput console(Thresholds(Level::Debug), stdout, [] { return fixed_time(); });
  sink.install(Slot::Console, &console);
  EXPECT_TRUE(sink.enabled(Level::Debug, "ovik_sdk::a"));
  EXPECT_FALSE(sink.enabled(Level::Debug, "a"));
  EXPECT_EQ(sink.max_level(), Level::Debug);
}

TEST(Facade, DeferredScopeHoldsThisThreadsRecordsUntilTheOutermostScopeEnds) {
  ScopedCapture capture;
  {
    DeferredScope outer;
    OVIK_LOG(Info, "t", "one");
    {
      DeferredScope inner;
      OVIK_LOG(Warn, "t", "two");
    }
    std::thread([] { OVIK_LOG(Info, "t", "other thread"); }).join();
    EXPECT_EQ(capture.messages("t"), std::vector<std::string>{"other thread"});
    OVIK_LOG(Error, "t", "three");
  }
  EXPECT_EQ(capture.messages("t"), (std::vector<std::string>{"other thread", "one", "two", "three"}));
}

class LoggingSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("ovik_log_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    console_ = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(console_);
    std::filesystem::remove_all(dir_);
  }

  SetupEnvironment environment() {
    return SetupEnvironment{&sink_, console_, [] { return fixed_time(); },
                            [] { return std::tm{.tm_sec = 25, .tm_min = 52, .tm_hour = 15, .tm_mday = 5, .tm_mon = 11,
                                                .tm_year = 126}; },
                            dir_.string()};
  }

  std::string console_text() {
    std::fflush(console_);
    std::rewind(console_);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, console_)) > 0) text.append(buffer, n);
    return text;
  }

  std::filesystem::path log_path() const { return dir_ / "logs/output_20261205_155225.log"; }

  static std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
  std::FILE* console_ = nullptr;
  Sink sink_;
};

TEST_F(LoggingSetupTest, FileLoggingAppendsToAnExistingFileAndWritesTheConsole) {
  std::filesystem::create_directories(dir_ / "logs");
  std::ofstream(log_path()) << "earlier\n";
  LoggingSetup setup(environment());
  ASSERT_TRUE(setup.init(Level::Info, true));
  sink_.write({Level::Warn, "x", "w"});
  sink_.write({Level::Debug, "x", "not written"});
  EXPECT_EQ(read_file(log_path()),
            "earlier\n"
            "2026-12-05T15:52:25.123456Z[INFO] ovik_sdk version: 0.5.0\n"
            "2026-12-05T15:52:25.123456Z[WARN] w\n");
  EXPECT_EQ(console_text(),
            "2026-12-05T15:52:25.123Z[\x1b[32mINFO\x1b[0m] ovik_sdk version: 0.5.0\n"
            "2026-12-05T15:52:25.123Z[\x1b[33mWARN\x1b[0m] w\n");
}

TEST_F(LoggingSetupTest, ConcurrentRecordsGiveIntactLines) {
  LoggingSetup setup(environment());
  ASSERT_TRUE(setup.init(Level::Info, true));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < 1000; ++i)
        sink_.write({Level::Info, "ovik_sdk::t", fmt::format("thread {} record {} {}", t, i, std::string(64, 'x'))});
    });
  for (auto& thread : threads) thread.join();
  std::ifstream in(log_path());
  std::string line;
  std::map<int, int> next_per_thread;
  int lines = 0;
  std::getline(in, line);  // the version line
  while (std::getline(in, line)) {
    int t, i;
    char tail[128];
    ASSERT_EQ(std::sscanf(line.c_str(), "2026-12-05T15:52:25.123456Z[INFO] thread %d record %d %127s", &t, &i, tail), 3)
        << line;
    EXPECT_EQ(std::string(tail), std::string(64, 'x'));
    EXPECT_EQ(next_per_thread[t]++, i);
    ++lines;
  }
  EXPECT_EQ(lines, 8000);
}

}  // namespace
}  // namespace ovik::log
