#include "schema/debug_writer.hpp"

namespace ovik::schema::debug_detail {

void append_bytes(std::string& out, const Bytes& bytes) {
  out += '[';
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ", ";
    append_decimal(out, std::uint32_t{bytes[i]});
  }
  out += ']';
}

void append_enum(std::string& out, const EnumTable& table, std::int32_t number) {
  if (const EnumEntry* entry = table.find(number)) {
    out += entry->debug_name;
  } else {
    append_decimal(out, number);
  }
}

}  // namespace ovik::schema::debug_detail
