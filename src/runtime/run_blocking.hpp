#pragma once
// Running a blocking job off the worker threads while the awaiting task is
// suspended (its worker thread goes on running other tasks).
#include <asio/awaitable.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

#include "common/error.hpp"
#include "runtime/forced_unwind.hpp"
#include "runtime/park.hpp"
#include "runtime/runtime.hpp"
#include "runtime/task.hpp"

namespace ovik::runtime {

namespace detail {

template <class R>
struct BlockingCall {
  void settle(std::optional<TaskValue<R>> value) {
    std::unique_ptr<Parked<Woken>> waiter;
    {
      std::lock_guard lock(mutex);
      result = std::move(value);
      done = true;
      waiter = caller.pop();
    }
    if (waiter) waiter->resume({}, Woken{});
  }

  std::mutex mutex;
  bool done = false;
  std::optional<TaskValue<R>> result;  // empty when the job failed
  WaitQueue<Woken> caller;
};

template <class F, class R>
class BlockingCallJob final : public BlockingJob {
 public:
  BlockingCallJob(std::shared_ptr<BlockingCall<R>> call, F job)
      : call_(std::move(call)), job_(std::in_place, std::move(job)) {}

  // Not run (the pool dropped it) or ended by a forced unwind: the caller fails.
  ~BlockingCallJob() override {
    if (!settled_) call_->settle(std::nullopt);
  }

  OVIK_CATCHES_FORCED_UNWIND void run() override {
    std::optional<TaskValue<R>> value;
    try {
      if constexpr (std::is_void_v<R>) {
        std::invoke(*job_);
        value.emplace();
      } else {
        value.emplace(std::invoke(*job_));
      }
      // What the job holds (a port, say) is released before the caller goes
      // on, so the caller can rely on it being gone.
      job_.reset();
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (...) {
      value.reset();
    }
    settled_ = true;
    call_->settle(std::move(value));
  }

 private:
  std::shared_ptr<BlockingCall<R>> call_;
  std::optional<F> job_;
  bool settled_ = false;
};

}  // namespace detail

// Runs `job(args...)` on the blocking pool of the runtime current on this
// thread (or of `sdk_runtime()`) and completes with its result. A job that
// throws, or that the pool drops while shutting down, fails the awaiting task
// with the error "spawn_blocking failed". An aborted caller stops waiting at
// once; the job runs to its end and its result is discarded.
//
// Prefer passing the data as `args` to capturing it in a lambda written
// inside the `co_await` expression: g++ 12 destroys the captures of such a
// closure temporary twice. A lambda named before the `co_await` is safe.
template <class F, class... Args>
asio::awaitable<std::invoke_result_t<F&, Args&&...>> run_blocking(F job, Args... args) {
  using R = std::invoke_result_t<F&, Args&&...>;
  auto call = std::make_shared<detail::BlockingCall<R>>();
  auto bound = [job = std::move(job), ... args = std::move(args)]() mutable -> R {
    return std::invoke(job, std::move(args)...);
  };
  current_or_sdk_runtime().submit_blocking(
      std::make_unique<detail::BlockingCallJob<decltype(bound), R>>(call, std::move(bound)));
  co_await detail::park(call, &detail::BlockingCall<R>::caller, [&] { return detail::woken_if(call->done); });
  if (!call->result) throw Error("spawn_blocking failed");
  if constexpr (!std::is_void_v<R>) co_return std::move(*call->result);
}

}  // namespace ovik::runtime
