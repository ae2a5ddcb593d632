#pragma once
// Opening and configuring a serial device at the descriptor level.
#include <cstdint>
#include <string_view>

#include "common/result.hpp"
#include "serial/unique_fd.hpp"

namespace ovik::serial {

// Opens `path` and takes it for exclusive use (TIOCEXCL and an exclusive
// non-blocking flock), then configures it: raw mode checked by reading it
// back, pending data discarded, 8 data bits, no parity, one stop bit, no flow
// control, and `baud` as input and output rate. A rate of 0 sets no rate and
// discards nothing (on Linux rate 0 would hang up the line).
// The descriptor comes back in blocking mode and still exclusive; on failure
// it has left exclusive use and is closed.
Result<UniqueFd> open_exclusive(std::string_view path, std::uint32_t baud);

// Leaves exclusive use: other processes may open the device again, and the
// exclusive lock becomes a shared one, which still refuses another
// open_exclusive of the same device.
Result<void> release_exclusive(int fd);

}  // namespace ovik::serial
