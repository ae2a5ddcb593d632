#pragma once
#include <atomic>

namespace ovik::proto {

// VIA_MCU_FLAG: while set, the host talks to the device through the control
// box's microcontroller, so device replies decode as `ControlBoxToApp` and
// device requests are built as `AppToControlBox`. Readers load it once per
// frame or request (acquire); only the firmware update stores it (release).
// Constant-initialised and trivially destructible: it exists before first
// use and outlives every thread.
inline std::atomic<bool> VIA_MCU_FLAG{false};

}  // namespace ovik::proto
