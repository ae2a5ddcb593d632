#pragma once
// A thread that sleeps until a deadline which any thread may set or clear
// without waking it (a timer of the kernel's), then runs a callback. Setting
// and clearing cost a system call each and no context switch, so a deadline
// that is usually cleared in time costs nearly nothing.
#include <chrono>

namespace ovik::pipeline {

class DeadlineWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts the thread, which runs `on_deadline` each time a set deadline
  // passes. Without a kernel timer or a thread (none left to the process)
  // deadlines are ignored.
  explicit DeadlineWatch(void (*on_deadline)());
  DeadlineWatch(const DeadlineWatch&) = delete;
  DeadlineWatch& operator=(const DeadlineWatch&) = delete;

  // Replaces the deadline; one in the past fires at once.
  void set(Clock::time_point deadline);
  void clear();

 private:
  void watch();

  int fd_ = -1;
  void (*const on_deadline_)();
};

}  // namespace ovik::pipeline
