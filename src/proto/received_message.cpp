#include "proto/received_message.hpp"

#include <atomic>

#include "log/log.hpp"
#include "pipeline/ingestion.hpp"
#include "proto/decode_message.hpp"

namespace ovik::proto {

namespace {

std::atomic<ProcessMessage> g_process_message{&pipeline::process_message};

std::string json_or_empty(const OvikMessage& message) {
  Result<std::string> json = to_json(message);
  return json ? std::move(*json) : std::string();
}

}  // namespace

void install_process_message(ProcessMessage process_message) {
  g_process_message.store(process_message, std::memory_order_release);
}

void handle_received_message(const std::shared_ptr<const ParseResult>& result) {
  OVIK_LOG(Debug, kEnumsTarget, "Received message, device_id: {}, message: {}", result->device_id,
           json_or_empty(result->message));
  if (ProcessMessage process = g_process_message.load(std::memory_order_acquire)) process(result);
}

}  // namespace ovik::proto
