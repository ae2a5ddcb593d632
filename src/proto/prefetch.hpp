#pragma once
// Fetching into cache, ahead of time, the memory that releasing a decoded
// record will touch: records kept for thousands of messages are cold when
// they go, and freeing each of their blocks would otherwise wait on a miss.
// Prefetching is only a hint: an address it gets wrong costs nothing else.
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "schema/message_traits.hpp"

namespace ovik::proto {

inline void prefetch(const void* address) { __builtin_prefetch(address, 0, 2); }

// A heap block's first line, with the allocator's header just before it.
inline void prefetch_block(const void* data) {
  if (data) prefetch(static_cast<const char*>(data) - 16);
}

// Every line of an object, and of what lies just around it.
template <class T>
void prefetch_object(const T& object) {
  const char* first = reinterpret_cast<const char*>(&object) - 32;
  for (std::size_t at = 0; at < sizeof(T) + 64; at += 64) prefetch(first + at);
}

// The shared owner's counts, which releasing a handle touches first: the
// library keeps their address in the word after the stored pointer.
template <class T>
void prefetch_owner(const std::shared_ptr<T>& handle) {
  static_assert(sizeof(handle) == 2 * sizeof(void*));
  const void* words[2];
  std::memcpy(words, static_cast<const void*>(&handle), sizeof(words));
  if (words[1]) prefetch(words[1]);
}

// Visits a record's fields and prefetches the blocks of its strings, bytes
// and repeated fields; `inner` also the blocks inside those.
struct PrefetchBlocks {
  bool inner;

  template <class T>
  void operator()(const schema::FieldInfo&, const T&) const {}
  void operator()(const schema::FieldInfo&, const std::string& text) const { prefetch_block(text.data()); }
  void operator()(const schema::FieldInfo&, const schema::Bytes& bytes) const { prefetch_block(bytes.data()); }
  template <class E>
  void operator()(const schema::FieldInfo& field, const std::vector<E>& values) const {
    prefetch_block(values.data());
    if (!inner) return;
    for (const E& value : values) (*this)(field, value);
  }
  template <schema::ProtoMessage M>
  void operator()(const schema::FieldInfo&, const M& message) const {
    schema::for_each_field(message, *this);
  }
  template <schema::ProtoMessage M>
  void operator()(const schema::FieldInfo& field, const schema::Optional<M>& message) const {
    if (message) (*this)(field, *message);
  }
};

template <schema::ProtoMessage M>
void prefetch_blocks(const M& message, bool inner) {
  schema::for_each_field(message, PrefetchBlocks{inner});
}

}  // namespace ovik::proto
