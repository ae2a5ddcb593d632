#pragma once
// A named callback dispatcher: a bounded queue of callback items and one
// worker task that hands them, in order, to the dispatcher's handler on a
// blocking thread. Sending never waits: a full queue drops the item with a
// warning; a queue whose worker has ended is replaced by a new one.
//
// The worker hands what is waiting in its queue (at most kBatchLimit items)
// to one blocking job, run inside the callback sink's `run_batch`, so the
// Python layer can deliver them under one interpreter-lock acquisition; the
// handler is still called once per item, in order. An item holds its place
// in the bound until it is handed to the handler, not only while it is in the
// queue: a batch taken out of the queue must not make room for more.
#include <asio/awaitable.hpp>
#include <fmt/format.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.hpp"
#include "log/log.hpp"
#include "pipeline/callback_sink.hpp"
#include "pipeline/log_targets.hpp"
#include "runtime/bounded_queue.hpp"
#include "runtime/forced_unwind.hpp"
#include "runtime/run_blocking.hpp"
#include "runtime/runtime.hpp"

namespace ovik::pipeline {

inline constexpr std::size_t CALLBACK_CHANNEL_CAPACITY = 1024;

template <class Item>
class CallbackDispatcher {
 public:
  using Handler = void (*)(Item);
  static constexpr std::size_t kBatchLimit = 256;

  // `name` is static text.
  CallbackDispatcher(std::string_view name, Handler handler) : name_(name), handler_(handler) {}
  CallbackDispatcher(const CallbackDispatcher&) = delete;
  CallbackDispatcher& operator=(const CallbackDispatcher&) = delete;

  // Queues `item` without waiting; the first send (and the first after the
  // worker has ended) starts a worker on the runtime current on this thread,
  // or else on the SDK's runtime.
  void dispatch(Item item) {
    // A queue found closed right after it was made cannot get a worker (its
    // runtime is going away): one restart per item, then the item is dropped.
    for (int attempt = 0; attempt < 2; ++attempt) {
      Channel channel = current_channel();
      if (channel.counts->undelivered.fetch_add(1, std::memory_order_acq_rel) >= CALLBACK_CHANNEL_CAPACITY) {
        channel.counts->undelivered.fetch_sub(1, std::memory_order_acq_rel);
        OVIK_LOG(Warn, kDispatcherTarget,
                 "⚠️  {} callback dispatcher is full (lagging callback). Dropping sample to prevent memory "
                 "overflow!",
                 name_);
        return;
      }
      switch (channel.sender.try_send(std::move(item))) {
        case runtime::SendStatus::Ok:
          channel.counts->sent.fetch_add(1, std::memory_order_release);
          return;
        case runtime::SendStatus::Full:  // cannot happen: the queue holds no more than are undelivered
        case runtime::SendStatus::Closed:
          channel.counts->undelivered.fetch_sub(1, std::memory_order_acq_rel);
          forget(channel);
          if (attempt > 0) break;
          OVIK_LOG(Warn, kDispatcherTarget, "Restarting {} callback dispatcher after send failure", name_);
          break;
      }
    }
    OVIK_LOG(Warn, kDispatcherTarget, "{} callback dispatcher could not be restarted; dropping sample", name_);
  }

 private:
  using Queue = runtime::BoundedQueue<Item>;
  struct Counts {
    // Items sent successfully on one queue: the worker takes, without
    // waiting, as many as it knows to be there.
    std::atomic<std::uint64_t> sent{0};
    // Items sent and not yet handed to the handler: the bound.
    std::atomic<std::size_t> undelivered{0};
  };
  using SharedCounts = std::shared_ptr<Counts>;

  struct Channel {
    typename Queue::Sender sender;
    SharedCounts counts;
  };

  Channel current_channel() {
    std::lock_guard lock(mutex_);
    if (!channel_) {
      auto [sender, receiver] = Queue::make(CALLBACK_CHANNEL_CAPACITY);
      SharedCounts counts = std::make_shared<Counts>();
      runtime::spawn_on_runtime(worker(name_, handler_, std::move(receiver), counts));
      channel_.emplace(Channel{std::move(sender), std::move(counts)});
    }
    return *channel_;
  }

  // Drops the stored send end if it is still the closed queue's (another
  // sender may have replaced it already).
  void forget(const Channel& closed) {
    std::optional<Channel> dropped;
    std::lock_guard lock(mutex_);
    if (channel_ && channel_->counts == closed.counts) dropped.swap(channel_);
  }

  static asio::awaitable<void> worker(std::string_view name, Handler handler, typename Queue::Receiver receiver,
                                      SharedCounts counts) {
    std::uint64_t received = 0;
    for (;;) {
      std::optional<Item> first = co_await receiver.recv();
      if (!first) break;
      ++received;
      std::vector<Item> batch;
      batch.push_back(std::move(*first));
      while (batch.size() < kBatchLimit && counts->sent.load(std::memory_order_acquire) > received) {
        std::optional<Item> next = co_await receiver.recv();
        if (!next) break;
        ++received;
        batch.push_back(std::move(*next));
      }
      auto failure = std::make_shared<std::string>();
      try {
        co_await runtime::run_blocking(&deliver, handler, std::move(batch), counts, failure);
      } catch (const Error& error) {
        // The queue closes with this task; its items are dropped and the next
        // send starts a new worker.
        std::fputs(fmt::format("{}: {}\n", error.message(), *failure).c_str(), stderr);
        co_return;
      }
    }
    OVIK_LOG(Warn, kDispatcherTarget, "{} callback dispatcher stopped", name);
  }

  OVIK_CATCHES_FORCED_UNWIND static void deliver(Handler handler, std::vector<Item> items, SharedCounts counts,
                                                 std::shared_ptr<std::string> failure) {
    try {
      auto body = [&] {
        for (Item& item : items) {
          counts->undelivered.fetch_sub(1, std::memory_order_acq_rel);
          handler(std::move(item));
        }
      };
      if (CallbackSink* sink = callback_sink()) {
        sink->run_batch(body);
      } else {
        body();
      }
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (const std::exception& error) {
      *failure = fmt::format("callback handler failed: {}", error.what());
      throw;
    } catch (...) {
      *failure = "callback handler failed";
      throw;
    }
  }

  const std::string_view name_;
  const Handler handler_;
  std::mutex mutex_;
  std::optional<Channel> channel_;
};

}  // namespace ovik::pipeline
