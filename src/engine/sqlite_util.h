// Thin RAII helpers over the SQLite C API, internal to the engine.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "engine/errors.h"
#include "engine/value.h"

namespace tikora::engine {

// Maps a SQLite result code to the engine's error code: damage, busy (locked), I/O.
int EngineCodeFor(int sqlite_code);
// Throws the EngineError for a failed SQLite call on `db`, prefixing `what`.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, std::string_view what);

// Executes SQL that returns no rows; throws on failure.
void Exec(sqlite3* db, const std::string& sql);

// Double-quotes an SQL identifier ("User ID" -> "\"User ID\"").
std::string QuoteIdent(std::string_view name);
// Single-quotes an SQL text literal, doubling inner quotes.
std::string QuoteText(std::string_view text);

// A prepared statement, finalized on destruction. Never kept across engine calls by cursors.
class Stmt {
 public:
  Stmt(sqlite3* db, const std::string& sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  // Returns true while a row is available, false at the end; throws on errors.
  bool Step();
  void Reset();
  Stmt& Bind(int index, const Value& v);  // raw: text, integer, float, boolean as 0/1
  Stmt& BindNull(int index);
  Stmt& BindText(int index, std::string_view s);
  Stmt& BindInt(int index, std::int64_t v);
  Stmt& BindDouble(int index, double v);

  int ColumnCount() const { return sqlite3_column_count(stmt_); }
  bool IsNull(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
  double Double(int col) const { return sqlite3_column_double(stmt_, col); }
  std::string Text(int col) const;
  int Type(int col) const { return sqlite3_column_type(stmt_, col); }
  sqlite3_stmt* raw() const { return stmt_; }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::string sql_;
};

}  // namespace tikora::engine
