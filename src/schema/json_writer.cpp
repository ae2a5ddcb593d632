#include "schema/json_writer.hpp"

#include <fmt/format.h>

#include "schema/text_base64.hpp"

namespace ovik::schema::json_detail {

void append_bytes(std::string& out, const Bytes& bytes) {
  out += '"';
  append_base64(out, bytes.data(), bytes.size());
  out += '"';
}

const EnumEntry* json_member(const EnumTable& table, std::int32_t number) {
  const EnumEntry* entry = table.find(number);
  return entry != nullptr && !entry->proto_name.empty() ? entry : nullptr;
}

void append_enum(std::string& out, const EnumEntry& member) {
  out += '"';
  out += member.proto_name;
  out += '"';
}

Failure invalid_variant(std::int32_t number) { return fail(fmt::format("Invalid variant {}", number)); }

}  // namespace ovik::schema::json_detail
