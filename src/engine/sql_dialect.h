// Translation of the engine's SQL dialect to SQLite SQL.
//
// Statements and table filters are written in the system's own dialect: [Bracketed Names],
// "double-quoted" string values, TRUE/FALSE, x = NULL for IS NULL, timestamp - timestamp in
// milliseconds, date and time texts that take the type of the field they are compared with,
// CAST(x AS TIME|DATE|TIMESTAMP), CURRENT_DATE/TIME/TIMESTAMP in local time, ORDER BY x DESC NOCASE,
// named parameters :Name. The translator resolves every table and field name against the
// schema, infers types, and writes SQLite SQL over the storage layout of field_types.h:
//   - each table is one SQLite table of the same name, reachable unqualified (attached files, or
//     the temp schema for in-memory tables); columns are named exactly as the fields;
//   - dates, times and timestamps are TEXT in 'YYYY-MM-DD', 'HH:MM:SS.mmm' and
//     'YYYY-MM-DD HH:MM:SS.mmm'; booleans are INTEGER 0/1; an empty value is NULL.
// A date or time literal compared with such a field is rewritten to the field's storage form, so
// the comparison stays a plain text comparison an index can serve.
//
// Every value an INSERT or UPDATE assigns to a field (other than a blob) is written as
// tikora_stored(value, 'type', size, 'field'), which stores it by the table objects' rules (texts
// cut to the field size, currency rounded, ranges checked); the connection that runs the SQL
// provides that function (RegisterStoredValueFunction in table_file.h).
//
// Anything that cannot be translated throws EngineError(kErrSqlSyntax) with a message naming the
// 1-based character position, e.g. `Syntax error at position 10 near "FORM"`,
// `Unknown field "Strat Time" at position 8`.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"

namespace tikora::engine {

// The SQL function through which statements store assigned values (see above).
inline constexpr const char* kStoredValueFunction = "tikora_stored";

enum class SqlStatementKind { Select, Insert, Update, Delete };

struct SqlParameter {
  std::string name;                // as first written, without the colon
  std::optional<FieldType> type;   // the type of the field it is compared with or assigned to
};

struct SqlColumn {
  std::string name;                // the result column's name as the user sees it
  std::optional<FieldType> type;   // inferred type; nullopt when unknown (e.g. a bare parameter)
  std::optional<std::string> table;  // set when the column is a plain field: its canonical table
  std::optional<std::string> field;  // ... and canonical field name
};

struct TranslatedSql {
  std::string sql;                        // SQLite SQL; parameters as ?1, ?2, ...
  std::vector<SqlParameter> parameters;   // parameters[i] is ?(i + 1); a name used twice is one
  std::vector<std::string> tables;        // canonical names of every table referenced
  SqlStatementKind kind = SqlStatementKind::Select;
  // Set only for a SELECT from one table whose result rows are that table's rows one to one (no
  // join, aggregate, GROUP BY, DISTINCT or UNION): the result may be edited through the table.
  std::optional<std::string> live_table;
  // With live_table: the byte offset in `sql` just after the last result column, where a caller
  // may add columns of its own without moving the result columns (ORDER BY 1 stays the first).
  std::size_t live_columns_end = 0;
  std::vector<SqlColumn> columns;         // SELECT only, in result order
};

// Translates one statement (SELECT, INSERT, UPDATE or DELETE; a trailing ";" is allowed).
TranslatedSql TranslateSql(std::string_view text, const SchemaLookup& schema);

struct FilterOptions {
  bool case_insensitive = false;    // text comparisons ignore letter case
  bool no_partial_compare = false;  // a text ending in "*" is compared as it stands
};

struct TranslatedFilter {
  std::string sql;  // a SQLite boolean expression over the table's unqualified columns; empty
                    // when the filter text is empty
};

// Translates a table filter: one expression over the fields of `table` (no parameters, no
// sub-selects). Unless options.no_partial_compare is set, `Field = 'ab*'` matches every value that
// begins with "ab" (and `<>` every other one).
TranslatedFilter TranslateFilter(std::string_view filter, std::string_view table,
                                 const SchemaLookup& schema, FilterOptions options = {});

}  // namespace tikora::engine
