#pragma once
// The threads that hand callback items to the callback sink.
//
// Each dispatcher is a lane: its items in order, served by at most one thread
// at a time. A lane with items waits in the pool's ready line until a thread
// takes it for a turn. A few long-lived threads serve the line: one thread
// serves every ready lane, one turn after the other, inside one `run_batch` of
// the sink (so the Python layer takes the interpreter lock once for all of
// them), and goes back to sleep once the line is empty.
//
// Waking costs a context switch, so the pool wakes as few threads as it can:
// - a thread is woken only when no thread is serving the line;
// - the lanes made ready while a parser handles one received chunk wake a
//   thread once, when the chunk is done (`hold_wake_ups`), not once each;
// - a thread stuck in a slow handler for longer than `kSlowHandler` while
//   other lanes wait is relieved: a timer that the serving threads set and
//   clear without waking anyone brings in another thread, so a slow kind
//   never holds up the others for longer than that.
//
// The threads are never joined and hold nothing that needs tearing down: the
// process may end while they sleep.
#include <chrono>
#include <memory>

namespace ovik::pipeline {

// How long a handler may keep its thread before the lanes waiting behind it
// are given to another thread.
inline constexpr std::chrono::milliseconds kSlowHandler{1};

class DeliveryLane {
 public:
  virtual ~DeliveryLane() = default;

  // Delivers the lane's next items on the calling pool thread. True when the
  // lane still has items and goes back into the ready line; false when it
  // has left the line (it is scheduled again by its next item).
  virtual bool serve_turn() = 0;
};

// Puts `lane` into the ready line. The caller schedules a lane only when it is
// neither in the line nor being served, so that one thread at most serves it.
void schedule_delivery(std::shared_ptr<DeliveryLane> lane);

// From `hold_wake_ups()` to `release_wake_ups()` on one thread, the lanes that
// thread makes ready wait in the line without waking a thread; the release
// wakes one if they need it. The ingestion holds them over each received
// chunk, whose frames arrived together.
void hold_wake_ups();
void release_wake_ups();

// Called by a lane whose line has grown long, on the thread that queued the
// item. When that thread releases its wake-ups, the callback sink is told
// that deliveries are falling behind, and where the serving threads are: a
// thread that holds the lock every delivery needs (a Python thread feeding a
// parser) can then let them in.
void note_backlog();

// Marks, for its scope, a pool thread as running a handler: the time counts
// towards `kSlowHandler`. Does nothing on other threads.
class HandlerScope {
 public:
  HandlerScope();
  ~HandlerScope();
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;
};

// Marks, for its scope, a pool thread inside a handler as waiting for a lock
// that every delivery needs (the interpreter lock): another thread would wait
// for it as well, so that time does not count as a slow handler. The
// handler's time starts again at the end of the scope.
class SharedLockWait {
 public:
  SharedLockWait();
  ~SharedLockWait();
  SharedLockWait(const SharedLockWait&) = delete;
  SharedLockWait& operator=(const SharedLockWait&) = delete;

 private:
  const bool in_handler_;
};

}  // namespace ovik::pipeline
