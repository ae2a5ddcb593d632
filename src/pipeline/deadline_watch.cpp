#include "pipeline/deadline_watch.hpp"

#include <pthread.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>

#include "runtime/kernel_time.hpp"

namespace ovik::pipeline {

DeadlineWatch::DeadlineWatch(void (*on_deadline)()) : on_deadline_(on_deadline) {
  fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
  if (fd_ < 0) return;
  try {
    std::thread([this] { watch(); }).detach();
  } catch (const std::system_error&) {
    close(fd_);
    fd_ = -1;
  }
}

void DeadlineWatch::set(Clock::time_point deadline) {
  if (fd_ < 0) return;
  // The steady clock is CLOCK_MONOTONIC; a zero value would disarm instead.
  itimerspec value{{0, 0}, runtime::to_timespec(std::max(deadline.time_since_epoch(), Clock::duration(1)))};
  timerfd_settime(fd_, TFD_TIMER_ABSTIME, &value, nullptr);
}

void DeadlineWatch::clear() {
  if (fd_ < 0) return;
  itimerspec value{};
  timerfd_settime(fd_, 0, &value, nullptr);
}

void DeadlineWatch::watch() {
  pthread_setname_np(pthread_self(), "ovik-deadline");
  for (;;) {
    std::uint64_t expirations = 0;
    if (read(fd_, &expirations, sizeof expirations) == sizeof expirations) {
      on_deadline_();
    } else if (errno != EINTR) {
      return;
    }
  }
}

}  // namespace ovik::pipeline
