#pragma once
// The firmware update over a serial port: announce the image, send the chunks
// the device asks for, reboot it.
#include <asio/awaitable.hpp>

#include <string>

#include "common/result.hpp"
#include "dfu/dfu_config.hpp"
#include "dfu/progress.hpp"

namespace ovik::dfu {

// Runs on the current runtime. Reports LoadingFile, CalculatingChecksums,
// Starting, Uploading (every 10th answer and every answer at or past the
// end), Rebooting and Completed, in that order, and stops reporting at a
// failure. A device whose highest requested offset has not risen for the
// reply timeout ends it. Every end after the image is read restores the
// route flag; every end after the port opened also closes the connection.
// Cancelled, it does both without waiting for the port to close.
asio::awaitable<Result<void>> perform_serial_dfu(std::string port_name, std::string firmware_path,
                                                 ProgressCallback on_progress, DfuConfig config);

}  // namespace ovik::dfu
