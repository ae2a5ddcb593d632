#pragma once
#include <string_view>

namespace ovik::pipeline {

inline constexpr std::string_view kAfeHandlerTarget = "ovik_sdk::data_handler::afe_handler";
inline constexpr std::string_view kDataTarget = "ovik_sdk::ovik::data";
inline constexpr std::string_view kDispatcherTarget = "ovik_sdk::utils::callback_dispatcher";

}  // namespace ovik::pipeline
