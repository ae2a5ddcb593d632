#pragma once
// Fetching into cache, ahead of time, the memory that releasing a decoded
// result will touch: results are kept for thousands of messages and are cold
// when they go, and releasing one would otherwise wait on a miss for each
// line of its block. Prefetching is only a hint: an address it gets wrong
// costs nothing else.
#include <cstddef>
#include <cstring>
#include <memory>

namespace ovik::proto {

inline void prefetch(const void* address) { __builtin_prefetch(address, 0, 2); }

// The first `lines` cache lines of the block that a shared handle's owner
// lives in: its counts first, then what the block holds after them (a parse
// result and the start of its arena). The library keeps the owner's address
// in the word after the stored pointer.
template <class T>
void prefetch_owner(const std::shared_ptr<T>& handle, std::size_t lines) {
  static_assert(sizeof(handle) == 2 * sizeof(void*));
  const char* words[2];
  std::memcpy(words, static_cast<const void*>(&handle), sizeof(words));
  if (!words[1]) return;
  for (std::size_t line = 0; line < lines; ++line) prefetch(words[1] + 64 * line);
}

}  // namespace ovik::proto
