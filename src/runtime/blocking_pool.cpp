#include "runtime/blocking_pool.hpp"

#include <system_error>

#include "runtime/runtime.hpp"

namespace ovik::runtime {

BlockingPool::BlockingPool(Runtime& owner, std::size_t max_threads, std::chrono::steady_clock::duration keep_alive)
    : owner_(owner), max_threads_(max_threads), keep_alive_(keep_alive) {}

BlockingPool::~BlockingPool() {
  std::deque<std::unique_ptr<BlockingJob>> dropped;
  std::unique_lock lock(mutex_);
  stopping_ = true;
  dropped.swap(jobs_);
  wake_.notify_all();
  lock.unlock();
  dropped.clear();
  lock.lock();
  while (!threads_.empty() || !retired_.empty()) {
    join_retired(lock);
    if (!threads_.empty()) wake_.wait(lock, [&] { return !retired_.empty(); });
  }
}

void BlockingPool::submit(std::unique_ptr<BlockingJob> job) {
  std::unique_lock lock(mutex_);
  if (stopping_) {
    lock.unlock();
    return;  // `job` is destroyed unrun, which reports the failure
  }
  jobs_.push_back(std::move(job));
  std::unique_ptr<BlockingJob> dropped;
  if (jobs_.size() <= idle_) {
    wake_.notify_one();
  } else if (threads_.size() < max_threads_ && !start_thread() && threads_.empty()) {
    // No thread will ever take it: dropping it fails its caller.
    dropped = std::move(jobs_.back());
    jobs_.pop_back();
  }
  join_retired(lock);
  lock.unlock();
}

bool BlockingPool::start_thread() {
  threads_.emplace_back();
  auto self = std::prev(threads_.end());
  try {
    *self = std::thread([this, self] { thread_main(self); });
    return true;
  } catch (const std::system_error&) {
    threads_.erase(self);
    return false;
  }
}

std::size_t BlockingPool::thread_count() const {
  std::lock_guard lock(mutex_);
  return threads_.size();
}

void BlockingPool::join_retired(std::unique_lock<std::mutex>& lock) {
  if (retired_.empty()) return;
  Threads ended;
  ended.swap(retired_);
  lock.unlock();
  for (std::thread& thread : ended) thread.join();
  lock.lock();
}

void BlockingPool::thread_main(Threads::iterator self) {
  CurrentRuntimeScope current(owner_);
  std::unique_lock lock(mutex_);
  // Also runs when a job ends the thread with a forced unwind.
  struct Retire {
    BlockingPool& pool;
    Threads::iterator self;
    std::unique_lock<std::mutex>& lock;
    ~Retire() {
      if (!lock.owns_lock()) lock.lock();
      pool.retired_.splice(pool.retired_.end(), pool.threads_, self);
      pool.wake_.notify_all();
    }
  } retire{*this, self, lock};

  for (;;) {
    if (!jobs_.empty()) {
      std::unique_ptr<BlockingJob> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job->run();
      job.reset();
      lock.lock();
      continue;
    }
    if (stopping_) return;
    ++idle_;
    bool has_work = wake_.wait_for(lock, keep_alive_, [&] { return stopping_ || !jobs_.empty(); });
    --idle_;
    if (!has_work) return;
  }
}

}  // namespace ovik::runtime
