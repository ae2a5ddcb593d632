#pragma once
// The hand-off of every decoded message to whatever consumes messages above
// the parser (the data pipeline), made by the parser before it publishes the
// message. The parser knows nothing of that consumer: a layer above installs
// the hook, and with none installed messages are only published.
#include <memory>

#include "proto/parse_result.hpp"

namespace ovik::proto {

struct MessageHook {
  // Each decoded message, on the parser's thread, before it is published; the
  // result is the one published next, and the consumer may keep sharing it.
  void (*process)(const std::shared_ptr<const ParseResult>& result) = nullptr;
  // Once per received chunk that decoded at least one message, after the
  // chunk's last message has been processed and published: consumers that
  // hand work to other threads wake them once per chunk, not per message.
  void (*chunk_done)() = nullptr;
};

// Process-wide; `hook` has static storage. Takes effect for every parser at
// its next chunk. nullptr removes it.
void install_message_hook(const MessageHook* hook);
const MessageHook* message_hook();

// Logs the message (Debug, target ovik_sdk::proto::enums; the JSON text is
// rendered only when that line is written) and hands it to `hook`'s process,
// when there is one, on the calling thread.
void handle_received_message(const MessageHook* hook, const std::shared_ptr<const ParseResult>& result);

}  // namespace ovik::proto
