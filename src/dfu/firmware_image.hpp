#pragma once
// The firmware image, read whole once, with its checksums.
#include <cstdint>
#include <string>
#include <vector>

#include "common/result.hpp"

namespace ovik::dfu {

struct FirmwareImage {
  std::vector<std::uint8_t> bytes;
  std::string md5;     // lowercase hexadecimal
  std::string sha256;  // lowercase hexadecimal
};

// Reads the file at `path` and digests it; blocks, so it belongs on a
// blocking thread. Fails with the update's Io error ("IO error: No such file
// or directory (os error 2)"; "IO error: Invalid argument (os error 22)" for a
// path holding a NUL; "IO error: not a regular file (FIFO)" for a device, a
// FIFO or a socket), EmptyFirmware, or InvalidConfig for an image whose length
// does not fit the protocol's 32-bit sizes. Only a regular file whose size
// fits is read.
Result<FirmwareImage> load_firmware_image(const std::string& path);

// An image length the protocol can announce, or the InvalidConfig failure.
Result<void> check_image_size(std::uint64_t size);

}  // namespace ovik::dfu
