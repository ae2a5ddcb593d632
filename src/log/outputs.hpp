#pragma once
// The console and file outputs of the logging set-up.
#include <cstdio>
#include <functional>
#include <mutex>

#include "log/line_format.hpp"

namespace ovik::log {

using ClockFn = std::function<Clock::time_point()>;

// The chosen level binds the SDK's own targets ("ovik_sdk" and
// "ovik_sdk::..."); every other target passes at Info or more severe.
class Thresholds {
 public:
  explicit Thresholds(Level sdk_level) : sdk_level_(sdk_level) {}
  bool passes(Level level, std::string_view target) const;
  Level max_level() const { return sdk_level_ > Level::Info ? sdk_level_ : Level::Info; }

 private:
  Level sdk_level_;
};

class ConsoleOutput : public Output {
 public:
  ConsoleOutput(Thresholds thresholds, std::FILE* stream, ClockFn clock);
  bool enabled(Level level, std::string_view target) const override;
  void write(const Record& record) override;
  Level max_level() const override { return thresholds_.max_level(); }

 private:
  Thresholds thresholds_;
  std::FILE* stream_;
  ClockFn clock_;
};

// Owns the open log file for the rest of the process.
class FileOutput : public Output {
 public:
  FileOutput(Thresholds thresholds, int fd, ClockFn clock);
  ~FileOutput() override;
  bool enabled(Level level, std::string_view target) const override;
  void write(const Record& record) override;
  Level max_level() const override { return thresholds_.max_level(); }

 private:
  Thresholds thresholds_;
  int fd_;
  ClockFn clock_;
  std::mutex mutex_;
};

}  // namespace ovik::log
