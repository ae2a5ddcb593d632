#include "dfu/offset_watch.hpp"

#include "dfu/ota_exchange.hpp"

namespace ovik::dfu {

bool OffsetWatch::advancing(std::uint32_t offset, Clock::time_point now, std::uint64_t timeout_ms) {
  if (offset > highest_) {
    highest_ = offset;
    risen_at_ = now;
    return true;
  }
  return now <= deadline_after(risen_at_, timeout_ms);
}

}  // namespace ovik::dfu
