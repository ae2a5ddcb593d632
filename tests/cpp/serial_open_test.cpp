// Opening a port, at the descriptor level, on pseudo-terminals.
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "serial/os_error.hpp"
#include "serial/port_open.hpp"
#include "support/pty.hpp"

namespace ovik::serial {
namespace {

using test::Pty;

struct FlagCase {
  const char* name;
  tcflag_t termios::*field;
  tcflag_t mask;
  tcflag_t expected;
};

const FlagCase kFlagCases[] = {
    {"8 data bits", &termios::c_cflag, CSIZE, CS8},
    {"no parity", &termios::c_cflag, PARENB | PARODD, 0},
    {"one stop bit", &termios::c_cflag, CSTOPB, 0},
    {"no RTS/CTS", &termios::c_cflag, CRTSCTS, 0},
    {"receiver on, modem lines ignored", &termios::c_cflag, CREAD | CLOCAL, CREAD | CLOCAL},
    {"parity errors ignored, not checked", &termios::c_iflag, IGNPAR | INPCK, IGNPAR},
    {"no XON/XOFF", &termios::c_iflag, IXON | IXOFF | IXANY, 0},
    {"no input translation", &termios::c_iflag, ISTRIP | INLCR | IGNCR | ICRNL | BRKINT | PARMRK, 0},
    {"no output processing", &termios::c_oflag, OPOST, 0},
    {"no echo, line editing or signals", &termios::c_lflag, ECHO | ECHONL | ICANON | ISIG | IEXTEN, 0},
};

termios attributes(int fd) {
  termios tio{};
  EXPECT_EQ(::tcgetattr(fd, &tio), 0);
  return tio;
}

int exclusive_mode(int fd) {
  int on = -1;
  EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &on), 0);
  return on;
}

TEST(OsErrorText, SystemDescriptionsAndUnknownNumbers) {
  EXPECT_EQ(os_error_text(ENOENT), "No such file or directory");
  EXPECT_EQ(os_error_text(EACCES), "Permission denied");
  EXPECT_EQ(os_error_text(EBUSY), "Device or resource busy");
  EXPECT_EQ(os_error_text(EIO), "Input/output error");
  EXPECT_EQ(os_error_text(-1), "Unknown errno");
  EXPECT_EQ(os_error_text(100000), "Unknown errno");
}

TEST(OpenExclusive, RawLineSettingsAtStandardAndOtherRates) {
  for (std::uint32_t baud : {115200u, 250000u, 9600u, 1000000u}) {
    SCOPED_TRACE(baud);
    Pty pty;
    Result<UniqueFd> fd = open_exclusive(pty.slave_path(), baud);
    ASSERT_TRUE(fd) << fd.error().message();
    const termios tio = attributes(fd->get());
    for (const FlagCase& c : kFlagCases) EXPECT_EQ(tio.*c.field & c.mask, c.expected) << c.name;
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    const test::TerminalSpeed speed = test::terminal_speed(fd->get());
    EXPECT_EQ(speed.input, baud);
    EXPECT_EQ(speed.output, baud);
    EXPECT_TRUE(speed.arbitrary);
    EXPECT_EQ(::fcntl(fd->get(), F_GETFL) & O_NONBLOCK, 0) << "handed back blocking";
    EXPECT_NE(::fcntl(fd->get(), F_GETFD) & FD_CLOEXEC, 0);
  }
}

TEST(OpenExclusive, HoldsExclusiveUseUntilReleased) {
  Pty pty;
  Result<UniqueFd> fd = open_exclusive(pty.slave_path(), 115200);
  ASSERT_TRUE(fd) << fd.error().message();
  EXPECT_EQ(exclusive_mode(fd->get()), 1);
  UniqueFd other(::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(other) << "root ignores TIOCEXCL; the lock must refuse instead";
  EXPECT_NE(::flock(other.get(), LOCK_SH | LOCK_NB), 0);

  ASSERT_TRUE(release_exclusive(fd->get()));
  EXPECT_EQ(exclusive_mode(fd->get()), 0);
  EXPECT_EQ(::flock(other.get(), LOCK_SH | LOCK_NB), 0) << "a shared lock is possible";
  ASSERT_EQ(::flock(other.get(), LOCK_UN), 0);
  EXPECT_NE(::flock(other.get(), LOCK_EX | LOCK_NB), 0) << "an exclusive lock is refused";
  EXPECT_EQ(errno, EWOULDBLOCK);
}

TEST(OpenExclusive, SecondOpenOfAHeldPortIsRefused) {
  Pty pty;
  Result<UniqueFd> first = open_exclusive(pty.slave_path(), 115200);
  ASSERT_TRUE(first);
  for (bool released : {false, true}) {
    if (released) ASSERT_TRUE(release_exclusive(first->get()));
    Result<UniqueFd> second = open_exclusive(pty.slave_path(), 115200);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().message(), "Unable to acquire exclusive lock on serial port");
  }
  // Exclusive mode belongs to the terminal, not the descriptor: the refused
  // attempt took it on its way and must have left it again.
  EXPECT_EQ(exclusive_mode(first->get()), 0);
  first->reset();
  EXPECT_TRUE(open_exclusive(pty.slave_path(), 115200)) << "free again once closed";
}

TEST(OpenExclusive, FailuresCarryTheSystemText) {
  Pty pty;
  const std::string with_nul = pty.slave_path() + std::string("\0x", 2);
  struct Case {
    std::string path;
    const char* message;
  };
  const Case cases[] = {
      {"/dev/ovik-no-such-port", "No such file or directory"},
      {with_nul, "Invalid argument"},
      {"/dev/null", "Inappropriate ioctl for device"},
      {"/proc/self", "Is a directory"},
  };
  for (const Case& c : cases) {
    Result<UniqueFd> fd = open_exclusive(c.path, 115200);
    ASSERT_FALSE(fd) << c.path;
    EXPECT_EQ(fd.error().message(), c.message) << c.path;
  }
}

TEST(OpenExclusive, RateZeroSetsNoRateAndKeepsPendingInput) {
  Pty pty;
  // A first open leaves the terminal raw, so pending input is not echoed
  // or held back as an unfinished line.
  ASSERT_TRUE(open_exclusive(pty.slave_path(), 57600));
  pty.write("pending");
  {
    Result<UniqueFd> fd = open_exclusive(pty.slave_path(), 0);
    ASSERT_TRUE(fd);
    EXPECT_EQ(test::terminal_speed(fd->get()).output, 57600u);
    EXPECT_EQ(attributes(fd->get()).c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    char buffer[16] = {};
    ASSERT_EQ(::read(fd->get(), buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "pending");
  }
  pty.write("stale");
  Result<UniqueFd> fd = open_exclusive(pty.slave_path(), 115200);
  ASSERT_TRUE(fd);
  ASSERT_TRUE(set_nonblocking(fd->get()));
  char buffer[16];
  EXPECT_EQ(::read(fd->get(), buffer, sizeof buffer), -1) << "input pending at open is discarded";
  EXPECT_EQ(errno, EAGAIN);
}

TEST(OpenExclusive, NothingStaysOpen) {
  Pty pty;
  const std::size_t before = test::open_fd_count();
  for (int i = 0; i < 1000; ++i) {
    Result<UniqueFd> held = open_exclusive(pty.slave_path(), 115200);
    ASSERT_TRUE(held);
    ASSERT_TRUE(release_exclusive(held->get()));
    ASSERT_FALSE(open_exclusive(pty.slave_path(), 115200));
    ASSERT_FALSE(open_exclusive("/dev/null", 115200));
    ASSERT_FALSE(open_exclusive("/dev/ovik-no-such-port", 115200));
  }
  EXPECT_EQ(test::open_fd_count(), before);
}

}  // namespace
}  // namespace ovik::serial
