// The data manager's record commands over a cursor and a selection of rows: copy, cut and paste
// in the clipboard line format, delete selected, delete all, reindex, ordering by a column; find
// and replace over one column; SQL files run as the query Qry1 and written in the text editor.
//
// The clipboard format: one line per row, every field's text (FieldText) in double quotes,
// separated by commas, without escaping; each line ends with a line break. Paste reads values
// with CsvField and "," as separator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "admin/record_cursor.h"
#include "core/prompter.h"
#include "engine/query.h"
#include "engine/table.h"

namespace tikora::admin {

// ---- Copy, cut, paste, delete

// The clipboard text of the selected rows in selection order ("" when none is selected); with
// `cut` each row is deleted right after it is copied.
std::string CopyRecords(RecordCursor& cursor, const std::vector<CursorMark>& selection, bool cut);
// Appends one record per line of `clipboard` and posts it; a blank line posts a record with no
// value set. Returns the records posted. No transaction: a refusal stops at that line and the
// rows before it stay.
std::int64_t PasteRecords(RecordCursor& cursor, const std::string& clipboard);
// Asks "Delete selected records?" (OK/Cancel); on OK deletes the selected rows and ends on the
// first row. Returns the rows deleted.
std::int64_t DeleteSelectedRecords(RecordCursor& cursor, const std::vector<CursorMark>& selection,
                                   Prompter& prompter);
// Asks "Delete all records in the <name> table?" (OK/Cancel); on OK deletes every row of the
// cursor. Returns the rows deleted.
std::int64_t DeleteAllRecords(RecordCursor& cursor, const std::string& table_name,
                              Prompter& prompter);

// ---- Reindex and ordering

inline constexpr const char* kReindexNotNeeded = "Table requires no re-indexing.";
inline constexpr const char* kReindexDone = "Re-Indexing successful.";
inline constexpr const char* kReindexInUse =
    "Re-index failed: To re-index this table no one else can have it open.";

// Closes `table`, checks it under an exclusive hold and rebuilds its indexes when the check finds
// a fault, shows the outcome (kReindexInUse when someone else has the table open, else "Error: "
// + "\"code\" \"message\"" for other engine errors) and always opens the table again, shared.
// Returns the text shown.
std::string ReindexTable(engine::Table& table, Prompter& prompter);

// Whether a title click orders the table of a list entry: Charge Accounts, Clients, Job Codes,
// Time History, Time History Archive, Invoices, Estimates, Expenses, Work Groups and Users
// (entries 0-7, 10, 11); for Items, Reports, Security and the SQL File only the mark is set.
bool OrderingAppliesTo(int list_entry);

// Orders the table by the field of a clicked column (any field, indexed or not); an empty name
// returns to the primary order.
void OrderByColumn(engine::Table& table, const std::string& field_name);

// ---- Find and replace

// The state the find and replace dialogs share while the data manager is open.
class FindState {
 public:
  bool Continue() const { return continue_; }
  void SetContinue(bool on) { continue_ = on; }
  CursorMark StartedAt() const { return started_at_; }
  void SetStartedAt(CursorMark mark) { started_at_ = mark; }
  // What Find and Replace do when their dialog opens: clear the flag, go to the first record.
  void Begin(RecordCursor& cursor) {
    continue_ = false;
    cursor.First();
  }

 private:
  bool continue_ = false;
  CursorMark started_at_ = 0;
};

struct FindRequest {
  std::string text;
  bool match_case = false;
  bool down = true;
};

// True when `text` contains `part`, letters compared without regard to case (locale-aware).
bool ContainsNoCase(const std::string& text, const std::string& part);

// Searches the `column` of the cursor for the text, stepping one record first when the continue
// flag is set. Found: the record becomes current. Not found: shows "No matches found" and goes
// back to the record where the search began. Sets the continue flag either way.
bool FindNext(RecordCursor& cursor, int column, const FindRequest& request, FindState& state,
              Prompter& prompter);

// Replaces the first occurrence of `search` (case ignored) in the column of the current record,
// if it holds one. Shows "No matches found" when the continue flag is still clear afterwards.
bool ReplaceCurrent(RecordCursor& cursor, int column, const std::string& search,
                    const std::string& replacement, FindState& state, Prompter& prompter);
// The same for every record from the current one to the last; each record is posted on its
// own. Returns the records changed.
std::int64_t ReplaceAll(RecordCursor& cursor, int column, const std::string& search,
                        const std::string& replacement, FindState& state, Prompter& prompter);

// ---- SQL files

// Loads the whole file as the statement of `query` and opens it. Returns false (the query
// untouched) when the path is empty or the file does not exist. A statement the engine rejects
// throws its error after the query's previous statement has been put back.
bool OpenSqlFile(engine::Query& query, const std::string& path);

// The text editor: $VISUAL, else $EDITOR, else "xdg-open". Started directly (no shell) with the
// file as its argument (none for a new file), not waited for. When it cannot be started shows
// "Could not launch" + " " + the program (caption "Launch Error") and returns false.
std::string TextEditorProgram();
bool LaunchTextEditor(const std::string& file, Prompter& prompter);
bool NewSqlFile(Prompter& prompter);
// Opens an existing SQL file in the editor; a missing file starts nothing and returns false.
bool EditSqlFile(const std::string& path, Prompter& prompter);

}  // namespace tikora::admin
