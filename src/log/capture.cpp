#include "log/capture.hpp"

namespace ovik::log {

void CaptureOutput::write(const Record& record) {
  std::lock_guard lock(mutex_);
  records_.push_back({record.level, std::string(record.target), std::string(record.message)});
}

std::vector<CapturedRecord> CaptureOutput::records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::vector<std::string> CaptureOutput::messages(std::string_view target) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& record : records_)
    if (record.target == target) out.push_back(record.message);
  return out;
}

void CaptureOutput::clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
}

ScopedCapture::ScopedCapture(Level max) : output_(max) {
  sink().install(Slot::Capture, &output_);
}

ScopedCapture::~ScopedCapture() { sink().install(Slot::Capture, nullptr); }

}  // namespace ovik::log
