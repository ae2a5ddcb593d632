#include "log/log.hpp"

#include <vector>

#include "common/global.hpp"

namespace ovik::log {

namespace {

Global<Sink> g_sink;

struct HeldRecord {
  Level level;
  std::string target;
  std::string message;
};

struct DeferredState {
  int depth = 0;
  std::vector<HeldRecord> held;
};

thread_local DeferredState t_deferred;

}  // namespace

void Sink::install(Slot slot, Output* output) {
  outputs_[static_cast<std::size_t>(slot)].store(output, std::memory_order_release);
  if (!output) return;
  int wanted = static_cast<int>(output->max_level());
  int current = max_level_.load(std::memory_order_relaxed);
  while (current < wanted && !max_level_.compare_exchange_weak(current, wanted)) {
  }
}

Output* Sink::installed(Slot slot) const {
  return outputs_[static_cast<std::size_t>(slot)].load(std::memory_order_acquire);
}

bool Sink::enabled(Level level, std::string_view target) const {
  for (const auto& slot : outputs_) {
    Output* output = slot.load(std::memory_order_acquire);
    if (output && output->enabled(level, target)) return true;
  }
  return false;
}

void Sink::write(const Record& record) const {
  for (const auto& slot : outputs_) {
    Output* output = slot.load(std::memory_order_acquire);
    if (output && output->enabled(record.level, record.target)) output->write(record);
  }
}

void Sink::write_all(std::span<const Record> records) const {
  std::function<void()> writes = [&] {
    for (const Record& record : records) write(record);
  };
  for (const auto& slot : outputs_) {
    if (Output* output = slot.load(std::memory_order_acquire))
      writes = [output, records, inner = std::move(writes)] { output->write_together(records, inner); };
  }
  writes();
}

Sink& sink() { return g_sink.get(); }

void emit(Level level, std::string_view target, std::string message) {
  if (t_deferred.depth > 0) {
    t_deferred.held.push_back({level, std::string(target), std::move(message)});
    return;
  }
  sink().write(Record{level, target, message});
}

DeferredScope::DeferredScope() { ++t_deferred.depth; }

DeferredScope::~DeferredScope() noexcept(false) {
  if (--t_deferred.depth > 0) return;
  // Writing may log again (an output reporting a failure); take the records
  // out first so that those go straight through.
  std::vector<HeldRecord> held = std::move(t_deferred.held);
  t_deferred.held.clear();
  if (held.empty()) return;
  std::vector<Record> records;
  records.reserve(held.size());
  for (const HeldRecord& record : held) records.push_back(Record{record.level, record.target, record.message});
  sink().write_all(records);
}

}  // namespace ovik::log
