#include "proto/ovik_message.hpp"

#include "schema/debug_writer.hpp"
#include "schema/json_writer.hpp"

namespace ovik::proto {

Result<std::string> to_json(const OvikMessage& message) {
  return std::visit([&](const auto& m) { return schema::to_json_as_kind(kind_name(message), m); }, message);
}

Result<void> write_json(const OvikMessage& message, std::string& out) {
  return std::visit([&](const auto& m) { return schema::write_json_as_kind(kind_name(message), m, out); }, message);
}

std::string to_debug(const OvikMessage& message) {
  std::string out;
  std::visit([&](const auto& m) { schema::write_debug_as_kind(kind_name(message), m, out); }, message);
  return out;
}

}  // namespace ovik::proto
