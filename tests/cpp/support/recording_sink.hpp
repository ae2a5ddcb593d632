#pragma once
// A callback sink that records what the dispatchers deliver, for the
// pipeline's tests. Install it once per process: workers may still reach it.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "pipeline/callback_sink.hpp"

namespace ovik::pipeline::testing {

struct Delivery {
  CallbackKind kind;
  RowBatch rows;  // for MsgResp: {} and `texts` holds (device id, JSON)
  std::vector<std::string> texts;
  bool operator==(const Delivery&) const = default;
};

class RecordingSink : public CallbackSink {
 public:
  static RecordingSink& installed() {
    static RecordingSink* sink = [] {
      auto* made = new RecordingSink;
      install_callback_sink(made);
      return made;
    }();
    return *sink;
  }

  void set(const std::vector<CallbackKind>& kinds) {
    for (auto& slot : slots_) slot = false;
    for (CallbackKind kind : kinds) slots_[static_cast<std::size_t>(kind)] = true;
  }
  bool is_set(CallbackKind kind) const override { return slots_[static_cast<std::size_t>(kind)]; }
  void run_batch(const std::function<void()>& body) override {
    ++batches;
    body();
  }
  void invoke(CallbackKind kind, RowBatch rows) override { record({kind, std::move(rows), {}}); }
  void invoke_message(std::string device_id, std::string json) override {
    record({CallbackKind::MsgResp, {}, {std::move(device_id), std::move(json)}});
  }

  // Waits (at most 10 s) until `count` deliveries have arrived; all of them.
  std::vector<Delivery> wait_for(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(10), [&] { return deliveries_.size() >= count; });
    return deliveries_;
  }

  std::atomic<int> batches{0};

 private:
  void record(Delivery delivery) {
    std::lock_guard lock(mutex_);
    deliveries_.push_back(std::move(delivery));
    arrived_.notify_all();
  }

  std::array<std::atomic<bool>, kCallbackKindCount> slots_{};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Delivery> deliveries_;
};

}  // namespace ovik::pipeline::testing
