// Field types of table files and how each is stored in SQLite.
//
// Storage (one SQLite column per field, named exactly as the field, e.g. "Start Time"):
//   String(n)  TEXT, cut to n characters on write      Memo       TEXT, unlimited
//   Boolean    INTEGER 0 / 1                           Word       INTEGER 0..65535
//   Integer    INTEGER                                 AutoInc    INTEGER, assigned by the table
//   Float      REAL                                    Currency   REAL rounded to 4 decimals
//   Date       TEXT 'YYYY-MM-DD'                       Time       TEXT 'HH:MM:SS.mmm'
//   Timestamp  TEXT 'YYYY-MM-DD HH:MM:SS.mmm'          Blob       BLOB
// An empty value of any type is NULL (an empty string is stored as NULL too).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tikora::engine {

enum class FieldType {
  String,
  Memo,
  Boolean,
  Word,
  Integer,
  AutoInc,
  Float,
  Currency,
  Date,
  Time,
  Timestamp,
  Blob,
};

// "string", "memo", "boolean", ... : the names used in stored definitions and messages.
std::string_view FieldTypeName(FieldType type);
std::optional<FieldType> FieldTypeFromName(std::string_view name);

inline bool IsTextStored(FieldType t) {
  return t == FieldType::String || t == FieldType::Memo || t == FieldType::Date ||
         t == FieldType::Time || t == FieldType::Timestamp;
}
inline bool IsDateTimeType(FieldType t) {
  return t == FieldType::Date || t == FieldType::Time || t == FieldType::Timestamp;
}
inline bool IsNumericType(FieldType t) {
  return t == FieldType::Word || t == FieldType::Integer || t == FieldType::AutoInc ||
         t == FieldType::Float || t == FieldType::Currency || t == FieldType::Boolean;
}

// What the SQL translator needs to know about the tables a statement names. Table and field
// names are matched case-insensitively; the engine answers from the stored definitions.
class SchemaLookup {
 public:
  virtual ~SchemaLookup() = default;
  // The table's canonical name (as SQLite knows it) or nullopt when there is no such table.
  virtual std::optional<std::string> CanonicalTable(std::string_view table) const = 0;
  // The field's type and canonical name in that table, or nullopt when it has no such field.
  struct Field {
    std::string name;
    FieldType type;
    int size = 0;  // characters of a String field; 0 otherwise
  };
  virtual std::optional<Field> FindField(std::string_view canonical_table,
                                         std::string_view field) const = 0;
  // Field names of a table in field order (for "SELECT *" and INSERT without a column list).
  virtual std::optional<std::vector<Field>> Fields(std::string_view canonical_table) const = 0;
};

}  // namespace tikora::engine
