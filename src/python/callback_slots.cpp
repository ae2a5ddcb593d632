#include "python/callback_slots.hpp"

#include <array>
#include <atomic>
#include <mutex>
#include <shared_mutex>

#include "common/global.hpp"

namespace ovik::python {

namespace {

struct Slot {
  mutable std::shared_mutex mutex;
  py::Ref object;
  // Whether `object` holds something, readable without the lock: the
  // ingestion asks for every record of every kind.
  std::atomic<bool> set{false};
};

Global<std::array<Slot, pipeline::kCallbackKindCount>> g_slots;

Slot& slot(CallbackKind kind) { return g_slots.get()[static_cast<std::size_t>(kind)]; }

// Swaps under the write lock; the caller's Ref then holds the previous
// object, released by the caller once the lock is let go.
void exchange(Slot& target, py::Ref& object) {
  std::unique_lock lock(target.mutex);
  std::swap(target.object, object);
  target.set.store(static_cast<bool>(target.object), std::memory_order_release);
}

}  // namespace

void set_callback(CallbackKind kind, py::Ref object) { exchange(slot(kind), object); }

bool callback_is_set(CallbackKind kind) { return slot(kind).set.load(std::memory_order_acquire); }

py::Ref callback_of(CallbackKind kind) {
  const Slot& target = slot(kind);
  std::shared_lock lock(target.mutex);
  return target.object ? target.object.clone() : py::Ref();
}

void clear_callbacks() {
  for (Slot& target : g_slots.get()) {
    py::Ref previous;
    exchange(target, previous);
  }
}

}  // namespace ovik::python
