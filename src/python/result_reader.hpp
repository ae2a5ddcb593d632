#pragma once
// The one reading position on a parser's results that every holder of a
// result stream shares, and the reads waiting on it.
//
// A read made while no other read waits and an item is there completes at
// once, on the calling thread: no task, no other thread. Such reads give the
// loop no turn, so once they have gone on for a while without one, the next
// read waits for the loop's next turn: a reader that falls behind still lets
// its loop run timers and other tasks. Any other read waits in line, in call
// order, holding no task: only the front read is served, when an item
// arrives (the channel wakes the reader once; a thread of the bridge's
// runtime hands the item over under the interpreter lock).
// An item stays the stream's until the future of the read that took it holds
// it: a read cancelled after it took one, or whose loop closed before the
// future was set, gives the item back to the front, and the next read is
// served only once that is settled. A cancelled read leaves the line as soon
// as its future says so.
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "proto/message_parser.hpp"
#include "python/py/ref.hpp"

namespace ovik::python {

using ResultItem = runtime::Received<proto::ParseResult>;

class ResultReader : public std::enable_shared_from_this<ResultReader> {
 public:
  // Under the interpreter lock: the read's result for an item, or throws what
  // fails the read.
  using ToPython = py::Ref (*)(const ResultItem& item);

  explicit ResultReader(proto::ParseResultChannel::Receiver receiver) : receiver_(std::move(receiver)) {}

  // Under the interpreter lock, on the thread of the running loop (asyncio's
  // RuntimeError without one, before anything is taken): the future of the
  // next item.
  py::Ref read(ToPython to_python);

 private:
  struct WaitingRead;

  // Under the interpreter lock: serves the front read while items are there,
  // until one is handed over or the line is empty, and otherwise asks the
  // channel for a wake-up. A front read whose loop closed, before or after
  // its item was handed over, gives the item back and leaves.
  void serve();
  // The read's future is done (or can never be): it leaves the line, giving
  // back an item its caller did not get, and the next read is served.
  void settle(const WaitingRead& read, bool delivered);
  // Under `mutex_`: whether the run of reads completed at once may go on;
  // begins one (and says so) if none is under way.
  bool within_immediate_run_locked(bool& began);
  void end_immediate_run();
  // Under the interpreter lock: `run` runs on the loop's next turn, if the
  // reader is still there.
  void on_next_turn(const py::Ref& loop, void (*run)(ResultReader& self));
  std::optional<ResultItem> take_locked();
  bool leave_locked(const WaitingRead& read, bool delivered);
  // Under `mutex_`: false when something is there to read already.
  bool wake_on_arrival_locked();

  std::mutex mutex_;
  proto::ParseResultChannel::Receiver receiver_;
  // The item an abandoned read took; the next read takes it first.
  std::optional<ResultItem> returned_;
  std::deque<std::shared_ptr<WaitingRead>> line_;
  bool wake_armed_ = false;
  std::optional<std::chrono::steady_clock::time_point> immediate_run_began_;
};

}  // namespace ovik::python
