#pragma once
// The logging facade. Every module logs through OVIK_LOG, which asks
// `enabled(level, target)` before it formats anything, so text built only for
// a log line costs nothing when no output would write the record.
#include <fmt/format.h>

#include <array>
#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "log/level.hpp"

namespace ovik::log {

struct Record {
  Level level;
  std::string_view target;
  std::string_view message;
};

// One destination of records. `enabled` must be exact: true only if `write`
// would write the record.
class Output {
 public:
  virtual ~Output() = default;
  virtual bool enabled(Level level, std::string_view target) const = 0;
  virtual void write(const Record& record) = 0;
  // The most verbose level this output can ever accept.
  virtual Level max_level() const = 0;
  // Runs `writes`, which writes `records` to this output and the others. An
  // output whose writes each take a contended lock may take it once around
  // them all.
  virtual void write_together(std::span<const Record> records, const std::function<void()>& writes) {
    (void)records;
    writes();
  }
};

// The fixed places an output can be installed in. Records go to them in
// this order.
enum class Slot { Python, Console, File, Capture, Count };

// A set of installed outputs. Outputs are not owned: the installer keeps them
// alive for as long as they are installed (process-wide ones are leaked).
class Sink {
 public:
  void install(Slot slot, Output* output);
  Output* installed(Slot slot) const;

  // Most verbose level any installed output has asked for; a cheap pre-check.
  Level max_level() const { return static_cast<Level>(max_level_.load(std::memory_order_relaxed)); }
  bool enabled(Level level, std::string_view target) const;
  void write(const Record& record) const;
  // In order, each record to every output, as `write` does; each output may
  // wrap the whole run (`Output::write_together`).
  void write_all(std::span<const Record> records) const;

 private:
  std::array<std::atomic<Output*>, static_cast<std::size_t>(Slot::Count)> outputs_{};
  // Starts below Error: with nothing installed, nothing is enabled.
  std::atomic<int> max_level_{-1};
};

// The process-wide sink.
Sink& sink();

inline bool enabled(Level level, std::string_view target) {
  Sink& s = sink();
  return static_cast<int>(level) <= static_cast<int>(s.max_level()) && s.enabled(level, target);
}

// Hands a formatted record to the process-wide sink, or holds it when a
// deferred scope is open on this thread.
void emit(Level level, std::string_view target, std::string message);

// Records made on this thread while a scope is open are held and written, in
// order and together, when the outermost scope closes. Code that logs while
// holding SDK locks opens one first, so that forwarding to Python (which
// takes the interpreter lock) never happens under those locks; code that
// logs many records in one go opens one so that the lock is taken once.
class DeferredScope {
 public:
  DeferredScope();
  // Not noexcept: writing may forward to Python, and an interpreter that is
  // finalising ends foreign threads with a forced unwind, which must pass.
  ~DeferredScope() noexcept(false);
  DeferredScope(const DeferredScope&) = delete;
  DeferredScope& operator=(const DeferredScope&) = delete;
};

}  // namespace ovik::log

#define OVIK_LOG(LEVEL, TARGET, ...)                                                    \
  do {                                                                                  \
    if (::ovik::log::enabled(::ovik::log::Level::LEVEL, (TARGET)))                      \
      ::ovik::log::emit(::ovik::log::Level::LEVEL, (TARGET), ::fmt::format(__VA_ARGS__)); \
  } while (false)
