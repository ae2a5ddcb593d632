#pragma once
// A decoded frame payload: one top-level message, of the kind its route
// names. Copying an OvikMessage copies the message.
#include <array>
#include <string>
#include <string_view>
#include <variant>

#include "common/result.hpp"
#include "schema/messages.hpp"

namespace ovik::proto {

// Alternatives in the kinds' declared order, so `index()` is the kind.
using OvikMessage = std::variant<schema::AppDongle,         // App2Dongle: host to dongle
                                 schema::DongleApp,         // Dongle2App
                                 schema::AppSensor,         // App2Sensor: host to sensor, direct
                                 schema::SensorApp,         // Sensor2App
                                 schema::AppToControlBox,   // AppToCtrlBox: through the control box
                                 schema::ControlBoxToApp>;  // CtrlBoxToApp

inline constexpr std::array<std::string_view, 6> kOvikMessageKindNames = {
    "App2Dongle", "Dongle2App", "App2Sensor", "Sensor2App", "AppToCtrlBox", "CtrlBoxToApp"};

inline std::string_view kind_name(const OvikMessage& message) { return kOvikMessageKindNames[message.index()]; }

// {"<kind>":<the message's JSON object>}; fails only for an enumeration
// number without a name.
Result<std::string> to_json(const OvikMessage& message);
// The same text, appended to `out`.
Result<void> write_json(const OvikMessage& message, std::string& out);

// <kind>(<the message's debug text>)
std::string to_debug(const OvikMessage& message);

}  // namespace ovik::proto
