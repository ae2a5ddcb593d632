#pragma once
// A callback sink that records what the dispatchers deliver, for the
// pipeline's tests. Installed once per process: workers may still reach it.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/callback_sink.hpp"

namespace ovik::pipeline::testing {

// Polls `done` for at most 10 s.
template <class Done>
void await(Done done) {
  for (int spins = 0; !done() && spins < 1000; ++spins) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

struct Delivery {
  CallbackKind kind;
  RowBatch rows;
  std::vector<std::string> texts;  // MsgResp: device id, JSON
  bool operator==(const Delivery&) const = default;
};

class RecordingSink : public CallbackSink {
 public:
  static RecordingSink& installed(std::vector<CallbackKind> slots = {}) {
    static RecordingSink* sink = new RecordingSink;
    for (CallbackKind kind : slots) sink->slots_[static_cast<std::size_t>(kind)] = true;
    install_callback_sink(sink);
    return *sink;
  }
  bool is_set(CallbackKind kind) const override { return slots_[static_cast<std::size_t>(kind)]; }
  void run_batch(const std::function<void()>& body) override {
    ++batches;
    body();
  }
  void invoke(CallbackKind kind, RowBatch rows) override { record({kind, std::move(rows), {}}); }
  void invoke_message(std::string id, std::string json) override { record({CallbackKind::MsgResp, {}, {id, json}}); }
  // All deliveries once there are `count` (or after 10 s).
  std::vector<Delivery> wait_for(std::size_t count) {
    await([&] {
      std::lock_guard lock(mutex_);
      return deliveries_.size() >= count;
    });
    std::lock_guard lock(mutex_);
    return deliveries_;
  }
  std::atomic<int> batches{0};

 private:
  void record(Delivery delivery) {
    std::lock_guard lock(mutex_);
    deliveries_.push_back(std::move(delivery));
  }
  std::array<std::atomic<bool>, kCallbackKindCount> slots_{};
  std::mutex mutex_;
  std::vector<Delivery> deliveries_;
};

}  // namespace ovik::pipeline::testing
