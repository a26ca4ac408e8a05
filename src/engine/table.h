// A table object: an index-ordered, optionally filtered view of one table with a current record.
//
// Representation: the cursor keeps the rowids of its rows in index order and fetches rows in
// small windows by rowid, so a million-row table opens in well under a second, jumps to any row
// at once, and no SQLite statement stays open between calls (a reader in rollback mode would
// block writers). Editing is optimistic: Post writes only when the row still holds the values
// read at Edit (else "record changed by another user"), and a write that stays busy past the
// database's busy timeout fails with kErrRecordLocked.
//
// Rows appended through the cursor keep their place at the end until the next navigation, which
// re-reads the order; so a loop of Append/Post costs one INSERT per row. A record whose posted
// edit no longer satisfies the filter leaves the view at once, like a deleted one: the next
// record becomes the current one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/database.h"
#include "engine/schema.h"
#include "engine/sql_dialect.h"
#include "engine/value.h"

namespace tikora::engine {

enum class OpenMode { Shared, Exclusive, ReadOnly };
enum class TableState { Inactive, Browse, Edit, Insert };

// What an edit-error handler wants done after a failed Edit, Post or Delete.
enum class EditErrorAction {
  Fail,          // let the error reach the caller (the default without a handler)
  Abort,         // give up silently: the operation ends with kErrAborted
  Retry,         // try the same operation again
  RefreshRetry,  // re-read the record (keeping pending changes) and try again
};
enum class EditOperation { Edit, Post, Delete };

struct LocateOptions {
  bool case_insensitive = false;
  bool partial = false;  // text values match as prefixes
};

using Bookmark = std::int64_t;  // the rowid of a record

class Table {
 public:
  Table(Database& db, std::string table_name);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // ---- Opening
  void Open(OpenMode mode = OpenMode::Shared);
  void Close();
  bool Active() const { return state_ != TableState::Inactive; }
  bool ReadOnly() const { return mode_ == OpenMode::ReadOnly; }
  bool Exclusive() const { return mode_ == OpenMode::Exclusive; }
  const std::string& TableName() const { return table_name_; }
  const std::string& Schema() const { return schema_; }
  const TableDef& Definition() const;
  Database& database() const { return db_; }

  // ---- Order: an index by name ("" = primary) or by field names "A;B" (any fields).
  void SetIndexName(const std::string& index);
  void SetIndexFieldNames(const std::string& fields);
  const std::string& IndexName() const { return index_name_; }

  // ---- Filter: a condition in the system's filter syntax ("[Start Time] >= '2023-01-01'"),
  // applied while Filtered is on, with the options (case-insensitive comparison, no partial
  // "ab*" comparison). A change while open refreshes the view at once; a filter that cannot be
  // translated throws kErrSqlSyntax and leaves the view as it was.
  void SetFilter(const std::string& filter_text);
  void SetFiltered(bool on);
  void SetFilterOptions(FilterOptions options);
  const std::string& Filter() const { return filter_text_; }
  bool Filtered() const { return filtered_; }
  // The same with a ready SQLite expression over the table's columns (for the engine's own use);
  // in force until the filter text, the switch or the options are set again.
  void SetFilterSql(const std::string& where_sql);
  const std::string& FilterSql() const { return filter_sql_; }

  // ---- Navigation
  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);  // returns the distance actually moved
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool IsEmpty() const { return rowids_.empty(); }
  std::int64_t RecordCount();
  std::int64_t RecNo() const { return pos_ + 1; }  // 1-based; 0 when empty
  Bookmark GetBookmark() const;
  void GotoBookmark(Bookmark b);
  bool BookmarkValid(Bookmark b);
  // Re-reads the order and the rows, unless no connection has written to the file since they
  // were read (then the view is current as it stands). Pending edits are cancelled either way.
  void Refresh();

  // ---- Fields of the current record (or of the record being edited or inserted)
  int FieldCount() const { return static_cast<int>(Definition().fields.size()); }
  Value FieldValue(const std::string& field) const;
  Value FieldValue(int index) const;
  void SetFieldValue(const std::string& field, const Value& v);
  void SetFieldValue(int index, const Value& v);
  int FieldIndex(const std::string& field) const;  // throws kErrFieldNotFound
  bool Modified() const { return modified_; }

  // ---- Editing
  TableState state() const { return state_; }
  void Append();
  void Insert();
  void Edit();
  void Post();
  void Cancel();
  void Delete();

  // ---- Search
  // Exact match of the current index's leading fields; with `partial` the last given text value
  // matches as a prefix. Moves to the first match in index order and returns true, or stays and
  // returns false. The rows are searched as they are now (through the index), not as they were
  // when the view was read: a match the view does not hold yet makes the view read again.
  bool FindKey(const std::vector<Value>& key, bool partial = false);
  // The first record in view order whose fields ("A;B") hold the values.
  bool Locate(const std::string& fields, const std::vector<Value>& values, LocateOptions options = {});

  // Writes are committed as they are made (or with the caller's transaction): there is nothing
  // buffered to flush; kept so that callers can state the point where data must be on disk.
  void FlushBuffers();

  // ---- Events
  std::function<void(Table&)> BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost,
      AfterPost, BeforeDelete, AfterDelete, BeforeCancel;
  std::function<EditErrorAction(Table&, const EngineError&, EditOperation)> OnEditError;
  // Called before a field takes a new value; return false to refuse it (SetFieldValue then
  // throws kErrVetoed and the field keeps its value).
  std::function<bool(Table&, const FieldDef&, const Value& old_value, const Value& new_value)>
      OnFieldChange;

 private:
  struct Row {
    bool exists = false;
    std::vector<Value> values;
  };

  void RequireActive() const;
  void RequireBrowse(const char* what) const;
  void LoadOrder();
  bool OrderStillCurrent();
  void Reposition(std::optional<Bookmark> keep, std::int64_t fallback_pos);
  std::string SelectColumns() const;
  std::string OrderBySql() const;
  const Row& CurrentRow() const;
  Row FetchRow(Bookmark rowid) const;
  void FetchWindow(std::int64_t pos) const;
  void SetPos(std::int64_t pos);
  void EnsureOrderFresh();
  std::int64_t PositionOf(Bookmark rowid);
  template <typename F>
  void WithEditErrors(EditOperation op, F&& body);
  template <typename F>
  void Write(F&& body);  // runs a write in the caller's transaction or in one of its own
  void DoPost();
  void DoDelete();
  void DropCurrentFromView();  // removes the current row from the view; the next one is current
  std::vector<std::string> SplitFieldList(const std::string& fields) const;
  std::optional<Bookmark> FirstKeyMatch(const std::vector<Value>& key, bool partial);

  Database& db_;
  std::string table_name_;
  std::string schema_;
  const TableDef* def_ = nullptr;
  TableDef temp_def_copy_;
  OpenMode mode_ = OpenMode::Shared;
  TableLock lock_;
  TableState state_ = TableState::Inactive;

  std::string index_name_;
  std::vector<std::string> index_fields_;
  bool index_case_insensitive_ = false;
  bool index_descending_ = false;
  std::string filter_sql_;
  std::string filter_text_;
  bool filtered_ = false;
  FilterOptions filter_options_;
  bool filter_from_text_ = true;  // false while a SetFilterSql condition is in force
  void ApplyFilterText();
  std::string FilterSqlFromText() const;
  void UseFilterSql(const std::string& where_sql);

  std::vector<Bookmark> rowids_;
  // The file as it was just before rowids_ was read; Refresh reads nothing while it is unchanged.
  std::optional<Database::DataStamp> order_stamp_;
  std::map<Bookmark, std::int64_t> positions_;  // built on demand
  bool positions_valid_ = false;
  bool order_stale_ = false;
  std::int64_t pos_ = -1;
  bool bof_ = true, eof_ = true;

  mutable std::map<std::int64_t, Row> window_;  // pos -> row
  std::vector<Value> buffer_;                   // the record in Edit or Insert
  std::vector<Value> original_;                 // stored values read at Edit
  bool modified_ = false;
};

// Opens `table`, repairing a damaged file and converting an older engine format on the way: a
// damage error leads to Repair (without forced index rebuild) and a second open; an old-format
// error to ConvertTableFile and a second open. Any other engine error is swallowed and the table
// stays closed. A failure of the repair, the conversion or the second open reaches the caller.
void OpenTable(Table& table, OpenMode mode = OpenMode::Shared);

}  // namespace tikora::engine
