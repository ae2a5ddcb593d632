#pragma once
// The hand-off of every decoded message to the data pipeline, made by the
// parser before it publishes the message.
#include <string>
#include <string_view>

#include "proto/ovik_message.hpp"

namespace ovik::proto {

// The ingestion's entry (`process_message`). The data pipeline installs it;
// until then decoded messages are only logged and published.
using ProcessMessage = void (*)(const std::string& device_id, const OvikMessage& message);

// Process-wide; takes effect for every parser at its next message.
void install_process_message(ProcessMessage process_message);

// Logs the message (Debug, target ovik_sdk::proto::enums; the JSON text is
// rendered only when that line is written) and runs `process_message` on it,
// on the calling thread.
void handle_received_message(const std::string& device_id, const OvikMessage& message);

}  // namespace ovik::proto
