#pragma once
// Text lines of the console and file outputs.
#include <chrono>
#include <ctime>
#include <string>

#include "log/log.hpp"

namespace ovik::log {

using Clock = std::chrono::system_clock;

// "2026-12-05T15:52:25.123Z" + coloured level + message.
std::string format_console_line(const Record& record, Clock::time_point now);
// "2026-12-05T15:52:25.123456Z" + plain level + message.
std::string format_file_line(const Record& record, Clock::time_point now);
// "logs/output_20261205_155225.log" for a broken-down local time.
std::string log_file_path(const std::tm& local_time);

}  // namespace ovik::log
