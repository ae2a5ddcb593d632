// Opening a port, at the descriptor level, on pseudo-terminals.
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <gtest/gtest.h>

#include "serial/port_open.hpp"
#include "support/pty.hpp"

namespace ovik::serial {
namespace {

using test::Pty;

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
  ASSERT_EQ(::fcntl(fd->get(), F_SETFL, O_NONBLOCK), 0);
  char buffer[16];
  EXPECT_EQ(::read(fd->get(), buffer, sizeof buffer), -1) << "input pending at open is discarded";
  EXPECT_EQ(errno, EAGAIN);
}

}  // namespace
}  // namespace ovik::serial
