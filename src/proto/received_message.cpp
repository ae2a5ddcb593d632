#include "proto/received_message.hpp"

#include <atomic>

#include "log/log.hpp"
#include "proto/decode_message.hpp"

namespace ovik::proto {

namespace {

std::atomic<const MessageHook*> g_message_hook{nullptr};

std::string json_or_empty(const OvikMessage& message) {
  Result<std::string> json = to_json(message);
  return json ? std::move(*json) : std::string();
}

}  // namespace

void install_message_hook(const MessageHook* hook) { g_message_hook.store(hook, std::memory_order_release); }

const MessageHook* message_hook() { return g_message_hook.load(std::memory_order_acquire); }

void handle_received_message(const MessageHook* hook, const std::shared_ptr<const ParseResult>& result) {
  OVIK_LOG(Debug, kEnumsTarget, "Received message, device_id: {}, message: {}", result->device_id,
           json_or_empty(result->message));
  if (hook && hook->process) hook->process(result);
}

}  // namespace ovik::proto
