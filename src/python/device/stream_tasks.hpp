#pragma once
// The stream start, reconfiguration and stop sequences of OvikDevice. Each
// holds the link's writer from its first frame to its last, so no other
// frame comes in between.
#include <asio/awaitable.hpp>

#include <optional>

#include "python/device/link.hpp"
#include "python/device/sensor_profile.hpp"

namespace ovik::python {

// Connects, writes the profile's configurations and START_DATA_STREAM. A
// failure cancels the new token; after the connect step it also drops the
// write half.
asio::awaitable<void> start_stream_task(ConnectRequest request, std::optional<ProfileSettings> profile);

// STOP_DATA_STREAM, 150 ms, the configurations, 150 ms, START_DATA_STREAM.
asio::awaitable<void> update_sensor_config_task(WriterSlot writer, ProfileSettings profile);

// STOP_DATA_STREAM (a failure is only logged), drain, 50 ms, then the
// listener stopped and awaited, the write half dropped and every callback
// unregistered.
asio::awaitable<void> stop_stream_task(std::optional<runtime::CancellationToken> token, WriterSlot writer,
                                       ListenerSlot listener);

}  // namespace ovik::python
