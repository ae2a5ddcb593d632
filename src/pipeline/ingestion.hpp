#pragma once
// The one door through which every decoded message enters the data pipeline.
#include <memory>

#include "proto/parse_result.hpp"

namespace ovik::pipeline {

// Sensor data updates the scales, fills the buffers, drives the fusion and
// queues callback items for the kinds whose slot is set; any other message
// (and sensor data without samples) goes to the message-response dispatcher.
// Never fails: what fails inside is logged. Records held by the buffers share
// `result`. Records logged under pipeline locks come out once they are
// released.
void process_message(const std::shared_ptr<const proto::ParseResult>& result);

}  // namespace ovik::pipeline
