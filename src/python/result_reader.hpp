#pragma once
// The one reading position on a parser's results that every holder of a
// result stream shares. Reads are served one at a time in the order they were
// called. An item stays the stream's until the caller of the read that took
// it has it: a read abandoned after taking an item gives it back for the next
// read, in order, and the next read starts only once that is settled.
#include <asio/awaitable.hpp>

#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "proto/message_parser.hpp"
#include "runtime/cancellation_token.hpp"

namespace ovik::python {

using ResultItem = runtime::Received<proto::ParseResult>;

class ResultReader {
  struct Read;

 public:
  // One read, as one of its two sides holds it.
  class ReadRef {
   protected:
    friend class ResultReader;
    ReadRef(std::shared_ptr<ResultReader> reader, std::shared_ptr<Read> read)
        : reader_(std::move(reader)), read_(std::move(read)) {}

    std::shared_ptr<ResultReader> reader_;
    std::shared_ptr<Read> read_;
  };

  // The read's place in line, held by the operation that performs it;
  // dropping it, whether the read ran or not, tells the line that the
  // operation ended.
  class Turn : ReadRef {
   public:
    Turn(Turn&& other) noexcept = default;
    Turn& operator=(Turn&&) = delete;
    ~Turn();

   private:
    friend class ResultReader;
    using ReadRef::ReadRef;
  };

  // The caller's side: reports, once, whether the read's outcome reached the
  // caller (false when the caller gave up on it or can no longer be reached).
  class Settle : ReadRef {
   public:
    void operator()(bool delivered) const { reader_->settle(*read_, delivered); }

   private:
    friend class ResultReader;
    using ReadRef::ReadRef;
  };

  explicit ResultReader(proto::ParseResultChannel::Receiver receiver) : receiver_(std::move(receiver)) {}

  // Queues a read behind every earlier one.
  static std::pair<Turn, Settle> queue_read(const std::shared_ptr<ResultReader>& reader);

  // Waits for the read's turn, then for the next item. Cancellable while it
  // waits; once it has taken an item it completes with it.
  static asio::awaitable<ResultItem> next(Turn turn);

 private:
  struct Read {
    runtime::CancellationToken turn_given;
    std::optional<ResultItem> taken;
    bool ended = false;
    std::optional<bool> delivered;
  };

  void end(Read& read);
  void settle(Read& read, bool delivered);
  // Applies `change` to `read` under the lock, then passes the turn on if
  // the read left the line.
  template <class Change>
  void update(Read& read, Change change);
  // Under `mutex_`: takes `read` out of line once it is done with the stream,
  // giving back an undelivered item and the turn.
  void leave_if_done(Read& read, std::shared_ptr<Read>& next_in_line);

  std::mutex mutex_;
  // Read only by the read at the front of the line.
  proto::ParseResultChannel::Receiver receiver_;
  // The item an abandoned read took; the next read takes it first.
  std::optional<ResultItem> returned_;
  std::deque<std::shared_ptr<Read>> line_;
};

}  // namespace ovik::python
