#include "schema/field.hpp"

namespace ovik::schema {

std::string_view kind_name(FieldKind kind) {
  switch (kind) {
    case FieldKind::UInt32: return "uint32";
    case FieldKind::Int32: return "int32";
    case FieldKind::Bool: return "bool";
    case FieldKind::Float: return "float";
    case FieldKind::Enum: return "enum";
    case FieldKind::String: return "string";
    case FieldKind::Bytes: return "bytes";
    case FieldKind::Message: return "message";
  }
  return "?";
}

}  // namespace ovik::schema
