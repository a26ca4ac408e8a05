#include "report/row_source.h"

#include <algorithm>

#include "engine/schema.h"

namespace tikora::report {

FieldKind KindOfFieldType(engine::FieldType type) {
  using engine::FieldType;
  switch (type) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::Blob:
      return FieldKind::Text;
    case FieldType::Boolean:
      return FieldKind::Logical;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::Timestamp:
      return FieldKind::DateTime;
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc:
    case FieldType::Float:
    case FieldType::Currency:
      break;
  }
  return FieldKind::Number;
}

int RowSource::FindField(const std::string& name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    if (engine::SameName(FieldName(i), name)) return i;
  }
  return -1;
}

void MemoryRowSource::SetColumns(std::vector<Column> columns) {
  columns_ = std::move(columns);
  rows_.clear();
}

void MemoryRowSource::AddRow(std::vector<engine::Value> values) {
  values.resize(columns_.size());
  rows_.push_back(std::move(values));
}

const std::string& MemoryRowSource::FieldName(int field) const {
  return columns_.at(static_cast<std::size_t>(field)).name;
}

FieldKind MemoryRowSource::KindOf(int field) const {
  return columns_.at(static_cast<std::size_t>(field)).kind;
}

engine::Value MemoryRowSource::FieldValue(std::int64_t row, int field) const {
  return rows_.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(field));
}

void QueryRowSource::Open() {
  SetColumns({});
  if (!query_.Active()) return;
  std::vector<Column> columns;
  for (int i = 0; i < query_.FieldCount(); ++i) {
    const auto type = query_.FieldTypeOf(i);
    // A computed column has no declared type: numbers are the likeliest, and an empty computed
    // value then reads as 0, which is what sums and formats expect.
    columns.push_back({query_.FieldName(i), type ? KindOfFieldType(*type) : FieldKind::Number});
  }
  SetColumns(std::move(columns));
  const std::int64_t keep = query_.RecNo();
  for (query_.First(); !query_.Eof(); query_.Next()) {
    std::vector<engine::Value> row;
    row.reserve(static_cast<std::size_t>(FieldCount()));
    for (int i = 0; i < FieldCount(); ++i) row.push_back(query_.FieldValue(i));
    AddRow(std::move(row));
  }
  query_.First();
  if (keep > 1) query_.MoveBy(static_cast<int>(keep - 1));
}

void TableRowSource::Open() {
  SetColumns({});
  if (!table_.Active()) return;
  std::vector<Column> columns;
  for (const engine::FieldDef& f : table_.Definition().fields) {
    columns.push_back({f.name, KindOfFieldType(f.type)});
  }
  SetColumns(std::move(columns));
  const bool had_record = !table_.IsEmpty() && !table_.Eof();
  const engine::Bookmark keep = had_record ? table_.GetBookmark() : 0;
  for (table_.First(); !table_.Eof(); table_.Next()) {
    std::vector<engine::Value> row;
    row.reserve(static_cast<std::size_t>(FieldCount()));
    for (int i = 0; i < FieldCount(); ++i) row.push_back(table_.FieldValue(i));
    AddRow(std::move(row));
  }
  if (had_record && table_.BookmarkValid(keep)) table_.GotoBookmark(keep);
}

}  // namespace tikora::report
