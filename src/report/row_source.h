// The rows a report prints: an abstract, random-access row source and its adapters.
//
// The report engine reads rows by number (0-based) and fields by number, so that groups can look
// ahead and aggregates can walk their scope again. Adapters take a snapshot of their engine
// object when a build starts (Open), so a query bound before it is opened — as the reports window
// does — delivers the rows it holds at build time, and nothing stays open during layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/query.h"
#include "engine/table.h"
#include "engine/value.h"

namespace tikora::report {

// How an empty field reads in an expression: "" for texts, false for logicals, 0 for the rest.
enum class FieldKind { Text, Logical, Number, DateTime };

FieldKind KindOfFieldType(engine::FieldType type);

class RowSource {
 public:
  virtual ~RowSource() = default;
  // Called when a build starts; adapters (re)read their rows here.
  virtual void Open() {}
  virtual int FieldCount() const = 0;
  virtual const std::string& FieldName(int field) const = 0;
  virtual FieldKind KindOf(int field) const = 0;
  virtual std::int64_t RowCount() const = 0;
  // The stored value; Null for an empty field.
  virtual engine::Value FieldValue(std::int64_t row, int field) const = 0;

  // The field's number by name (ASCII case ignored), or -1.
  int FindField(const std::string& name) const;
};

// Rows held in memory: the snapshot the adapters keep, and a source for tests and benchmarks.
class MemoryRowSource : public RowSource {
 public:
  struct Column {
    std::string name;
    FieldKind kind = FieldKind::Text;
  };
  MemoryRowSource() = default;
  explicit MemoryRowSource(std::vector<Column> columns) : columns_(std::move(columns)) {}

  void SetColumns(std::vector<Column> columns);
  // A row with one value per column (missing trailing values are empty).
  void AddRow(std::vector<engine::Value> values);
  void ClearRows() { rows_.clear(); }

  int FieldCount() const override { return static_cast<int>(columns_.size()); }
  const std::string& FieldName(int field) const override;
  FieldKind KindOf(int field) const override;
  std::int64_t RowCount() const override { return static_cast<std::int64_t>(rows_.size()); }
  engine::Value FieldValue(std::int64_t row, int field) const override;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<engine::Value>> rows_;
};

// The result of an engine query, read at Open(). A query that is not active delivers no rows
// (and no fields). The query's position is restored afterwards.
class QueryRowSource : public MemoryRowSource {
 public:
  explicit QueryRowSource(engine::Query& query) : query_(query) {}
  void Open() override;

 private:
  engine::Query& query_;
};

// The rows of a table object in its current order and filter (also the in-memory time sheet
// table), read at Open(). A closed table delivers no rows. The cursor's record is restored.
class TableRowSource : public MemoryRowSource {
 public:
  explicit TableRowSource(engine::Table& table) : table_(table) {}
  void Open() override;

 private:
  engine::Table& table_;
};

}  // namespace tikora::report
