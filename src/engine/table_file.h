// The layout of one table file: an SQLite database holding one table, its indexes and its
// definition.
//
// Inside a file attached under schema S (the table's name):
//   S.<name>            the rows; a sole auto-increment primary field is the INTEGER PRIMARY KEY
//                       (so the rowid is the record number and SQLite never reuses it)
//   S."<name>$<index>"  one SQLite index per defined index ("$pk" for the primary index);
//                       case-insensitive indexes use COLLATE NOCASE
//   S.tikora_meta       key/value: title, version_major, version_minor, table_name
//   S.tikora_fields     the field definitions in field order
//   S.tikora_indexes    the index definitions in index order
// PRAGMA application_id marks the file as a table file; PRAGMA user_version is the engine format.
// Files of format 1 kept the user version as one text "major.minor" and are converted on open.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "engine/schema.h"
#include "engine/sqlite_util.h"
#include "engine/value.h"

namespace tikora::engine {

inline constexpr int kTableFileApplicationId = 0x54494B44;  // "TIKD"
inline constexpr int kEngineFormat = 2;
inline constexpr int kOldestReadableFormat = 1;

// The SQLite name of a table's index ("TimeHist$Account", "TimeHist$pk").
std::string SqliteIndexName(const TableDef& def, const IndexDef& index);
// The table's auto-increment field, if any. It is the SQLite rowid of the rows (INTEGER PRIMARY
// KEY AUTOINCREMENT): values are assigned by the table and never reused.
const FieldDef* AutoIncField(const TableDef& def);
bool HasRowidKey(const TableDef& def);

// DDL of the rows table and its indexes, inside schema `schema`.
std::string CreateTableSql(const std::string& schema, const TableDef& def);
std::string CreateIndexSql(const std::string& schema, const TableDef& def, const IndexDef& index);
// ORDER BY terms of an index ("\"Account\" COLLATE NOCASE, ...") without the rowid tie-break.
std::string IndexOrderSql(const IndexDef& index, bool descending = false);

// Writes the definition tables and pragmas of schema `schema` (format kEngineFormat).
void WriteDefinition(sqlite3* db, const std::string& schema, const TableDef& def);
// Reads the definition of schema `schema`. Throws kErrNotATableFile when the file is no table
// file, kErrOldFormat when it is an older engine format, damage errors when it is damaged.
TableDef ReadDefinition(sqlite3* db, const std::string& schema);
// Reads the definition of a format-1 file (only used for conversion).
TableDef ReadOldDefinition(sqlite3* db, const std::string& schema);
int ReadEngineFormat(sqlite3* db, const std::string& schema);

// Creates a new table file at `path` (which must not exist) with `def` and no rows.
void CreateTableFile(const std::string& path, const TableDef& def);

// Converts a field value to its stored form (cut strings, round currency, ISO texts, NULL for
// empty); throws kErrValueOutOfRange for values the field cannot hold.
Value ToStorage(const FieldDef& field, const Value& v);
// Makes ToStorage callable from SQL on `db` as kStoredValueFunction(value, 'type name', size,
// 'field name') (sql_dialect.h): the translator wraps every value an INSERT or UPDATE assigns to a field in it,
// so that statements store values by the same rules as the table objects. A value the field
// cannot hold fails the statement with SQLITE_MISMATCH (kErrValueOutOfRange) and ToStorage's
// message; SQLite then undoes whatever the statement had written.
void RegisterStoredValueFunction(sqlite3* db);

// Reads column `col` of `stmt` as a value of the field's type.
Value FromStorage(const FieldDef& field, const Stmt& stmt, int col);
// The value a new record gets for a field with a default ("True", "0", "CURRENT_DATE").
Value DefaultValue(const FieldDef& field);

}  // namespace tikora::engine
