#pragma once
// The optional console and file logging set-up, run at most once per process.
// Its outputs receive records beside the forwarding to Python.
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>

#include "common/result.hpp"
#include "log/outputs.hpp"

namespace ovik::log {

inline constexpr std::string_view kLoggingSetupTarget = "ovik_sdk::utils::logging_desktop";

// What the set-up touches, injectable for tests.
struct SetupEnvironment {
  Sink* sink;
  std::FILE* console;
  ClockFn clock;
  std::function<std::tm()> local_time;
  std::string directory;  // the log directory's parent; empty for the current directory
};

SetupEnvironment process_environment();

class LoggingSetup {
 public:
  explicit LoggingSetup(SetupEnvironment environment) : env_(std::move(environment)) {}

  // Runs the set-up on the first call only; every call that passes the
  // guard logs the version line. After a failed set-up every call fails at
  // once with the same text.
  Result<void> init(Level level, bool enable_file_logging);

 private:
  enum class State { NotRun, Running, Done, Failed };

  Result<void> set_up(Level level, bool enable_file_logging);
  Result<int> open_log_file();
  void log_version();

  SetupEnvironment env_;
  // Owned here; the process-wide set-up is never destroyed, so its outputs
  // live for the rest of the process.
  std::unique_ptr<ConsoleOutput> console_;
  std::unique_ptr<FileOutput> file_;
  std::mutex mutex_;
  std::condition_variable finished_;
  State state_ = State::NotRun;
  std::string failure_;
};

// The process-wide set-up behind initialize_logging_py and
// initialize_logging_with_file_py.
Result<void> init_logging(Level level, bool enable_file_logging);

}  // namespace ovik::log
