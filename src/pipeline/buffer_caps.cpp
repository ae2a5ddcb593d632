#include "pipeline/buffer_caps.hpp"

#include <array>
#include <atomic>

namespace ovik::pipeline {

namespace {

// A lone word each: an atomic gives what a reader-writer lock would.
constinit std::array<std::atomic<std::size_t>, 4> g_caps{kDefaultBufferCap, kDefaultBufferCap, kDefaultBufferCap,
                                                         kDefaultBufferCap};

}  // namespace

void set_buffer_cap(BufferCap cap, std::size_t records) {
  g_caps[static_cast<std::size_t>(cap)].store(records, std::memory_order_relaxed);
}

std::size_t buffer_cap(BufferCap cap) { return g_caps[static_cast<std::size_t>(cap)].load(std::memory_order_relaxed); }

}  // namespace ovik::pipeline
