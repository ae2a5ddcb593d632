#pragma once
// Storage for parse results. A result's block (with its shared count) is
// larger than malloc's per-thread cache takes, and allocating a block of that
// size first consolidates malloc's lists of small freed chunks, which are
// cold by then; a released block is kept here for the next result instead.
#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

#include "common/global.hpp"

namespace ovik::proto {

// For `std::allocate_shared`: single objects come from a process-wide list
// of released blocks of their type (at most kKeptBlocks; beyond, and for
// arrays, the heap).
template <class T>
class ResultPoolAllocator {
 public:
  using value_type = T;

  ResultPoolAllocator() = default;
  template <class U>
  ResultPoolAllocator(const ResultPoolAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n == 1) {
      Blocks& blocks = *g_blocks;
      std::lock_guard lock(blocks.mutex);
      if (!blocks.free.empty()) {
        void* block = blocks.free.back();
        blocks.free.pop_back();
        return static_cast<T*>(block);
      }
    }
    return std::allocator<T>().allocate(n);
  }

  void deallocate(T* block, std::size_t n) noexcept {
    if (n == 1) {
      Blocks& blocks = *g_blocks;
      std::lock_guard lock(blocks.mutex);
      if (blocks.free.size() < kKeptBlocks) {
        blocks.free.push_back(block);
        return;
      }
    }
    std::allocator<T>().deallocate(block, n);
  }

  template <class U>
  bool operator==(const ResultPoolAllocator<U>&) const noexcept {
    return true;
  }

 private:
  static constexpr std::size_t kKeptBlocks = 256;

  struct Blocks {
    Blocks() { free.reserve(kKeptBlocks); }
    std::mutex mutex;
    std::vector<void*> free;
  };
  static inline Global<Blocks> g_blocks;
};

}  // namespace ovik::proto
