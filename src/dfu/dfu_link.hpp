#pragma once
// The update's own connection: the port at the update's baud rate, its
// writer, a parser of its own and the listener that feeds it, and the
// subscription through which the update reads the device's answers.
#include <asio/awaitable.hpp>

#include <string>

#include "common/result.hpp"
#include "proto/message_parser.hpp"
#include "runtime/task.hpp"
#include "serial/serial_write.hpp"

namespace ovik::dfu {

class DfuLink {
 public:
  // Opens the port (a failure is the Transport error "failed to open serial
  // port: {}"), subscribes to a new parser and starts the listener on the
  // current runtime.
  static Result<DfuLink> open(const std::string& port_name);

  DfuLink(DfuLink&&) noexcept = default;
  DfuLink& operator=(DfuLink&&) = delete;
  // Drops the writer and aborts the listener; the port closes once the
  // listener has unwound, shortly after.
  ~DfuLink();

  const serial::SharedWriter& writer() const { return writer_; }
  proto::ParseResultChannel::Receiver& replies() { return replies_; }

  // As the destructor, then waits (about 2 s at most) until the listener has
  // let go of the port, so that the port can be opened again at once.
  asio::awaitable<void> close();

 private:
  DfuLink(proto::ParseResultChannel::Receiver replies, runtime::TaskHandle<void> listener,
          serial::SharedWriter writer)
      : replies_(std::move(replies)), listener_(std::move(listener)), writer_(std::move(writer)) {}

  void release();

  // Declared in the reverse of the teardown order.
  proto::ParseResultChannel::Receiver replies_;
  runtime::TaskHandle<void> listener_;
  serial::SharedWriter writer_;
};

}  // namespace ovik::dfu
