#include "dfu/firmware_image.hpp"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "dfu/dfu_config.hpp"
#include "dfu/dfu_error.hpp"
#include "serial/os_error.hpp"
#include "serial/unique_fd.hpp"

namespace ovik::dfu {
namespace {

Failure io_failure(int errnum) {
  return Failure{dfu_error(DfuError::Io, serial::os_error_text(errnum) + " (os error " + std::to_string(errnum) + ")")};
}

const char* file_kind(mode_t mode) {
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISSOCK(mode)) return "socket";
  return "unknown file type";
}

// A device or a FIFO may block the read or never end it, so only a regular
// file is read. A directory keeps the system's own text.
Result<void> check_regular(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return io_failure(EISDIR);
  return Failure{dfu_error(DfuError::Io, std::string("not a regular file (") + file_kind(mode) + ")")};
}

// Reads at most one byte more than an image may hold, so that a file growing
// while it is read is refused rather than filling the memory.
Result<std::vector<std::uint8_t>> read_to_end(int fd, std::uint64_t expected_size) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(expected_size));
  std::uint8_t buffer[1 << 16];
  while (bytes.size() <= kMaxImageSize) {
    const std::size_t room = std::min<std::uint64_t>(sizeof buffer, kMaxImageSize + 1 - bytes.size());
    const ssize_t n = ::read(fd, buffer, room);
    if (n == 0) break;
    if (n > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    } else if (errno != EINTR) {
      return io_failure(errno);
    }
  }
  return bytes;
}

// The path is looked at before it is opened, so that a serial port named by
// mistake is not opened (which would change its modem lines); opening
// without blocking keeps a FIFO swapped in meanwhile from holding the read.
Result<std::vector<std::uint8_t>> read_whole_file(const std::string& path) {
  // The system would read the path only up to the NUL: another file.
  if (path.find('\0') != std::string::npos) return io_failure(EINVAL);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return io_failure(errno);
  if (Result<void> regular = check_regular(info.st_mode); !regular) return Failure{std::move(regular).error()};
  if (Result<void> fits = check_image_size(static_cast<std::uint64_t>(info.st_size)); !fits)
    return Failure{std::move(fits).error()};
  serial::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return io_failure(errno);
  return read_to_end(fd.get(), static_cast<std::uint64_t>(info.st_size));
}

std::string hex_digest(const EVP_MD* kind, const std::vector<std::uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, kind, nullptr) != 1)
    throw Error("digest computation failed");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace

Result<void> check_image_size(std::uint64_t size) {
  if (size > kMaxImageSize) return Failure{dfu_error(DfuError::InvalidConfig, "firmware image exceeds 4294967295 bytes")};
  return {};
}

Result<FirmwareImage> load_firmware_image(const std::string& path) {
  Result<std::vector<std::uint8_t>> bytes = read_whole_file(path);
  if (!bytes) return Failure{std::move(bytes).error()};
  if (bytes->empty()) return Failure{dfu_error(DfuError::EmptyFirmware)};
  if (Result<void> fits = check_image_size(bytes->size()); !fits) return Failure{std::move(fits).error()};
  FirmwareImage image;
  image.md5 = hex_digest(EVP_md5(), *bytes);
  image.sha256 = hex_digest(EVP_sha256(), *bytes);
  image.bytes = std::move(*bytes);
  return image;
}

}  // namespace ovik::dfu
