#pragma once
#include <cstdint>
#include <string_view>

namespace ovik::log {

// Ordered from most to least severe; the numbers are those of the Python
// `LogLevel` enum. A record passes a threshold when `record <= threshold`.
enum class Level : std::uint8_t { Error = 0, Warn = 1, Info = 2, Debug = 3, Trace = 4 };

inline constexpr std::string_view level_name(Level level) {
  constexpr std::string_view kNames[] = {"ERROR", "WARN", "INFO", "DEBUG", "TRACE"};
  return kNames[static_cast<int>(level)];
}

inline constexpr bool passes(Level record, Level threshold) { return record <= threshold; }

}  // namespace ovik::log
