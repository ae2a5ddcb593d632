#pragma once
// How the data pipeline reaches the program's callbacks without depending on
// Python: the Python layer installs a sink; C++ tests install a recorder.
// With nothing installed no slot is set and message items are consumed and
// dropped.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ovik::pipeline {

// The nine callback slots, in the order the module registers their functions.
enum class CallbackKind : std::uint8_t {
  MsgResp,
  Flex,
  Emg,
  Imu,
  Mag,
  ImuCalibration,
  MagCalibration,
  Euler,
  Quaternion,
};
inline constexpr std::size_t kCallbackKindCount = 9;

// A row's first column is the record's seq_num, exact (an unsigned 32-bit
// value needs more than a float's 24 bits); every other column holds a 32-bit
// float value.
using Row = std::vector<double>;
using RowBatch = std::vector<Row>;

// Where the serving delivery threads are when a line has grown long.
enum class Delivering {
  BetweenCalls,  // one is on its way to its next call
  InCalls,       // each is inside a call: running it, or waiting for a lock in it
};

class CallbackSink {
 public:
  virtual ~CallbackSink() = default;

  // Whether the kind's slot holds an object now. Called by the ingestion on
  // any thread, possibly under pipeline locks: it must not run Python code
  // nor take the interpreter lock.
  virtual bool is_set(CallbackKind kind) const = 0;

  // One run of handler calls on a long-lived delivery thread: `body` makes
  // the calls below, one item after the other, for one dispatcher after the
  // other. The sink may take the interpreter lock once for the whole run and
  // hand it over between calls when the run grows long, and may keep
  // per-thread state from one run to the next; calls made outside a run are
  // allowed too.
  virtual void run_batch(const std::function<void()>& body) = 0;

  // Hands one row batch to the kind's callable (never MsgResp).
  virtual void invoke(CallbackKind kind, RowBatch rows) = 0;

  // Hands a decoded message's device id and JSON text to the
  // message-response callable.
  virtual void invoke_message(std::string device_id, std::string json) = 0;

  // On a thread that has just queued a received chunk's items, when a
  // dispatcher's line has grown long: if the delivery threads need a lock
  // that this thread holds, the sink may arrange for them to get it.
  virtual void deliveries_behind(Delivering where) { (void)where; }
};

// Process-wide; the sink must live until the process ends. nullptr removes it.
void install_callback_sink(CallbackSink* sink);
CallbackSink* callback_sink();

}  // namespace ovik::pipeline
