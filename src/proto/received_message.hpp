#pragma once
// The hand-off of every decoded message to the data pipeline, made by the
// parser before it publishes the message.
#include <memory>

#include "proto/parse_result.hpp"

namespace ovik::proto {

// The ingestion's entry. By default the data pipeline's, so that every parser
// ingests what it decodes; the result is the one that is published next, and
// the pipeline may keep sharing it.
using ProcessMessage = void (*)(const std::shared_ptr<const ParseResult>& result);

// Process-wide; takes effect for every parser at its next message. nullptr
// turns ingestion off.
void install_process_message(ProcessMessage process_message);

// Logs the message (Debug, target ovik_sdk::proto::enums; the JSON text is
// rendered only when that line is written) and runs the ingestion on it, on
// the calling thread.
void handle_received_message(const std::shared_ptr<const ParseResult>& result);

}  // namespace ovik::proto
