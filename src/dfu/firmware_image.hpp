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
// or directory (os error 2)"), EmptyFirmware, or InvalidConfig for an image
// whose length does not fit the protocol's 32-bit sizes.
Result<FirmwareImage> load_firmware_image(const std::string& path);

// An image length the protocol can announce, or the InvalidConfig failure.
Result<void> check_image_size(std::uint64_t size);

}  // namespace ovik::dfu
