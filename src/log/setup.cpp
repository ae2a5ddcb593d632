#include "log/setup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/global.hpp"
#include "common/version.hpp"

namespace ovik::log {

SetupEnvironment process_environment() {
  return SetupEnvironment{
      &sink(),
      stdout,
      [] { return Clock::now(); },
      [] {
        // localtime_r need not look at TZ again; tzset makes a TZ set by the
        // program before the set-up count.
        tzset();
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return local;
      },
      "",
  };
}

Result<void> LoggingSetup::init(Level level, bool enable_file_logging) {
  {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return state_ != State::Running; });
    if (state_ == State::Failed) return fail(failure_);
    if (state_ == State::NotRun) {
      state_ = State::Running;
      lock.unlock();
      Result<void> outcome = set_up(level, enable_file_logging);
      lock.lock();
      state_ = outcome ? State::Done : State::Failed;
      if (!outcome) failure_ = outcome.error().message();
      finished_.notify_all();
      if (!outcome) return outcome;
    }
  }
  log_version();
  return {};
}

Result<void> LoggingSetup::set_up(Level level, bool enable_file_logging) {
  Thresholds thresholds(level);
  if (enable_file_logging) {
    Result<int> fd = open_log_file();
    if (!fd) return fail(fd.error().message());
    file_ = std::make_unique<FileOutput>(thresholds, *fd, env_.clock);
  }
  console_ = std::make_unique<ConsoleOutput>(thresholds, env_.console, env_.clock);
  env_.sink->install(Slot::Console, console_.get());
  if (file_) env_.sink->install(Slot::File, file_.get());
  return {};
}

Result<int> LoggingSetup::open_log_file() {
  std::filesystem::path base = env_.directory.empty() ? std::filesystem::path(".") : std::filesystem::path(env_.directory);
  std::filesystem::path path = base / log_file_path(env_.local_time());
  std::error_code ignored;  // a failure here shows up as a failed open below
  std::filesystem::create_directories(path.parent_path(), ignored);
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt)
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return fail(std::string("Failed to create log file: ") + std::strerror(errno));
  return fd;
}

void LoggingSetup::log_version() {
  std::string message = std::string("ovik_sdk version: ") + kSdkVersion;
  Record record{Level::Info, kLoggingSetupTarget, message};
  if (env_.sink->enabled(record.level, record.target)) env_.sink->write(record);
}

namespace {
Global<LoggingSetup> g_setup(+[] { return new LoggingSetup(process_environment()); });
}  // namespace

Result<void> init_logging(Level level, bool enable_file_logging) {
  return g_setup->init(level, enable_file_logging);
}

}  // namespace ovik::log
