#include "engine/sqlite_util.h"

#include <fmt/format.h>

namespace tikora::engine {

int EngineCodeFor(int sqlite_code) {
  switch (sqlite_code & 0xff) {
    case SQLITE_CORRUPT: return kErrCorruptData;
    case SQLITE_NOTADB: return kErrCorruptHeader;
    case SQLITE_IOERR: return kErrReadWrite;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kErrRecordLocked;
    case SQLITE_CANTOPEN: return kErrFileNotFound;
    case SQLITE_CONSTRAINT:
      return sqlite_code == SQLITE_CONSTRAINT_NOTNULL ? kErrRequiredField : kErrKeyViolation;
    case SQLITE_READONLY: return kErrReadOnly;
    case SQLITE_MISMATCH: return kErrValueOutOfRange;  // also a value refused by tikora_stored
    default: return kErrSqlExecution;
  }
}

void ThrowSqlite(sqlite3* db, int rc, std::string_view what) {
  const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  int code = EngineCodeFor(db ? sqlite3_extended_errcode(db) : rc);
  std::string text;
  switch (code) {
    case kErrRecordLocked: text = "Table locked: the data is in use by another user"; break;
    case kErrKeyViolation: text = "Key violation"; break;
    case kErrRequiredField: text = "A required field has no value"; break;
    default: text = msg; break;
  }
  throw EngineError(code, what.empty() ? text : fmt::format("{}: {}", what, text));
}

void Exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    sqlite3_free(err);
    ThrowSqlite(db, rc, "");
  }
}

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + '\'';
}

Stmt::Stmt(sqlite3* db, const std::string& sql) : db_(db), sql_(sql) {
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) ThrowSqlite(db, rc, "");
}

Stmt::~Stmt() { sqlite3_finalize(stmt_); }

bool Stmt::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  ThrowSqlite(db_, rc, "");
}

void Stmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Stmt& Stmt::Bind(int index, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null: return BindNull(index);
    case Value::Kind::Text: return BindText(index, v.AsText());
    case Value::Kind::Integer:
    case Value::Kind::Boolean: return BindInt(index, v.AsInteger());
    case Value::Kind::Float: return BindDouble(index, v.AsFloat());
    case Value::Kind::DateTime: return BindText(index, v.AsText());
  }
  return *this;
}

Stmt& Stmt::BindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}
Stmt& Stmt::BindText(int index, std::string_view s) {
  sqlite3_bind_text(stmt_, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  return *this;
}
Stmt& Stmt::BindInt(int index, std::int64_t v) {
  sqlite3_bind_int64(stmt_, index, v);
  return *this;
}
Stmt& Stmt::BindDouble(int index, double v) {
  sqlite3_bind_double(stmt_, index, v);
  return *this;
}

std::string Stmt::Text(int col) const {
  const unsigned char* p = sqlite3_column_text(stmt_, col);
  int n = sqlite3_column_bytes(stmt_, col);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace tikora::engine
