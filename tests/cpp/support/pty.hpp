#pragma once
// A pseudo-terminal standing in for a serial device: the test holds the
// master side, the code under test opens `slave_path()` as its port.
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ovik::test {

class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& slave_path() const { return slave_path_; }
  int master() const { return master_; }

  // Writes every byte to the master side, waiting while the terminal is full.
  void write(std::span<const std::uint8_t> bytes);
  void write(std::string_view text);
  // Reads from the master side until `count` bytes came or `timeout` passed
  // without any byte arriving; returns what came.
  std::vector<std::uint8_t> read(std::size_t count,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Hangs up: the slave side then reads end of stream and fails writes.
  void close_master();

 private:
  int master_ = -1;
  std::string slave_path_;
};

// Input and output rate of a terminal as the kernel reports them (TCGETS2).
struct TerminalSpeed {
  std::uint32_t input;
  std::uint32_t output;
  bool arbitrary;  // set as any rate (BOTHER), not from the standard table
};
TerminalSpeed terminal_speed(int fd);

// Number of open file descriptors of this process.
std::size_t open_fd_count();

// `count` bytes of a pattern that depends on `seed` and the position.
std::vector<std::uint8_t> pattern_bytes(std::size_t count, std::uint32_t seed);

}  // namespace ovik::test
