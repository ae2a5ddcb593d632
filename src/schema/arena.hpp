#pragma once
// Memory for the parts of one decoded message: handed out by bumping a
// pointer through a buffer that the message's owner provides, and given back
// all at once when the arena goes. A message decoded into an arena costs no
// allocation of its own and releases nothing part by part. What does not fit
// comes from the heap in chunks that the arena frees when it goes.
//
// ArenaAllocator is the allocator of the records' byte strings and lists:
// with an arena it carves from it (and frees nothing), without one it uses
// the heap. A copy of a container always lands on the heap, so a copy never
// depends on the arena of its original; a move takes the arena along.
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

namespace ovik::schema {

class Arena {
 public:
  Arena(void* buffer, std::size_t size) noexcept
      : next_(static_cast<std::byte*>(buffer)), end_(next_ + size) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    while (overflow_) {
      Chunk* chunk = overflow_;
      overflow_ = chunk->previous;
      ::operator delete(chunk);
    }
  }

  void* allocate(std::size_t size, std::size_t alignment) {
    const auto at = (reinterpret_cast<std::uintptr_t>(next_) + alignment - 1) & ~(alignment - 1);
    if (at + size <= reinterpret_cast<std::uintptr_t>(end_)) [[likely]] {
      next_ = reinterpret_cast<std::byte*>(at + size);
      return reinterpret_cast<void*>(at);
    }
    return allocate_chunk(size, alignment);
  }

 private:
  struct alignas(std::max_align_t) Chunk {
    Chunk* previous;
  };
  static constexpr std::size_t kChunkSize = 4096;

  // A fresh chunk for what the current space cannot hold; large requests get
  // a chunk of their own size.
  [[gnu::noinline]] void* allocate_chunk(std::size_t size, std::size_t alignment) {
    const std::size_t room = size + alignment > kChunkSize ? size + alignment : kChunkSize;
    auto* chunk = static_cast<Chunk*>(::operator new(sizeof(Chunk) + room));
    chunk->previous = overflow_;
    overflow_ = chunk;
    next_ = reinterpret_cast<std::byte*>(chunk + 1);
    end_ = next_ + room;
    return allocate(size, alignment);
  }

  std::byte* next_;
  std::byte* end_;
  Chunk* overflow_ = nullptr;
};

template <class T>
class ArenaAllocator {
 public:
  using value_type = T;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::false_type;

  ArenaAllocator() noexcept = default;
  explicit ArenaAllocator(Arena* arena) noexcept : arena_(arena) {}
  template <class U>
  ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}

  T* allocate(std::size_t n) {
    if (arena_) return static_cast<T*>(arena_->allocate(n * sizeof(T), alignof(T)));
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (!arena_) std::allocator<T>().deallocate(p, n);
  }
  ArenaAllocator select_on_container_copy_construction() const noexcept { return ArenaAllocator(); }

  Arena* arena() const noexcept { return arena_; }
  template <class U>
  bool operator==(const ArenaAllocator<U>& other) const noexcept {
    return arena_ == other.arena();
  }

 private:
  Arena* arena_ = nullptr;
};

// The repeated fields of the records.
template <class T>
using Repeated = std::vector<T, ArenaAllocator<T>>;

}  // namespace ovik::schema
