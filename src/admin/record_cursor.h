// One view over the rows a data manager command works on: a table object or the result of a
// query. CSV export and import, find and replace and the record operations take a RecordCursor,
// so the same code serves every table of the list and the "SQL File" entry.
#pragma once

#include <cstdint>
#include <string>

#include "engine/field_types.h"
#include "engine/query.h"
#include "engine/table.h"
#include "engine/value.h"

namespace tikora::admin {

// A position a cursor can come back to (a table's bookmark, a query's row number).
using CursorMark = std::int64_t;

class RecordCursor {
 public:
  virtual ~RecordCursor() = default;

  virtual int FieldCount() const = 0;
  virtual std::string FieldName(int index) const = 0;
  virtual engine::FieldType FieldType(int index) const = 0;
  virtual engine::Value FieldValue(int index) const = 0;

  virtual void First() = 0;
  virtual void Next() = 0;
  virtual void Prior() = 0;
  virtual bool Eof() const = 0;
  virtual bool Bof() const = 0;
  virtual bool IsEmpty() const = 0;
  virtual CursorMark Mark() const = 0;
  virtual void GoToMark(CursorMark mark) = 0;

  // Editing; a read-only view throws the engine's kErrReadOnly.
  virtual bool CanAppend() const = 0;
  virtual void Append() = 0;
  virtual void Edit() = 0;
  virtual void SetFieldValue(int index, const engine::Value& value) = 0;
  virtual void Post() = 0;
  virtual void Cancel() = 0;
  virtual void Delete() = 0;
  // Re-reads the rows (after a rolled-back transaction).
  virtual void Refresh() = 0;
};

class TableCursor : public RecordCursor {
 public:
  explicit TableCursor(engine::Table& table) : t_(table) {}
  engine::Table& table() { return t_; }

  int FieldCount() const override { return t_.FieldCount(); }
  std::string FieldName(int i) const override { return Field(i).name; }
  engine::FieldType FieldType(int i) const override { return Field(i).type; }
  engine::Value FieldValue(int i) const override { return t_.FieldValue(i); }
  void First() override { t_.First(); }
  void Next() override { t_.Next(); }
  void Prior() override { t_.Prior(); }
  bool Eof() const override { return t_.Eof(); }
  bool Bof() const override { return t_.Bof(); }
  bool IsEmpty() const override { return t_.IsEmpty(); }
  CursorMark Mark() const override { return t_.IsEmpty() ? 0 : t_.GetBookmark(); }
  void GoToMark(CursorMark mark) override;
  bool CanAppend() const override { return !t_.ReadOnly(); }
  void Append() override { t_.Append(); }
  void Edit() override { t_.Edit(); }
  void SetFieldValue(int i, const engine::Value& v) override { t_.SetFieldValue(i, v); }
  void Post() override { t_.Post(); }
  void Cancel() override { t_.Cancel(); }
  void Delete() override { t_.Delete(); }
  void Refresh() override { t_.Refresh(); }

 private:
  const engine::FieldDef& Field(int i) const {
    return t_.Definition().fields.at(static_cast<std::size_t>(i));
  }
  engine::Table& t_;
};

// A query result. Columns whose type the engine does not know (expressions) read as text.
class QueryCursor : public RecordCursor {
 public:
  explicit QueryCursor(engine::Query& query) : q_(query) {}

  int FieldCount() const override { return q_.FieldCount(); }
  std::string FieldName(int i) const override { return q_.FieldName(i); }
  engine::FieldType FieldType(int i) const override;
  engine::Value FieldValue(int i) const override { return q_.FieldValue(i); }
  void First() override { q_.First(); }
  void Next() override { q_.Next(); }
  void Prior() override { q_.Prior(); }
  bool Eof() const override { return q_.Eof(); }
  bool Bof() const override { return q_.Bof(); }
  bool IsEmpty() const override { return q_.RecordCount() == 0; }
  CursorMark Mark() const override { return q_.RecNo(); }
  void GoToMark(CursorMark mark) override;
  bool CanAppend() const override { return false; }
  void Append() override;
  void Edit() override { q_.Edit(); }
  void SetFieldValue(int i, const engine::Value& v) override {
    q_.SetFieldValue(q_.FieldName(i), v);
  }
  void Post() override { q_.Post(); }
  void Cancel() override { q_.Cancel(); }
  void Delete() override { q_.Delete(); }
  void Refresh() override;

 private:
  engine::Query& q_;
};

}  // namespace tikora::admin
