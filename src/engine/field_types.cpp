#include "engine/field_types.h"

#include <array>
#include <strings.h>

namespace tikora::engine {
namespace {

constexpr std::array<std::pair<FieldType, std::string_view>, 12> kNames{{
    {FieldType::String, "string"},
    {FieldType::Memo, "memo"},
    {FieldType::Boolean, "boolean"},
    {FieldType::Word, "word"},
    {FieldType::Integer, "integer"},
    {FieldType::AutoInc, "autoinc"},
    {FieldType::Float, "float"},
    {FieldType::Currency, "currency"},
    {FieldType::Date, "date"},
    {FieldType::Time, "time"},
    {FieldType::Timestamp, "timestamp"},
    {FieldType::Blob, "blob"},
}};

}  // namespace

std::string_view FieldTypeName(FieldType type) {
  for (const auto& [t, name] : kNames)
    if (t == type) return name;
  return "unknown";
}

std::optional<FieldType> FieldTypeFromName(std::string_view name) {
  for (const auto& [t, n] : kNames)
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) return t;
  return std::nullopt;
}

}  // namespace tikora::engine
