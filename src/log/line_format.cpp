#include "log/line_format.hpp"

#include <fmt/format.h>

namespace ovik::log {

namespace {

// RFC 3339 in UTC with `digits` fractional digits (3 or 6) and "Z".
std::string utc_timestamp(Clock::time_point now, int digits) {
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
  auto seconds = static_cast<std::time_t>(micros / 1'000'000);
  auto fraction = micros % 1'000'000;
  if (fraction < 0) {
    fraction += 1'000'000;
    seconds -= 1;
  }
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &utc);
  if (digits == 3) return fmt::format("{}.{:03}Z", date, fraction / 1000);
  return fmt::format("{}.{:06}Z", date, fraction);
}

constexpr int colour_code(Level level) {
  constexpr int kCodes[] = {31, 33, 32, 34, 37};
  return kCodes[static_cast<int>(level)];
}

}  // namespace

std::string format_console_line(const Record& record, Clock::time_point now) {
  return fmt::format("{}[\x1b[{}m{}\x1b[0m] {}", utc_timestamp(now, 3), colour_code(record.level),
                     level_name(record.level), record.message);
}

std::string format_file_line(const Record& record, Clock::time_point now) {
  return fmt::format("{}[{}] {}", utc_timestamp(now, 6), level_name(record.level), record.message);
}

std::string log_file_path(const std::tm& local_time) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local_time);
  return fmt::format("logs/output_{}.log", stamp);
}

}  // namespace ovik::log
