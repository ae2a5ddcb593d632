#pragma once
// An output that keeps records in memory, for tests that assert exact log
// texts, levels, targets and orders.
#include <mutex>
#include <string>
#include <vector>

#include "log/log.hpp"

namespace ovik::log {

struct CapturedRecord {
  Level level;
  std::string target;
  std::string message;
  bool operator==(const CapturedRecord&) const = default;
};

class CaptureOutput : public Output {
 public:
  explicit CaptureOutput(Level max = Level::Trace) : max_(max) {}

  bool enabled(Level level, std::string_view) const override { return passes(level, max_); }
  void write(const Record& record) override;
  Level max_level() const override { return max_; }

  std::vector<CapturedRecord> records() const;
  // The messages of the records with this target, in order.
  std::vector<std::string> messages(std::string_view target) const;
  void clear();

 private:
  Level max_;
  mutable std::mutex mutex_;
  std::vector<CapturedRecord> records_;
};

// Installs a capture output in the process-wide sink for its lifetime.
class ScopedCapture {
 public:
  explicit ScopedCapture(Level max = Level::Trace);
  ~ScopedCapture();
  ScopedCapture(const ScopedCapture&) = delete;
  ScopedCapture& operator=(const ScopedCapture&) = delete;

  CaptureOutput& output() { return output_; }
  std::vector<CapturedRecord> records() const { return output_.records(); }
  std::vector<std::string> messages(std::string_view target) const { return output_.messages(target); }
  void clear() { output_.clear(); }

 private:
  // Threads that log into it must be finished before the scope ends.
  CaptureOutput output_;
};

}  // namespace ovik::log
