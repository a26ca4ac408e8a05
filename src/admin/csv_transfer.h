// CSV export and import of the data manager, and the field texts both use.
//
// File layout: one line per record in the cursor's order, every field in field order, each value
// the field's text (FieldText) with CR LF pairs made blanks and double quotes made apostrophes,
// enclosed in double quotes and separated by the separator alone; every line ends in CR LF; no
// header. Import reads the same layout (CsvField rules: values may also stand without quotes),
// runs in one transaction and leaves the table as it was when any line fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "admin/record_cursor.h"
#include "core/datetime.h"
#include "core/regional.h"
#include "engine/database.h"
#include "engine/field_types.h"
#include "engine/value.h"

namespace tikora::admin {

// A field's standard text in the process locale: numbers in their shortest decimal form with
// the regional decimal separator and no grouping, dates in the short date format, times in the
// long time format, date-times as both (the time left out at midnight), Booleans "True" or
// "False", an empty value as empty text.
std::string FieldText(engine::FieldType type, const engine::Value& value);

// FieldText with the regional settings read once, for writing many values (an export).
class FieldTextWriter {
 public:
  FieldTextWriter();  // takes the process locale's settings now
  void Append(std::string& out, engine::FieldType type, const engine::Value& value) const;

 private:
  static void AppendTwoDigits(std::string& out, int n);
  void AppendDate(std::string& out, DateTime value) const;
  void AppendTime(std::string& out, DateTime value) const;
  void AppendFloat(std::string& out, double value) const;
  RegionalSettings regional_;
};
// The reverse: empty (or blank) text gives an empty value. Throws ConversionError for text the
// type cannot take.
engine::Value ParseFieldText(engine::FieldType type, std::string_view text);

// Sets a field of the record being inserted or edited from its text; empty text empties the field
// (an auto-numbered field is then left to the table).
void SetFieldFromText(RecordCursor& cursor, int field, std::string_view text);

// One exported line, without the line end.
std::string CsvLine(const RecordCursor& cursor, char separator);
void AppendCsvLine(std::string& out, const RecordCursor& cursor, char separator,
                   const FieldTextWriter& writer);
// The whole export of the cursor from its first record to its last ("" when it has no rows);
// the cursor ends on its first record.
std::string ExportCsvText(RecordCursor& cursor, char separator);
// Writes what ExportCsvText gives to `path`, replacing an existing file, in blocks as it goes.
// Throws std::runtime_error naming the file when it cannot be written. Returns the number of
// records written.
std::int64_t ExportCsvFile(RecordCursor& cursor, char separator, const std::string& path);

// Default export file names by table list entry (0 "Charge Accounts" ... 13 "SQL File"); none
// for Items (8) and Reports (9), whose export does nothing.
std::optional<std::string> CsvDefaultFileName(int list_entry);
// The same by table name ("Accounts", "WorkGrp", ...; case-insensitive); none for Items,
// Reports and unknown names.
std::optional<std::string> CsvDefaultFileNameOfTable(std::string_view table);

struct CsvImportOutcome {
  bool ok = false;
  std::int64_t records = 0;  // records posted (and committed when ok)
  int failed_line = 0;       // line number (from 1) that failed, 0 when ok
  std::string message;       // error + " at line: " + number + " " + line text
};

// Splits file text into lines at LF, CR LF or CR.
std::vector<std::string> SplitLines(std::string_view text);

// Appends one record per non-blank line to `cursor` (a table of `db`) inside one transaction
// over `tables` (the cursor's table, plus any table its rules write). A line with fewer values
// leaves the remaining fields empty; extra values are ignored. On the first error the pending
// record is cancelled, the transaction rolled back (no record of the file stays) and the
// outcome names the line; nothing is shown here. A cursor that cannot take new records (the
// result of an SQL file) gives "Cannot import into a Query" and nothing else happens.
CsvImportOutcome ImportCsvLines(engine::Database& db, const std::vector<std::string>& tables,
                                RecordCursor& cursor, const std::vector<std::string>& lines,
                                char separator);
// Reads `path` and imports it. A missing file gives the message path + " does not exist".
CsvImportOutcome ImportCsvFile(engine::Database& db, const std::vector<std::string>& tables,
                               RecordCursor& cursor, const std::string& path, char separator);

}  // namespace tikora::admin
