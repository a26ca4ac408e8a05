#include "engine/query.h"

#include <algorithm>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/table_file.h"

namespace tikora::engine {
namespace {

// Reads a result column as the type the translator inferred for it; `typed` is set for the
// columns whose storage form needs converting (dates, times, booleans).
Value ReadColumn(const Stmt& s, int col, const std::optional<FieldDef>& typed) {
  if (s.IsNull(col)) return Value::Null();
  if (typed) return FromStorage(*typed, s, col);
  switch (s.Type(col)) {
    case SQLITE_INTEGER: return Value::Integer(s.Int(col));
    case SQLITE_FLOAT: return Value::Float(s.Double(col));
    default: return Value::Text(s.Text(col));
  }
}

}  // namespace

Query::Query(Database& db) : db_(db) {}
Query::~Query() { Close(); }

void Query::SetSql(std::string text) {
  Close();
  text_ = std::move(text);
  translated_.reset();
  params_.clear();
}

void Query::Translate() {
  if (translated_) return;
  translated_ = TranslateSql(text_, db_);
  params_.assign(translated_->parameters.size(), std::nullopt);
}

std::vector<std::string> Query::ParamNames() {
  Translate();
  std::vector<std::string> names;
  for (const auto& p : translated_->parameters) names.push_back(p.name);
  return names;
}

void Query::SetParam(const std::string& name, const Value& value) {
  Translate();
  for (std::size_t i = 0; i < translated_->parameters.size(); ++i) {
    if (SameName(translated_->parameters[i].name, name)) {
      params_[i] = value;
      return;
    }
  }
  throw EngineError(kErrFieldNotFound, fmt::format("Parameter '{}' not found", name));
}

void Query::Bind(Stmt& stmt) {
  for (std::size_t i = 0; i < params_.size(); ++i) {
    const Value v = params_[i].value_or(Value::Null());
    const auto& type = translated_->parameters[i].type;
    if (type && !v.IsNull()) {
      FieldDef f;
      f.type = *type;
      stmt.Bind(static_cast<int>(i) + 1, ToStorage(f, v));
    } else {
      stmt.Bind(static_cast<int>(i) + 1, v);
    }
  }
}

void Query::Open() {
  Close();
  Translate();
  if (translated_->kind != SqlStatementKind::Select)
    throw EngineError(kErrSqlExecution, "Only a SELECT statement returns a result set; use ExecSQL");
  std::vector<std::string> schemas;
  for (const auto& t : translated_->tables) schemas.push_back(db_.ResolveTable(t));
  std::vector<std::unique_ptr<AttachLease>> leases;
  for (const auto& s : schemas) leases.push_back(std::make_unique<AttachLease>(db_, s));

  const bool live = translated_->live_table.has_value();
  std::string sql = translated_->sql;
  if (live) {
    // One table, one row per table row: its rowid, added after the result columns so that column
    // numbers in ORDER BY keep their meaning, identifies the row to edit.
    sql.insert(translated_->live_columns_end, ", rowid AS tikora_rowid");
  }
  Stmt s(db_.handle(), sql);
  Bind(s);
  columns_ = translated_->columns;
  const int result_columns = s.ColumnCount() - (live ? 1 : 0);
  if (columns_.size() != static_cast<std::size_t>(result_columns)) {
    columns_.clear();
    for (int c = 0; c < result_columns; ++c)
      columns_.push_back({sqlite3_column_name(s.raw(), c), std::nullopt, std::nullopt, std::nullopt});
  }
  std::vector<std::optional<FieldDef>> typed(columns_.size());
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    const auto& type = columns_[c].type;
    if (type && (IsDateTimeType(*type) || *type == FieldType::Boolean)) {
      typed[c].emplace();
      typed[c]->type = *type;
    }
  }
  while (s.Step()) {
    std::vector<Value> row;
    row.reserve(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c)
      row.push_back(ReadColumn(s, static_cast<int>(c), typed[c]));
    rows_.push_back(std::move(row));
    if (live) rowids_.push_back(s.Int(result_columns));
  }
  active_ = true;
  pos_ = rows_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = rows_.empty();
}

Table* Query::LiveTable() {
  if (!Live()) return nullptr;
  if (!live_) {
    // Opening reads the order of the whole table: done once, when an edit or a rule needs it.
    auto table = std::make_unique<Table>(db_, *translated_->live_table);
    table->Open();
    live_ = std::move(table);
  }
  return live_.get();
}

std::int64_t Query::ExecSQL() {
  Close();
  Translate();
  std::vector<std::string> schemas;
  for (const auto& t : translated_->tables) schemas.push_back(db_.ResolveTable(t));
  const bool writes = translated_->kind != SqlStatementKind::Select;
  const bool own_transaction = writes && !db_.InTransaction();
  if (own_transaction) db_.StartTransaction(schemas);
  try {
    std::vector<std::unique_ptr<AttachLease>> leases;
    for (const auto& s : schemas) leases.push_back(std::make_unique<AttachLease>(db_, s));
    Stmt s(db_.handle(), translated_->sql);
    Bind(s);
    while (s.Step()) {
    }
    std::int64_t changed = writes ? sqlite3_changes(db_.handle()) : 0;
    leases.clear();
    if (own_transaction) db_.Commit();
    return changed;
  } catch (...) {
    if (own_transaction) db_.Rollback();
    throw;
  }
}

void Query::Close() {
  if (editing_ && live_) live_->Cancel();
  editing_ = false;
  live_.reset();
  active_ = false;
  columns_.clear();
  rows_.clear();
  rowids_.clear();
  pos_ = -1;
  bof_ = eof_ = true;
}

void Query::RequireOpen() const {
  if (!active_) throw EngineError(kErrTableClosed, "The query is not open");
}

int Query::FieldIndex(const std::string& name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (SameName(columns_[i].name, name)) return static_cast<int>(i);
  throw EngineError(kErrFieldNotFound, fmt::format("Field '{}' not found", name));
}

void Query::First() {
  RequireOpen();
  pos_ = rows_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = rows_.empty();
}

void Query::Last() {
  RequireOpen();
  pos_ = static_cast<std::int64_t>(rows_.size()) - 1;
  eof_ = true;
  bof_ = rows_.empty();
}

void Query::Next() { MoveBy(1); }
void Query::Prior() { MoveBy(-1); }

int Query::MoveBy(int distance) {
  RequireOpen();
  if (rows_.empty()) return 0;
  std::int64_t last = static_cast<std::int64_t>(rows_.size()) - 1;
  std::int64_t target = pos_ + distance;
  bof_ = eof_ = false;
  if (target < 0) {
    target = 0;
    bof_ = true;
  } else if (target > last) {
    target = last;
    eof_ = true;
  }
  int moved = static_cast<int>(target - pos_);
  pos_ = target;
  return moved;
}

Value Query::FieldValue(int index) const {
  RequireOpen();
  if (index < 0 || index >= FieldCount())
    throw EngineError(kErrFieldNotFound, fmt::format("Field number {} not found", index));
  if (editing_ && columns_[static_cast<std::size_t>(index)].field)
    return live_->FieldValue(*columns_[static_cast<std::size_t>(index)].field);
  if (pos_ < 0) return Value::Null();
  return rows_[static_cast<std::size_t>(pos_)][static_cast<std::size_t>(index)];
}

void Query::RequireLive(const char* what) {
  RequireOpen();
  if (!LiveTable())
    throw EngineError(kErrReadOnly, fmt::format("Cannot {}: the query result is read-only", what));
  if (pos_ < 0) throw EngineError(kErrNoCurrentRecord, "No current record");
}

// Moves the live table to the current result row; re-reads the table's order only when the row
// is not in it (added after the table object was opened).
void Query::PositionLive() {
  const Bookmark row = rowids_[static_cast<std::size_t>(pos_)];
  if (!live_->BookmarkValid(row)) live_->Refresh();
  live_->GotoBookmark(row);
}

void Query::Edit() {
  RequireLive("modify");
  if (editing_) return;
  PositionLive();
  live_->Edit();
  editing_ = true;
}

void Query::SetFieldValue(const std::string& name, const Value& v) {
  RequireLive("modify");
  if (!editing_) throw EngineError(kErrNotEditing, "The query is not in edit mode");
  const SqlColumn& c = columns_[static_cast<std::size_t>(FieldIndex(name))];
  if (!c.field) throw EngineError(kErrReadOnly, fmt::format("Field '{}' cannot be modified", name));
  live_->SetFieldValue(*c.field, v);
}

void Query::RereadCurrentRow() {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].field) rows_[static_cast<std::size_t>(pos_)][i] = live_->FieldValue(*columns_[i].field);
}

void Query::Post() {
  RequireLive("modify");
  if (!editing_) return;
  live_->Post();
  editing_ = false;
  RereadCurrentRow();
}

void Query::Cancel() {
  if (editing_ && live_) live_->Cancel();
  editing_ = false;
}

void Query::Delete() {
  RequireLive("delete");
  Cancel();
  PositionLive();
  live_->Delete();
  rows_.erase(rows_.begin() + pos_);
  rowids_.erase(rowids_.begin() + pos_);
  if (rows_.empty()) {
    pos_ = -1;
    bof_ = eof_ = true;
  } else {
    pos_ = std::min<std::int64_t>(pos_, static_cast<std::int64_t>(rows_.size()) - 1);
  }
}

}  // namespace tikora::engine
