#pragma once
#include <cstdint>

#include "common/result.hpp"

namespace ovik::serial {

// Sets the input and output rate of the terminal to exactly `baud`, standard
// rate or not (termios2 with BOTHER).
Result<void> set_port_speed(int fd, std::uint32_t baud);

}  // namespace ovik::serial
