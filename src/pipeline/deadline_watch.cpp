#include "pipeline/deadline_watch.hpp"

#include <pthread.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>

namespace ovik::pipeline {

namespace {

timespec to_timespec(DeadlineWatch::Clock::duration since_boot) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since_boot);
  return {static_cast<time_t>(seconds.count()),
          static_cast<long>(std::chrono::nanoseconds(since_boot - seconds).count())};
}

}  // namespace

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
  itimerspec value{{0, 0}, to_timespec(std::max(deadline.time_since_epoch(), Clock::duration(1)))};
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
