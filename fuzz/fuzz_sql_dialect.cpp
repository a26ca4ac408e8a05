// Fuzzes the SQL dialect translator: arbitrary text as a statement and as a table filter.
//
// Whatever the translator accepts must be SQL that SQLite prepares over the stored table layout
// and runs without misuse; whatever it refuses must be refused with EngineError(kErrSqlSyntax).
// Input: the first byte picks the filter options, the rest is the text.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../tests/engine/sql_test_schema.h"
#include "engine/errors.h"
#include "engine/sql_dialect.h"

namespace {

using tikora::engine::EngineError;
using tikora::engine::sqltest::Exec;
using tikora::engine::sqltest::OpenTestDatabase;
using tikora::engine::sqltest::SqliteDb;
using tikora::engine::sqltest::TestSchema;

constexpr int kMaxRows = 50;
constexpr int kMaxVmSteps = 200000;  // checked every 1000 instructions

const char* const kSeed = R"sql(
INSERT INTO TimeHist VALUES
  (1, 'alice', 'ACC1', 'DEV', '2024-01-08 00:00:00.000', '2024-01-08 07:30:00.000', 'x', 'CL1', 1, NULL, NULL, 1, NULL, 2),
  (2, 'bob', 'ACC2', NULL, '2024-01-09 13:00:00.000', NULL, NULL, NULL, NULL, '1', 0, NULL, 'I', NULL);
INSERT INTO Archive SELECT * FROM TimeHist;
INSERT INTO Accounts VALUES ('ACC1', 'First', 50.0, 'CL1', 1), ('ACC2', NULL, NULL, NULL, 0);
INSERT INTO Expenses VALUES (1, 'alice', 'ACC1', 'DEV', 'CL1', 'Taxi', NULL, 25.5, '2024-01-09');
INSERT INTO memTimeSheet VALUES (1, 'First', 'DEV', 1, 2, 3, 4, 5, 6, 7, 'CL1', '2024-01-07');
)sql";

struct Harness {
  TestSchema schema;
  SqliteDb db = OpenTestDatabase(schema);
  int vm_ticks = 0;

  Harness() {
    Exec(db.get(), kSeed);
    sqlite3_progress_handler(
        db.get(), 1000,
        [](void* self) -> int { return ++static_cast<Harness*>(self)->vm_ticks > kMaxVmSteps / 1000; }, this);
  }
};

Harness& TheHarness() {
  static Harness harness;
  return harness;
}

[[noreturn]] void Die(const char* what, const std::string& text, const std::string& sql, sqlite3* db) {
  std::fprintf(stderr, "%s\n  input: %s\n  sql:   %s\n  sqlite: %s\n", what, text.c_str(), sql.c_str(),
               sqlite3_errmsg(db));
  std::abort();
}

// Prepares and steps the SQL inside a transaction that is rolled back, so inputs do not change
// the tables for later ones. Returns the number of result columns.
int RunTranslated(Harness& h, const std::string& text, const std::string& sql, std::size_t parameters) {
  sqlite3* db = h.db.get();
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db);
    // Limits of SQLite itself are not translation faults: its parser stack takes about 30 levels
    // of nested parentheses, 15 of nested sub-selects.
    if (message.find("too large") != std::string::npos || message.find("too many") != std::string::npos ||
        message == "parser stack overflow")
      return -1;
    Die("translated SQL does not prepare", text, sql, db);
  }
  if (static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt)) > parameters)
    Die("more SQLite parameters than translated parameters", text, sql, db);
  for (int i = 1; i <= sqlite3_bind_parameter_count(stmt); ++i)
    sqlite3_bind_text(stmt, i, "2024-01-08 00:00:00.000", -1, SQLITE_STATIC);
  const int columns = sqlite3_column_count(stmt);
  Exec(db, "BEGIN");
  h.vm_ticks = 0;
  for (int row = 0; row < kMaxRows && sqlite3_step(stmt) == SQLITE_ROW; ++row) {
    for (int c = 0; c < columns; ++c) sqlite3_column_text(stmt, c);
  }
  const int rc = sqlite3_finalize(stmt);
  if (rc == SQLITE_MISUSE) Die("SQLite misuse", text, sql, db);
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);  // an interrupted write may have ended it
  return columns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  Harness& h = TheHarness();
  const std::uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  try {
    const tikora::engine::TranslatedSql t = tikora::engine::TranslateSql(text, h.schema);
    const int columns = RunTranslated(h, text, t.sql, t.parameters.size());
    if (t.kind == tikora::engine::SqlStatementKind::Select && columns >= 0 &&
        static_cast<std::size_t>(columns) != t.columns.size())
      Die("column list does not match the result", text, t.sql, h.db.get());
  } catch (const EngineError& e) {
    if (e.code() != tikora::engine::kErrSqlSyntax) std::abort();
  }

  try {
    const tikora::engine::FilterOptions filter_options{(options & 1) != 0, (options & 2) != 0};
    const tikora::engine::TranslatedFilter f =
        tikora::engine::TranslateFilter(text, (options & 4) ? "Expenses" : "TimeHist", h.schema, filter_options);
    if (!f.sql.empty()) {
      const std::string sql = std::string("SELECT * FROM ") + ((options & 4) ? "\"Expenses\"" : "\"TimeHist\"") +
                              " WHERE " + f.sql;
      RunTranslated(h, text, sql, 0);
    }
  } catch (const EngineError& e) {
    if (e.code() != tikora::engine::kErrSqlSyntax) std::abort();
  }
  return 0;
}
