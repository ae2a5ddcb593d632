#include "pipeline/callback_sink.hpp"

#include <atomic>

namespace ovik::pipeline {

namespace {

std::atomic<CallbackSink*> g_sink{nullptr};

}  // namespace

void install_callback_sink(CallbackSink* sink) { g_sink.store(sink, std::memory_order_release); }

CallbackSink* callback_sink() { return g_sink.load(std::memory_order_acquire); }

}  // namespace ovik::pipeline
