// SQL queries in the system's dialect: text, named parameters, a result set with random access,
// or the number of rows a statement changed.
//
// Open() runs a SELECT and keeps the whole result in memory, so the query holds no SQLite
// statement between calls. A SELECT from one table whose rows are that table's rows (no join,
// aggregate, GROUP BY or DISTINCT) is live: Edit/SetFieldValue/Post/Delete write through a table
// object of that table (LiveTable()), with its rules and events. Any other result is read-only
// and says so when edited. The table object is opened when first needed (LiveTable(), the first
// edit), so reading a live result costs no more than reading a read-only one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/database.h"
#include "engine/sql_dialect.h"
#include "engine/table.h"
#include "engine/value.h"

namespace tikora::engine {

class Query {
 public:
  explicit Query(Database& db);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  // The statement text; setting it closes the query and forgets earlier parameter values.
  void SetSql(std::string text);
  const std::string& Sql() const { return text_; }
  // Parameter names of the statement (translating it if needed), as first written.
  std::vector<std::string> ParamNames();
  // A value for ":name" (case-insensitive). Unknown names throw kErrFieldNotFound.
  void SetParam(const std::string& name, const Value& value);

  void Open();                 // runs a SELECT
  std::int64_t ExecSQL();      // runs any statement; returns the rows it changed
  void Close();
  bool Active() const { return active_; }

  // ---- Result set
  int FieldCount() const { return static_cast<int>(columns_.size()); }
  const std::string& FieldName(int index) const { return columns_.at(static_cast<std::size_t>(index)).name; }
  std::optional<FieldType> FieldTypeOf(int index) const { return columns_.at(static_cast<std::size_t>(index)).type; }
  int FieldIndex(const std::string& name) const;  // throws kErrFieldNotFound
  std::int64_t RecordCount() const { return static_cast<std::int64_t>(rows_.size()); }
  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  std::int64_t RecNo() const { return pos_ + 1; }
  Value FieldValue(int index) const;
  Value FieldValue(const std::string& name) const { return FieldValue(FieldIndex(name)); }

  // ---- Editing a live result
  bool Live() const { return active_ && translated_ && translated_->live_table.has_value(); }
  Table* LiveTable();  // for events and rules; opened on first use; null when read-only
  void Edit();
  void SetFieldValue(const std::string& name, const Value& v);
  void Post();
  void Cancel();
  void Delete();

 private:
  void Translate();
  void RequireOpen() const;
  void RequireLive(const char* what);
  void PositionLive();
  void Bind(Stmt& stmt);
  void RereadCurrentRow();

  Database& db_;
  std::string text_;
  std::optional<TranslatedSql> translated_;
  std::vector<std::optional<Value>> params_;
  bool active_ = false;
  std::vector<SqlColumn> columns_;
  std::vector<std::vector<Value>> rows_;
  std::vector<std::int64_t> rowids_;  // live results: the table row of each result row
  std::int64_t pos_ = -1;
  bool bof_ = true, eof_ = true;
  std::unique_ptr<Table> live_;
  bool editing_ = false;
};

}  // namespace tikora::engine
