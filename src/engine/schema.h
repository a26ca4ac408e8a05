// Table definitions: fields, indexes, title and user version of every table of the data folder,
// at their current layouts and at the oldest layout an installation may still hold (1.0).
//
// A definition is plain data. The engine writes it into each table file and reads it back; the
// upgrade code compares stored definitions with these and restructures files step by step.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"

namespace tikora::engine {

// Key compression is stored with an index and changes nothing else.
enum class IndexCompression { None, DupByte, TrailByte, Full };

std::string_view CompressionName(IndexCompression c);
std::optional<IndexCompression> CompressionFromName(std::string_view name);

struct FieldDef {
  int number = 0;            // field number (stable across restructuring)
  std::string name;
  FieldType type = FieldType::String;
  int size = 0;              // characters for String; 0 otherwise
  bool required = false;
  std::string default_value; // as written in a definition: "True", "0", "CURRENT_DATE"; "" = none
  bool operator==(const FieldDef&) const = default;
};

struct IndexDef {
  std::string name;                 // empty for the primary index
  std::vector<std::string> fields;  // in key order
  bool primary = false;
  bool unique = false;              // the primary index is always unique
  bool case_insensitive = false;
  bool descending = false;
  IndexCompression compression = IndexCompression::None;
  bool operator==(const IndexDef&) const = default;
};

struct UserVersion {
  int major = 1, minor = 0;
  auto operator<=>(const UserVersion&) const = default;
};

struct TableDef {
  std::string name;       // "TimeHist": the SQL name and the attach name
  std::string file_name;  // "TimeHist.DAT": the file in the data folder (case as installed)
  std::string title;      // the table's description text, may be empty
  UserVersion version;
  std::vector<FieldDef> fields;
  std::vector<IndexDef> indexes;  // the primary index, when any, comes first

  const FieldDef* FindField(std::string_view field) const;    // case-insensitive
  const IndexDef* FindIndex(std::string_view index) const;    // case-insensitive; "" = primary
  const IndexDef* PrimaryIndex() const;
  int FieldIndex(std::string_view field) const;               // 0-based position or -1
  bool operator==(const TableDef&) const = default;
};

// The thirteen tables of the data folder, in the order the installation lists them.
const std::vector<std::string>& DataTableNames();

// Current and oldest layouts of a data table; nullopt for an unknown name (case-insensitive).
std::optional<TableDef> CurrentTableDef(std::string_view table);
std::optional<TableDef> BaseTableDef(std::string_view table);

// The administrator's in-memory time sheet table.
TableDef MemTimeSheetDef();

// Case-insensitive equality of ASCII names (table, field and index names).
bool SameName(std::string_view a, std::string_view b);

}  // namespace tikora::engine
