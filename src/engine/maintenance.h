// Whole-file operations on tables: restructuring, verification, repair, format conversion and
// creating the tables of a new data folder.
//
// Every operation that rewrites a file holds the table's exclusive lock for its whole duration
// and fails with kErrAccessDenied (11013) when any table object, query or other process has the
// table open. Rows, their record numbers and the auto-increment counter are kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/database.h"
#include "engine/schema.h"

namespace tikora::engine {

// Rewrites `table` with the fields and indexes of `new_def` (its name is ignored), its title and
// user version, in one transaction. Fields are matched by field number: a field whose number the
// old definition has keeps its values; a new field is filled with its default (or left empty).
void Restructure(Database& db, std::string_view table, const TableDef& new_def);

// Sets the title and the user version without touching rows or structure.
void SetTableInfo(Database& db, std::string_view table, const std::string& title, UserVersion version);

struct VerifyResult {
  bool ok = true;
  std::vector<std::string> problems;  // empty when ok
};
// Checks the file's structure, indexes and definition. Never throws for damage: reports it.
VerifyResult Verify(Database& db, std::string_view table);

// Salvages every readable row of `table` into a fresh file with the same definition and rebuilt
// indexes, then puts the fresh file in place of the damaged one (kept as "<file>.damaged").
// Returns the number of rows salvaged. `force_index_rebuild` also rebuilds the indexes of a file
// that is otherwise sound (the rows are copied in either case).
std::int64_t Repair(Database& db, std::string_view table, bool force_index_rebuild);

// Converts a table file of an older engine format to the current one, keeping every row.
void ConvertTableFile(Database& db, std::string_view table);

enum class Layout { Base, Current };
// Writes the thirteen table files of a data folder, empty, at the chosen layout. Existing files
// are left alone (returns the names of the files written).
std::vector<std::string> CreateDataTables(const std::string& directory, Layout layout);

}  // namespace tikora::engine
