#include "pipeline/ingestion_hook.hpp"

#include "pipeline/delivery_pool.hpp"
#include "pipeline/ingestion.hpp"
#include "proto/received_message.hpp"

namespace ovik::pipeline {

namespace {

// The messages of one received chunk arrived together: the callback items
// they make wake a delivery thread once, when the chunk is done.
void process_in_chunk(const std::shared_ptr<const proto::ParseResult>& result) {
  hold_wake_ups();
  process_message(result);
}

}  // namespace

void install_ingestion() {
  static const proto::MessageHook hook{.process = &process_in_chunk, .chunk_done = &release_wake_ups};
  proto::install_message_hook(&hook);
}

}  // namespace ovik::pipeline
