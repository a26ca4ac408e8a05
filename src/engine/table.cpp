#include "engine/table.h"

#include <sqlite3.h>

#include <algorithm>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/maintenance.h"
#include "engine/table_file.h"

namespace tikora::engine {
namespace {

constexpr std::int64_t kWindowBefore = 16;
constexpr std::int64_t kWindowAfter = 48;

}  // namespace

Table::Table(Database& db, std::string table_name) : db_(db), table_name_(std::move(table_name)) {}

Table::~Table() {
  try {
    Close();
  } catch (...) {
  }
}

const TableDef& Table::Definition() const {
  if (!def_) throw EngineError(kErrTableClosed, fmt::format("Table '{}' is not open", table_name_));
  return *def_;
}

void Table::RequireActive() const {
  if (!Active()) throw EngineError(kErrTableClosed, fmt::format("Table '{}' is not open", table_name_));
}

void Table::RequireBrowse(const char* what) const {
  RequireActive();
  if (state_ != TableState::Browse)
    throw EngineError(kErrNotEditing, fmt::format("Cannot {} while the record is being edited", what));
}

// ---- Opening ----------------------------------------------------------------------------------

void Table::Open(OpenMode mode) {
  if (Active()) return;
  std::string schema = db_.ResolveTable(table_name_);
  TableLock lock = (mode == OpenMode::Exclusive) ? db_.LockExclusive(schema) : db_.LockShared(schema);
  AttachLease lease(db_, schema);  // attached once for the whole opening
  if (schema == kTempSchema) {
    const TableDef* t = db_.TempDefinition(table_name_);
    temp_def_copy_ = *t;
    def_ = &temp_def_copy_;
  } else {
    // Copy: the database's cache may be refreshed by a restructure while we are open.
    temp_def_copy_ = db_.Definition(schema);
    def_ = &temp_def_copy_;
  }
  schema_ = schema;
  mode_ = mode;
  lock_ = std::move(lock);
  if (index_fields_.empty()) SetIndexName(index_name_);  // not yet active: no refresh
  state_ = TableState::Browse;
  try {
    // The filter may name other tables, which may have to be attached: before the transaction.
    if (filter_from_text_) filter_sql_ = FilterSqlFromText();
    // The order and the first rows in one read transaction (one lock and one check of the file).
    ReadTransaction read(db_);
    LoadOrder();
    Reposition(std::nullopt, 0);
  } catch (...) {
    state_ = TableState::Inactive;
    lock_ = TableLock();
    def_ = nullptr;
    throw;
  }
}

void Table::Close() {
  if (!Active()) return;
  if (state_ != TableState::Browse) Cancel();
  state_ = TableState::Inactive;
  rowids_.clear();
  order_stamp_.reset();
  positions_.clear();
  positions_valid_ = false;
  window_.clear();
  pos_ = -1;
  bof_ = eof_ = true;
  def_ = nullptr;
  lock_ = TableLock();
}

// ---- Order and filter -------------------------------------------------------------------------

void Table::SetIndexName(const std::string& index) {
  index_name_ = index;
  if (!def_) {
    index_fields_.clear();
    return;
  }
  const IndexDef* ix = def_->FindIndex(index);
  if (!ix) {
    if (index.empty()) {  // no primary index: natural order
      index_fields_.clear();
      index_case_insensitive_ = index_descending_ = false;
    } else {
      throw EngineError(kErrIndexNotFound,
                        fmt::format("Index '{}' not found in table '{}'", index, table_name_));
    }
  } else {
    index_fields_ = ix->fields;
    index_case_insensitive_ = ix->case_insensitive;
    index_descending_ = ix->descending;
  }
  order_stamp_.reset();  // another order: the view must be read again
  if (Active()) Refresh();
}

void Table::SetIndexFieldNames(const std::string& fields) {
  RequireActive();
  std::vector<std::string> names = SplitFieldList(fields);
  index_name_.clear();
  index_fields_.clear();
  for (const auto& n : names) index_fields_.push_back(def_->fields[FieldIndex(n)].name);
  // An index on exactly these fields gives its options; otherwise the order is case-sensitive.
  index_case_insensitive_ = index_descending_ = false;
  for (const auto& ix : def_->indexes) {
    if (ix.fields.size() == index_fields_.size() &&
        std::equal(ix.fields.begin(), ix.fields.end(), index_fields_.begin(),
                   [](const auto& a, const auto& b) { return SameName(a, b); })) {
      index_case_insensitive_ = ix.case_insensitive;
      index_descending_ = ix.descending;
      break;
    }
  }
  order_stamp_.reset();
  Refresh();
}

void Table::SetFilterSql(const std::string& where_sql) {
  filter_from_text_ = false;
  UseFilterSql(where_sql);
}

void Table::UseFilterSql(const std::string& where_sql) {
  filter_sql_ = where_sql;
  if (Active()) {
    if (state_ != TableState::Browse) Cancel();
    std::optional<Bookmark> keep;
    if (pos_ >= 0) keep = rowids_[static_cast<std::size_t>(pos_)];
    LoadOrder();
    Reposition(keep, 0);
  }
}

void Table::SetFilter(const std::string& filter_text) {
  std::string before = filter_text_;
  filter_text_ = filter_text;
  try {
    ApplyFilterText();
  } catch (...) {
    filter_text_ = before;
    throw;
  }
}

void Table::SetFiltered(bool on) {
  filtered_ = on;
  ApplyFilterText();
}

void Table::SetFilterOptions(FilterOptions options) {
  filter_options_ = options;
  ApplyFilterText();
}

// The filter text, the switch and the options decide the filter from now on, also when they
// change while the table is closed (an emptied filter or a cleared switch must not leave the
// previous condition in force at the next Open).
void Table::ApplyFilterText() {
  filter_from_text_ = true;
  if (!Active()) return;  // Open applies it
  std::string sql = FilterSqlFromText();
  if (sql != filter_sql_) UseFilterSql(sql);
}

std::string Table::FilterSqlFromText() const {
  if (!filtered_ || filter_text_.empty()) return {};
  return TranslateFilter(filter_text_, def_->name, db_, filter_options_).sql;
}

std::string Table::OrderBySql() const {
  std::string order;
  for (const auto& f : index_fields_) {
    order += QuoteIdent(f);
    if (index_case_insensitive_) order += " COLLATE NOCASE";
    if (index_descending_) order += " DESC";
    order += ", ";
  }
  return order + "rowid";
}

void Table::LoadOrder() {
  AttachLease lease(db_, schema_);
  // The stamp and the order come from one read transaction, so the stamp describes this order.
  ReadTransaction read(db_);
  const Database::DataStamp stamp = db_.CurrentDataStamp(schema_);
  std::string sql = fmt::format("SELECT rowid FROM {}.{}", QuoteIdent(schema_), QuoteIdent(def_->name));
  if (!filter_sql_.empty()) sql += " WHERE " + filter_sql_;
  sql += " ORDER BY " + OrderBySql();
  Stmt s(db_.handle(), sql);
  std::vector<Bookmark> ids;
  ids.reserve(rowids_.size());
  while (s.Step()) ids.push_back(s.Int(0));
  rowids_ = std::move(ids);
  order_stamp_ = stamp;
  positions_valid_ = false;
  order_stale_ = false;
  window_.clear();
}

std::int64_t Table::PositionOf(Bookmark rowid) {
  if (!positions_valid_) {
    positions_.clear();
    for (std::size_t i = 0; i < rowids_.size(); ++i) positions_[rowids_[i]] = static_cast<std::int64_t>(i);
    positions_valid_ = true;
  }
  auto it = positions_.find(rowid);
  return it == positions_.end() ? -1 : it->second;
}

void Table::Reposition(std::optional<Bookmark> keep, std::int64_t fallback_pos) {
  std::int64_t p = keep ? PositionOf(*keep) : -1;
  if (p < 0) p = std::clamp<std::int64_t>(fallback_pos, 0, static_cast<std::int64_t>(rowids_.size()) - 1);
  SetPos(rowids_.empty() ? -1 : p);
  bof_ = eof_ = rowids_.empty();
}

void Table::SetPos(std::int64_t pos) {
  pos_ = pos;
  if (pos_ >= 0 && window_.find(pos_) == window_.end()) FetchWindow(pos_);
}

void Table::EnsureOrderFresh() {
  if (!order_stale_) return;
  std::optional<Bookmark> keep;
  if (pos_ >= 0) keep = rowids_[static_cast<std::size_t>(pos_)];
  LoadOrder();
  Reposition(keep, pos_);
}

// ---- Rows ---------------------------------------------------------------------------------------

std::string Table::SelectColumns() const {
  std::string cols = "rowid";
  for (const auto& f : def_->fields) cols += ", " + QuoteIdent(f.name);
  return cols;
}

Table::Row Table::FetchRow(Bookmark rowid) const {
  AttachLease lease(db_, schema_);
  Stmt& s = db_.Prepare(fmt::format("SELECT {} FROM {}.{} WHERE rowid = ?", SelectColumns(),
                                    QuoteIdent(schema_), QuoteIdent(def_->name)));
  s.BindInt(1, rowid);
  Row row;
  if (s.Step()) {
    row.exists = true;
    for (std::size_t i = 0; i < def_->fields.size(); ++i)
      row.values.push_back(FromStorage(def_->fields[i], s, static_cast<int>(i) + 1));
  } else {
    row.values.resize(def_->fields.size());
  }
  s.Reset();
  return row;
}

void Table::FetchWindow(std::int64_t pos) const {
  if (window_.size() > 4096) window_.clear();
  std::int64_t from = std::max<std::int64_t>(0, pos - kWindowBefore);
  std::int64_t to = std::min<std::int64_t>(static_cast<std::int64_t>(rowids_.size()), pos + kWindowAfter);
  std::string ids;
  std::map<Bookmark, std::int64_t> want;
  for (std::int64_t p = from; p < to; ++p) {
    if (window_.count(p)) continue;
    Bookmark id = rowids_[static_cast<std::size_t>(p)];
    want[id] = p;
    ids += (ids.empty() ? "" : ",") + std::to_string(id);
  }
  if (want.empty()) return;
  AttachLease lease(db_, schema_);
  Stmt s(db_.handle(), fmt::format("SELECT {} FROM {}.{} WHERE rowid IN ({})", SelectColumns(),
                                   QuoteIdent(schema_), QuoteIdent(def_->name), ids));
  while (s.Step()) {
    Row row;
    row.exists = true;
    for (std::size_t i = 0; i < def_->fields.size(); ++i)
      row.values.push_back(FromStorage(def_->fields[i], s, static_cast<int>(i) + 1));
    auto it = want.find(s.Int(0));
    if (it != want.end()) {
      window_[it->second] = std::move(row);
      want.erase(it);
    }
  }
  for (const auto& [id, p] : want) {  // deleted by someone else since the order was read
    Row gone;
    gone.values.resize(def_->fields.size());
    window_[p] = std::move(gone);
  }
}

const Table::Row& Table::CurrentRow() const {
  static const Row kEmpty;
  if (pos_ < 0) return kEmpty;
  auto it = window_.find(pos_);
  if (it == window_.end()) {
    FetchWindow(pos_);
    it = window_.find(pos_);
  }
  return it->second;
}

// ---- Navigation -----------------------------------------------------------------------------

void Table::First() {
  RequireBrowse("move");
  EnsureOrderFresh();
  SetPos(rowids_.empty() ? -1 : 0);
  bof_ = true;
  eof_ = rowids_.empty();
}

void Table::Last() {
  RequireBrowse("move");
  EnsureOrderFresh();
  SetPos(static_cast<std::int64_t>(rowids_.size()) - 1);
  eof_ = true;
  bof_ = rowids_.empty();
}

void Table::Next() { MoveBy(1); }
void Table::Prior() { MoveBy(-1); }

int Table::MoveBy(int distance) {
  RequireBrowse("move");
  EnsureOrderFresh();
  if (rowids_.empty()) {
    bof_ = eof_ = true;
    return 0;
  }
  std::int64_t last = static_cast<std::int64_t>(rowids_.size()) - 1;
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
  SetPos(target);
  return moved;
}

std::int64_t Table::RecordCount() {
  RequireActive();
  return static_cast<std::int64_t>(rowids_.size());
}

Bookmark Table::GetBookmark() const {
  RequireActive();
  if (pos_ < 0) throw EngineError(kErrNoCurrentRecord, "No current record");
  return rowids_[static_cast<std::size_t>(pos_)];
}

bool Table::BookmarkValid(Bookmark b) {
  RequireActive();
  return PositionOf(b) >= 0;
}

void Table::GotoBookmark(Bookmark b) {
  RequireBrowse("move");
  EnsureOrderFresh();
  std::int64_t p = PositionOf(b);
  if (p < 0) throw EngineError(kErrNoCurrentRecord, "The bookmarked record is no longer available");
  SetPos(p);
  bof_ = eof_ = false;
}

bool Table::OrderStillCurrent() {
  if (!order_stamp_ || order_stale_) return false;
  AttachLease lease(db_, schema_);
  return db_.CurrentDataStamp(schema_) == *order_stamp_;
}

void Table::Refresh() {
  RequireActive();
  if (state_ != TableState::Browse) Cancel();
  if (OrderStillCurrent()) return;
  std::optional<Bookmark> keep;
  if (pos_ >= 0) keep = rowids_[static_cast<std::size_t>(pos_)];
  LoadOrder();
  Reposition(keep, pos_);
}

// ---- Fields --------------------------------------------------------------------------------

int Table::FieldIndex(const std::string& field) const {
  int i = Definition().FieldIndex(field);
  if (i < 0)
    throw EngineError(kErrFieldNotFound,
                      fmt::format("Field '{}' not found in table '{}'", field, table_name_));
  return i;
}

Value Table::FieldValue(const std::string& field) const { return FieldValue(FieldIndex(field)); }

Value Table::FieldValue(int index) const {
  RequireActive();
  if (index < 0 || index >= FieldCount())
    throw EngineError(kErrFieldNotFound, fmt::format("Field number {} not found", index));
  if (state_ == TableState::Edit || state_ == TableState::Insert)
    return buffer_[static_cast<std::size_t>(index)];
  const Row& row = CurrentRow();
  return row.values.empty() ? Value() : row.values[static_cast<std::size_t>(index)];
}

void Table::SetFieldValue(const std::string& field, const Value& v) {
  SetFieldValue(FieldIndex(field), v);
}

void Table::SetFieldValue(int index, const Value& v) {
  RequireActive();
  if (state_ != TableState::Edit && state_ != TableState::Insert)
    throw EngineError(kErrNotEditing, fmt::format("Table '{}' is not in edit or insert mode", table_name_));
  const FieldDef& f = def_->fields[static_cast<std::size_t>(index)];
  if (f.type == FieldType::AutoInc && state_ == TableState::Edit)
    throw EngineError(kErrReadOnly, fmt::format("Field '{}' cannot be modified", f.name));
  // Store the value as the field will hold it, so readers see what Post writes.
  Value stored = ToStorage(f, v);
  Value typed = stored;
  if (!stored.IsNull()) {
    if (IsDateTimeType(f.type)) typed = Value::Date(stored.AsDateTime());
    else if (f.type == FieldType::Boolean) typed = Value::Boolean(stored.AsInteger() != 0);
  }
  Value& slot = buffer_[static_cast<std::size_t>(index)];
  if (OnFieldChange && !OnFieldChange(*this, f, slot, typed))
    throw EngineError(kErrVetoed, fmt::format("The change of field '{}' was refused", f.name));
  slot = typed;
  modified_ = true;
}

// ---- Editing -------------------------------------------------------------------------------

template <typename F>
void Table::WithEditErrors(EditOperation op, F&& body) {
  for (;;) {
    try {
      body();
      return;
    } catch (const EngineError& e) {
      if (!OnEditError || e.code() == kErrVetoed) throw;
      switch (OnEditError(*this, e, op)) {
        case EditErrorAction::Fail: throw;
        case EditErrorAction::Abort: throw EngineError(kErrAborted, "Operation aborted");
        case EditErrorAction::Retry: break;
        case EditErrorAction::RefreshRetry:
          if (op != EditOperation::Delete && state_ == TableState::Edit && pos_ >= 0) {
            Row fresh = FetchRow(rowids_[static_cast<std::size_t>(pos_)]);
            if (!fresh.exists) throw;
            // Keep the user's pending changes over the fresh values.
            std::vector<Value> merged = fresh.values;
            for (std::size_t i = 0; i < merged.size(); ++i)
              if (!(buffer_[i] == original_[i])) merged[i] = buffer_[i];
            original_ = fresh.values;
            buffer_ = merged;
          }
          break;
      }
    }
  }
}

template <typename F>
void Table::Write(F&& body) {
  if (db_.InTransaction()) {
    if (schema_ != kTempSchema && !db_.TransactionCovers(schema_))
      throw EngineError(kErrTransaction,
                        fmt::format("Table '{}' is not part of the current transaction", table_name_));
    AttachLease lease(db_, schema_);
    body();
    return;
  }
  if (schema_ == kTempSchema) {
    body();
    return;
  }
  db_.StartTransaction({schema_});
  try {
    AttachLease lease(db_, schema_);
    body();
    db_.Commit();
  } catch (...) {
    db_.Rollback();
    throw;
  }
}

void Table::Append() { Insert(); }

void Table::Insert() {
  RequireBrowse("insert");
  if (ReadOnly()) throw EngineError(kErrReadOnly, fmt::format("Table '{}' is read-only", table_name_));
  if (BeforeInsert) BeforeInsert(*this);
  buffer_.assign(def_->fields.size(), Value());
  for (std::size_t i = 0; i < def_->fields.size(); ++i) {
    Value d = DefaultValue(def_->fields[i]);
    if (!d.IsNull()) {
      Value stored = ToStorage(def_->fields[i], d);
      buffer_[i] = IsDateTimeType(def_->fields[i].type) ? Value::Date(stored.AsDateTime())
                   : def_->fields[i].type == FieldType::Boolean ? Value::Boolean(stored.AsInteger() != 0)
                                                                : stored;
    }
  }
  original_.clear();
  modified_ = false;
  state_ = TableState::Insert;
  if (AfterInsert) AfterInsert(*this);
}

void Table::Edit() {
  RequireActive();
  if (state_ == TableState::Edit || state_ == TableState::Insert) return;
  if (ReadOnly()) throw EngineError(kErrReadOnly, fmt::format("Table '{}' is read-only", table_name_));
  if (pos_ < 0) throw EngineError(kErrNoCurrentRecord, "No current record to edit");
  if (BeforeEdit) BeforeEdit(*this);
  WithEditErrors(EditOperation::Edit, [&] {
    Row fresh = FetchRow(rowids_[static_cast<std::size_t>(pos_)]);
    if (!fresh.exists)
      throw EngineError(kErrRecordDeleted, "Record has been deleted by another user");
    window_[pos_] = fresh;
    original_ = fresh.values;
    buffer_ = fresh.values;
  });
  modified_ = false;
  state_ = TableState::Edit;
  if (AfterEdit) AfterEdit(*this);
}

void Table::Post() {
  RequireActive();
  if (state_ != TableState::Edit && state_ != TableState::Insert)
    throw EngineError(kErrNotEditing, fmt::format("Table '{}' is not in edit or insert mode", table_name_));
  if (BeforePost) BeforePost(*this);
  for (std::size_t i = 0; i < def_->fields.size(); ++i) {
    const FieldDef& f = def_->fields[i];
    if (f.required && f.type != FieldType::AutoInc && buffer_[i].IsNull())
      throw EngineError(kErrRequiredField, fmt::format("Field '{}' must have a value", f.name));
  }
  WithEditErrors(EditOperation::Post, [&] { DoPost(); });
  state_ = TableState::Browse;
  modified_ = false;
  if (AfterPost) AfterPost(*this);
}

void Table::DoPost() {
  const std::string target = QuoteIdent(schema_) + "." + QuoteIdent(def_->name);
  if (state_ == TableState::Insert) {
    std::string cols, marks;
    std::vector<Value> args;
    for (std::size_t i = 0; i < def_->fields.size(); ++i) {
      if (buffer_[i].IsNull()) continue;
      cols += (cols.empty() ? "" : ", ") + QuoteIdent(def_->fields[i].name);
      marks += marks.empty() ? "?" : ", ?";
      args.push_back(ToStorage(def_->fields[i], buffer_[i]));
    }
    std::string sql = cols.empty() ? fmt::format("INSERT INTO {} DEFAULT VALUES", target)
                                   : fmt::format("INSERT INTO {} ({}) VALUES ({})", target, cols, marks);
    Bookmark id = 0;
    Write([&] {
      Stmt& s = db_.Prepare(sql);
      for (std::size_t i = 0; i < args.size(); ++i) s.Bind(static_cast<int>(i) + 1, args[i]);
      s.Step();
      s.Reset();
      id = sqlite3_last_insert_rowid(db_.handle());
    });
    // The new row keeps the end position until the next navigation re-reads the order.
    rowids_.push_back(id);
    positions_valid_ = false;
    order_stale_ = true;
    pos_ = static_cast<std::int64_t>(rowids_.size()) - 1;
    Row row{true, {}};
    for (std::size_t i = 0; i < def_->fields.size(); ++i) {
      if (def_->fields[i].type == FieldType::AutoInc) buffer_[i] = Value::Integer(id);
      row.values.push_back(buffer_[i]);
    }
    window_[pos_] = std::move(row);
    bof_ = eof_ = false;
    return;
  }
  // Edit: write the changed fields where the row still holds what was read at Edit.
  std::string sets, where;
  std::vector<Value> set_args, where_args;
  for (std::size_t i = 0; i < def_->fields.size(); ++i) {
    const std::string col = QuoteIdent(def_->fields[i].name);
    Value orig = ToStorage(def_->fields[i], original_[i]);
    where += " AND " + col + " IS ?";
    where_args.push_back(orig);
    if (!(buffer_[i] == original_[i])) {
      sets += (sets.empty() ? "" : ", ") + col + " = ?";
      set_args.push_back(ToStorage(def_->fields[i], buffer_[i]));
    }
  }
  Bookmark id = rowids_[static_cast<std::size_t>(pos_)];
  if (sets.empty()) return;
  bool still_in_view = true;
  Write([&] {
    Stmt& s = db_.Prepare(fmt::format("UPDATE {} SET {} WHERE rowid = ?{}", target, sets, where));
    int n = 1;
    for (const auto& a : set_args) s.Bind(n++, a);
    s.BindInt(n++, id);
    for (const auto& a : where_args) s.Bind(n++, a);
    s.Step();
    s.Reset();
    if (sqlite3_changes(db_.handle()) == 0) {
      Stmt& exists = db_.Prepare(fmt::format("SELECT 1 FROM {} WHERE rowid = ?", target));
      exists.BindInt(1, id);
      bool there = exists.Step();
      exists.Reset();
      if (!there) throw EngineError(kErrRecordDeleted, "Record has been deleted by another user");
      throw EngineError(kErrRecordChanged, "Record has been changed by another user");
    }
    if (!filter_sql_.empty()) {
      Stmt& in_view = db_.Prepare(fmt::format("SELECT 1 FROM {} WHERE rowid = ? AND ({})", target, filter_sql_));
      in_view.BindInt(1, id);
      still_in_view = in_view.Step();
      in_view.Reset();
    }
  });
  if (!still_in_view) {
    // The record no longer satisfies the filter: it leaves the view at once and the next record
    // becomes the current one, as after a delete.
    DropCurrentFromView();
    return;
  }
  Row row{true, buffer_};
  window_[pos_] = std::move(row);
  order_stale_ = true;  // the edited key may move the row
}

void Table::DropCurrentFromView() {
  rowids_.erase(rowids_.begin() + pos_);
  positions_valid_ = false;
  window_.clear();
  if (rowids_.empty()) {
    pos_ = -1;
    bof_ = eof_ = true;
  } else {
    SetPos(std::min<std::int64_t>(pos_, static_cast<std::int64_t>(rowids_.size()) - 1));
    bof_ = eof_ = false;
  }
}

void Table::Cancel() {
  RequireActive();
  if (state_ != TableState::Edit && state_ != TableState::Insert) return;
  if (BeforeCancel) BeforeCancel(*this);
  buffer_.clear();
  original_.clear();
  modified_ = false;
  state_ = TableState::Browse;
}

void Table::Delete() {
  RequireActive();
  if (ReadOnly()) throw EngineError(kErrReadOnly, fmt::format("Table '{}' is read-only", table_name_));
  if (state_ == TableState::Insert) {
    Cancel();
    return;
  }
  if (state_ == TableState::Edit) Cancel();
  if (pos_ < 0) throw EngineError(kErrNoCurrentRecord, "No current record to delete");
  if (BeforeDelete) BeforeDelete(*this);
  WithEditErrors(EditOperation::Delete, [&] { DoDelete(); });
  if (AfterDelete) AfterDelete(*this);
}

void Table::DoDelete() {
  Bookmark id = rowids_[static_cast<std::size_t>(pos_)];
  const std::string target = QuoteIdent(schema_) + "." + QuoteIdent(def_->name);
  Write([&] {
    Stmt& s = db_.Prepare(fmt::format("DELETE FROM {} WHERE rowid = ?", target));
    s.BindInt(1, id);
    s.Step();
    s.Reset();
    if (sqlite3_changes(db_.handle()) == 0)
      throw EngineError(kErrRecordDeleted, "Record has been deleted by another user");
  });
  DropCurrentFromView();
}

void Table::FlushBuffers() { RequireActive(); }

// ---- Search --------------------------------------------------------------------------------

std::vector<std::string> Table::SplitFieldList(const std::string& fields) const {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= fields.size()) {
    std::size_t p = fields.find(';', start);
    if (p == std::string::npos) p = fields.size();
    std::string name = fields.substr(start, p - start);
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (!name.empty()) out.push_back(name);
    start = p + 1;
  }
  return out;
}

// The rowid of the first row in index order (filter applied) whose leading index fields hold
// `key`, asked of SQLite so that the index answers for the rows as they are now.
std::optional<Bookmark> Table::FirstKeyMatch(const std::vector<Value>& key, bool partial) {
  const std::string collate = index_case_insensitive_ ? " COLLATE NOCASE" : "";
  std::string where;
  std::vector<Value> args;
  for (std::size_t i = 0; i < key.size(); ++i) {
    const FieldDef& f = def_->fields[static_cast<std::size_t>(FieldIndex(index_fields_[i]))];
    const Value v = ToStorage(f, key[i]);
    const std::string col = QuoteIdent(f.name);
    if (!where.empty()) where += " AND ";
    if (v.IsNull()) {
      where += col + " IS NULL";
    } else if (partial && i + 1 == key.size() && f.type == FieldType::String) {
      where += fmt::format("substr({0}, 1, length(?)){1} = ?{1}", col, collate);
      args.push_back(v);
      args.push_back(v);
    } else {
      where += col + collate + " = ?";
      args.push_back(v);
    }
  }
  if (!filter_sql_.empty()) where = "(" + filter_sql_ + ") AND " + where;
  AttachLease lease(db_, schema_);
  // Cached: a loop of searches runs the same statement with other values.
  Stmt& s = db_.Prepare(fmt::format("SELECT rowid FROM {}.{} WHERE {} ORDER BY {} LIMIT 1",
                                    QuoteIdent(schema_), QuoteIdent(def_->name), where, OrderBySql()));
  for (std::size_t i = 0; i < args.size(); ++i) s.Bind(static_cast<int>(i) + 1, args[i]);
  std::optional<Bookmark> match;
  if (s.Step()) match = s.Int(0);
  s.Reset();
  return match;
}

bool Table::FindKey(const std::vector<Value>& key, bool partial) {
  RequireBrowse("search");
  EnsureOrderFresh();
  if (index_fields_.empty())
    throw EngineError(kErrIndexNotFound, fmt::format("Table '{}' has no current index", table_name_));
  if (key.empty() || key.size() > index_fields_.size())
    throw EngineError(kErrValueOutOfRange, "The key has the wrong number of values");
  // A row found now may be missing from the view read earlier (added, or moved into the filter,
  // by another connection): the view is then read again and the search repeated, as the row may
  // have changed once more in between. Each round reads a newer view, so two rounds settle it
  // unless another connection keeps changing that very row.
  constexpr int kRounds = 3;
  for (int round = 0; round < kRounds; ++round) {
    const std::optional<Bookmark> match = FirstKeyMatch(key, partial);
    if (!match) return false;
    const std::int64_t p = PositionOf(*match);
    if (p >= 0) {
      if (window_.size() > 4096) window_.clear();  // as FetchWindow bounds it
      window_[p] = FetchRow(*match);  // the row as it is now, not as the window last read it
      SetPos(p);
      bof_ = eof_ = false;
      return true;
    }
    std::optional<Bookmark> keep;
    if (pos_ >= 0) keep = rowids_[static_cast<std::size_t>(pos_)];
    LoadOrder();
    Reposition(keep, pos_);
  }
  return false;
}

bool Table::Locate(const std::string& fields, const std::vector<Value>& values, LocateOptions options) {
  RequireBrowse("search");
  EnsureOrderFresh();
  std::vector<std::string> names = SplitFieldList(fields);
  if (names.size() != values.size() || names.empty())
    throw EngineError(kErrValueOutOfRange, "Locate needs one value per field");
  std::string where;
  std::vector<Value> args;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const FieldDef& f = def_->fields[static_cast<std::size_t>(FieldIndex(names[i]))];
    Value v = ToStorage(f, values[i]);
    std::string col = QuoteIdent(f.name);
    if (!where.empty()) where += " AND ";
    if (v.IsNull()) {
      where += col + " IS NULL";
    } else if (f.type == FieldType::String || f.type == FieldType::Memo) {
      std::string collate = options.case_insensitive ? " COLLATE NOCASE" : "";
      if (options.partial) {
        where += fmt::format("substr({0}, 1, length(?)){1} = ?{1}", col, collate);
        args.push_back(v);
      } else {
        where += col + collate + " = ?" + collate;
      }
      args.push_back(v);
    } else {
      where += col + " = ?";
      args.push_back(v);
    }
  }
  if (!filter_sql_.empty()) where = "(" + filter_sql_ + ") AND " + where;
  AttachLease lease(db_, schema_);
  Stmt s(db_.handle(), fmt::format("SELECT rowid FROM {}.{} WHERE {} ORDER BY {} LIMIT 1",
                                   QuoteIdent(schema_), QuoteIdent(def_->name), where, OrderBySql()));
  for (std::size_t i = 0; i < args.size(); ++i) s.Bind(static_cast<int>(i) + 1, args[i]);
  if (!s.Step()) return false;
  std::int64_t p = PositionOf(s.Int(0));
  if (p < 0) return false;
  SetPos(p);
  bof_ = eof_ = false;
  return true;
}

// ---- OpenTable -----------------------------------------------------------------------------

void OpenTable(Table& table, OpenMode mode) {
  try {
    table.Open(mode);
    return;
  } catch (const EngineError& e) {
    if (IsDamageError(e.code())) {
      Repair(table.database(), table.TableName(), /*force_index_rebuild=*/false);
    } else if (e.code() == kErrOldFormat) {
      ConvertTableFile(table.database(), table.TableName());
    } else {
      return;  // the table stays closed
    }
  }
  table.Open(mode);
}

}  // namespace tikora::engine
