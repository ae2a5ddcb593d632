#include "log/outputs.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ovik::log {

namespace {

void report_write_failure(const char* output, int error) {
  std::fprintf(stderr, "ovik_sdk: failed to write a log line to the %s: %s\n", output, std::strerror(error));
}

}  // namespace

bool Thresholds::passes(Level level, std::string_view target) const {
  bool sdk_target = target == "ovik_sdk" || target.starts_with("ovik_sdk::");
  return log::passes(level, sdk_target ? sdk_level_ : Level::Info);
}

ConsoleOutput::ConsoleOutput(Thresholds thresholds, std::FILE* stream, ClockFn clock)
    : thresholds_(thresholds), stream_(stream), clock_(std::move(clock)) {}

bool ConsoleOutput::enabled(Level level, std::string_view target) const {
  return thresholds_.passes(level, target);
}

void ConsoleOutput::write(const Record& record) {
  std::string line = format_console_line(record, clock_());
  line.push_back('\n');
  flockfile(stream_);
  bool ok = std::fwrite(line.data(), 1, line.size(), stream_) == line.size() && std::fflush(stream_) == 0;
  int error = errno;
  funlockfile(stream_);
  if (!ok) report_write_failure("console", error);
}

FileOutput::FileOutput(Thresholds thresholds, int fd, ClockFn clock)
    : thresholds_(thresholds), fd_(fd), clock_(std::move(clock)) {}

FileOutput::~FileOutput() { ::close(fd_); }

bool FileOutput::enabled(Level level, std::string_view target) const { return thresholds_.passes(level, target); }

void FileOutput::write(const Record& record) {
  std::string line = format_file_line(record, clock_());
  line.push_back('\n');
  std::lock_guard lock(mutex_);
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      report_write_failure("log file", n < 0 ? errno : EIO);
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace ovik::log
