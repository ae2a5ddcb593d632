#pragma once

namespace ovik {
// Kept equal to the version in pyproject.toml (a Python test compares them).
inline constexpr const char* kSdkVersion = "0.5.0";
}  // namespace ovik
