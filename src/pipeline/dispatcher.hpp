#pragma once
// A named callback dispatcher: a bounded line of callback items that the
// delivery threads (delivery_pool.hpp) hand, in order and one at a time, to
// the dispatcher's handler. Sending never waits: a full line drops the item
// with a warning.
//
// The bound counts every item not yet handed to the handler. The worker of a
// dispatcher is its lane's service, not a thread of its own. A handler that
// fails ends it: what is still queued is dropped, the thread goes on with
// other lanes, and the next send restarts the worker with a line saying so.
// A dispatcher that goes away has its worker deliver what it holds, and then
// the worker says it has stopped.
#include <fmt/format.h>

#include <cstddef>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "log/log.hpp"
#include "pipeline/delivery_pool.hpp"
#include "pipeline/log_targets.hpp"
#include "runtime/forced_unwind.hpp"

namespace ovik::pipeline {

inline constexpr std::size_t CALLBACK_CHANNEL_CAPACITY = 1024;
// A line this long is falling behind: a quarter of the bound is left. Not
// sooner, because what it brings about (a Python thread feeding a parser
// lets the interpreter lock go) also lets any other busy Python thread in
// for a whole switch interval.
inline constexpr std::size_t kCallbackBacklog = CALLBACK_CHANNEL_CAPACITY * 3 / 4;

template <class Item>
class CallbackDispatcher {
 public:
  using Handler = void (*)(Item);

  // `name` is static text.
  CallbackDispatcher(std::string_view name, Handler handler) : lane_(std::make_shared<Lane>(name, handler)) {}
  ~CallbackDispatcher() { lane_->close(lane_); }
  CallbackDispatcher(const CallbackDispatcher&) = delete;
  CallbackDispatcher& operator=(const CallbackDispatcher&) = delete;

  // Queues `item` without waiting, from any thread.
  void dispatch(Item item) { lane_->push(std::move(item), lane_); }

 private:
  class Lane final : public DeliveryLane {
   public:
    Lane(std::string_view name, Handler handler) : name_(name), handler_(handler) {}

    void push(Item&& item, const std::shared_ptr<Lane>& self) {
      bool restarted = false, full = false, schedule = false, backlog = false;
      {
        std::lock_guard lock(mutex_);
        restarted = std::exchange(failed_, false);
        full = items_.size() >= CALLBACK_CHANNEL_CAPACITY;
        if (!full) {
          items_.push_back(std::move(item));
          schedule = !std::exchange(scheduled_, true);
        }
        backlog = items_.size() >= kCallbackBacklog;
      }
      if (backlog) note_backlog();
      if (restarted) OVIK_LOG(Warn, kDispatcherTarget, "Restarting {} callback dispatcher after send failure", name_);
      if (full)
        OVIK_LOG(Warn, kDispatcherTarget,
                 "⚠️  {} callback dispatcher is full (lagging callback). Dropping sample to prevent memory "
                 "overflow!",
                 name_);
      if (schedule) schedule_delivery(self);
    }

    // The dispatcher is gone: once what it queued is delivered, the lane
    // reports that it has stopped.
    void close(const std::shared_ptr<Lane>& self) {
      bool schedule = false;
      {
        std::lock_guard lock(mutex_);
        closed_ = true;
        schedule = !failed_ && !std::exchange(scheduled_, true);
      }
      if (schedule) schedule_delivery(self);
    }

    // Delivers what was queued when the turn began, so that the other lanes
    // get their turns while this one keeps receiving.
    bool serve_turn() override {
      std::size_t turn = 0;
      {
        std::lock_guard lock(mutex_);
        turn = items_.size();
      }
      for (; turn > 0; --turn) {
        std::optional<Item> item = take();
        if (!item || !deliver(std::move(*item))) break;
      }
      return end_turn();
    }

   private:
    std::optional<Item> take() {
      std::lock_guard lock(mutex_);
      if (items_.empty()) return std::nullopt;
      std::optional<Item> item(std::move(items_.front()));
      items_.pop_front();
      return item;
    }

    OVIK_CATCHES_FORCED_UNWIND bool deliver(Item&& item) {
      try {
        HandlerScope scope;
        handler_(std::move(item));
        return true;
      } catch (abi::__forced_unwind&) {
        throw;
      } catch (const std::exception& error) {
        fail(fmt::format("callback handler failed: {}", error.what()));
      } catch (...) {
        fail("callback handler failed");
      }
      return false;
    }

    // The worker ends: the items queued behind the failed one are dropped
    // and the next send restarts it. The text is the one this failure has
    // always written.
    void fail(const std::string& why) {
      std::deque<Item> dropped;
      {
        std::lock_guard lock(mutex_);
        failed_ = true;
        dropped.swap(items_);
      }
      std::fputs(fmt::format("spawn_blocking failed: {}\n", why).c_str(), stderr);
    }

    bool end_turn() {
      {
        std::lock_guard lock(mutex_);
        if (!items_.empty()) return true;
        scheduled_ = false;
        if (!closed_ || failed_ || std::exchange(stopped_, true)) return false;
      }
      OVIK_LOG(Warn, kDispatcherTarget, "{} callback dispatcher stopped", name_);
      return false;
    }

    const std::string_view name_;
    const Handler handler_;
    std::mutex mutex_;
    std::deque<Item> items_;
    bool scheduled_ = false;  // in the ready line or being served
    bool failed_ = false;     // the handler failed; the next send restarts the worker
    bool closed_ = false;     // the dispatcher is gone
    bool stopped_ = false;
  };

  const std::shared_ptr<Lane> lane_;
};

}  // namespace ovik::pipeline
