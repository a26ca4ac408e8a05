// Bringing the tables of an older installation up to the current layouts, in place, keeping every
// row. The administrator program runs UpdateDatabase at every start before it opens any table;
// a table already at its current version is left untouched, so a normal start changes nothing.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/prompter.h"
#include "engine/database.h"
#include "engine/schema.h"

namespace tikora::admin {

// Shown (translated) once at the end of a run in which a table could not be opened exclusively.
inline constexpr const char* kUpdateFailedMessage =
    "Database Update Failed. This new version requires database updates. Make sure no one else "
    "is using the software and restart.";

// One version step of one table: it runs when `applies` says so for the version stored at that
// moment, changes the definition and gives it `to`.
struct UpgradeStep {
  std::string table;
  std::string condition;  // readable form of `applies`, for messages and tests
  std::function<bool(engine::UserVersion)> applies;
  std::function<void(engine::TableDef&)> change;
  engine::UserVersion to;
};

// Every step of every table, tables in the order the upgrade visits them, steps in ascending
// order within a table.
const std::vector<UpgradeStep>& UpgradeSteps();

struct StepsApplied {
  int count = 0;      // steps applied to the definition
  std::string error;  // why the next step could not be applied; empty when all went through
};
// Applies the steps of the table `def.name` that apply, one after another, to a definition in
// memory. When a step cannot be applied (the definition lacks what it changes), `def` holds the
// definition after the last step that went through and `error` says why.
StepsApplied ApplyUpgradeSteps(engine::TableDef& def);

// Opens and closes `table` once; a file of an older engine format is converted to the current
// one. Any other failure is ignored here (a missing table shows up when it is opened for use).
void CheckTableFormat(engine::Database& db, std::string_view table);

struct UpgradeReport {
  bool update_failed = false;             // some table was in use by someone else
  std::vector<std::string> upgraded;      // tables rewritten in this run
  std::vector<std::string> errors;        // messages of other failures, as shown
};

// The upgrade run: moves "Comments.txt" of the data folder to "Comments.Dat", checks the engine
// format of every table, then brings each table to its current version. A table held open by
// another program keeps its version and sets `update_failed`; the other tables are still
// upgraded, and kUpdateFailedMessage is shown once at the end. Any other failure of a table shows
// its own message and leaves that table at the version it had.
//
// The steps of one table are applied to its definition in memory and written with a single
// restructuring, so a million-row table is copied once rather than once per step.
UpgradeReport UpdateDatabase(engine::Database& db, Prompter& prompter);

}  // namespace tikora::admin
