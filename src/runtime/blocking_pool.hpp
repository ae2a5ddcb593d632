#pragma once
// The elastic pool of threads that run blocking jobs: threads are made on
// demand up to a limit, reused, and retired after an idle period.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace ovik::runtime {

class Runtime;

// One job. It must catch its own exceptions (except a forced unwind); a job
// destroyed without having run is how the pool reports that it dropped it.
class BlockingJob {
 public:
  virtual ~BlockingJob() = default;
  virtual void run() = 0;
};

class BlockingPool {
 public:
  BlockingPool(Runtime& owner, std::size_t max_threads, std::chrono::steady_clock::duration keep_alive);
  // Drops the jobs not yet started, waits for the running ones, joins every thread.
  ~BlockingPool();
  BlockingPool(const BlockingPool&) = delete;
  BlockingPool& operator=(const BlockingPool&) = delete;

  void submit(std::unique_ptr<BlockingJob> job);
  // Threads alive now, busy or idle.
  std::size_t thread_count() const;

 private:
  using Threads = std::list<std::thread>;

  // False when the system refuses a thread.
  bool start_thread();
  void thread_main(Threads::iterator self);
  void join_retired(std::unique_lock<std::mutex>& lock);

  Runtime& owner_;
  const std::size_t max_threads_;
  const std::chrono::steady_clock::duration keep_alive_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::unique_ptr<BlockingJob>> jobs_;
  Threads threads_;  // alive
  Threads retired_;  // ended, not joined yet
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace ovik::runtime
