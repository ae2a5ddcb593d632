#include "dfu/firmware_image.hpp"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

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

Result<std::vector<std::uint8_t>> read_whole_file(const std::string& path) {
  serial::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return io_failure(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return io_failure(errno);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return bytes;
    if (n > 0) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    } else if (errno != EINTR) {
      return io_failure(errno);
    }
  }
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
