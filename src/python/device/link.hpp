#pragma once
// The state of one serial link, held by every OvikDevice and SerialStream
// object, and the tasks that open it, close it and write to it.
#include <asio/awaitable.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "python/parser_classes.hpp"
#include "runtime/async_mutex.hpp"
#include "runtime/cancellation_token.hpp"
#include "runtime/task.hpp"
#include "serial/serial_stream.hpp"

namespace ovik::python {

// A running listener and the token it watches, kept together so that whoever
// takes the listener out can stop it, whichever token the link holds now.
struct ListenerEntry {
  runtime::TaskHandle<void> task;
  runtime::CancellationToken token;
};

using WriterSlot = std::shared_ptr<runtime::AsyncMutex<std::optional<serial::SerialWriteHalf>>>;
using ListenerSlot = std::shared_ptr<runtime::AsyncMutex<std::optional<ListenerEntry>>>;

struct LinkState {
  LinkState(std::string port_name_in, std::uint32_t baudrate_in);

  std::string port_name;
  std::uint32_t baudrate;
  WriterSlot writer;
  ListenerSlot listener;
  // The token of the latest open; replaced, never cancelled, by the next one.
  std::optional<runtime::CancellationToken> cancel_token;
};

// What the connect task takes from the object at the call.
struct ConnectRequest {
  std::string port_name;
  std::uint32_t baudrate;
  ParserCopy parser;
  WriterSlot writer;
  ListenerSlot listener;
  runtime::CancellationToken token;
};

// Takes a slot's content out under its lock, leaving it empty.
template <class T>
asio::awaitable<std::optional<T>> take_content(std::shared_ptr<runtime::AsyncMutex<std::optional<T>>> slot) {
  auto guard = co_await slot->lock();
  std::optional<T> content = std::move(*guard);
  guard->reset();
  co_return content;
}

// Puts a fresh token into the link (dropping the earlier one uncancelled) and
// takes what the connect task needs.
ConnectRequest connect_request(LinkState& link, ParserCopy parser);

// Opens the port, puts its write half into `writer` and starts the listener
// feeding the parser copy with the port path as device id. Fails with
// "Failed to open serial port: {}". A close that cancelled the request's
// token before the write half went in leaves the port closed.
asio::awaitable<void> open_serial_stream_task(ConnectRequest request);

// Empties `writer`, then stops the listener taken out of `listener` and
// waits until it has released the port.
asio::awaitable<void> close_link_task(WriterSlot writer, ListenerSlot listener);

// Cancels the listener's token and waits for it to end; one that has not
// ended within about two seconds is aborted.
asio::awaitable<void> stop_listener(ListenerEntry entry);

// Writes one frame whole under the writer's lock: fails with "Serial writer
// is missing or not connected" or "Failed to write to serial port: {}".
asio::awaitable<void> write_frame_task(WriterSlot writer, std::vector<std::uint8_t> frame);

}  // namespace ovik::python
