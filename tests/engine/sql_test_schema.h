// A fixed schema of the installation's tables for SQL translation tests and the fuzzer: a
// SchemaLookup over it, and an in-memory SQLite database laid out as the engine stores tables
// (each table attached under its own name and holding one table of that name; memTimeSheet in
// the temp schema; columns named as the fields; dates and times as TEXT, booleans as INTEGER).
#pragma once

#include <sqlite3.h>

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"
#include "engine/table_file.h"
#include "engine/sql_tokenizer.h"

namespace tikora::engine::sqltest {

struct TestTable {
  std::string name;
  bool in_memory = false;  // lives in the temp schema instead of an attached file
  std::vector<SchemaLookup::Field> fields;
};

inline std::vector<TestTable> InstallationTables() {
  using F = FieldType;
  const std::vector<SchemaLookup::Field> time_record = {
      {"ID", F::AutoInc},          {"User ID", F::String},   {"Account", F::String},
      {"Job_Code", F::String},     {"Start Time", F::Timestamp}, {"End Time", F::Timestamp},
      {"Comments", F::Memo},       {"ClientID", F::String},  {"Synch", F::Boolean},
      {"Invoice", F::String},      {"Printed", F::Boolean},  {"Billable", F::Boolean},
      {"Item", F::String},         {"NumItems", F::Word},
  };
  return {
      {"TimeHist", false, time_record},
      {"Archive", false, time_record},
      {"Accounts", false,
       {{"Charge Account", F::String}, {"Description", F::String}, {"Rate", F::Currency},
        {"Client", F::String}, {"Active", F::Boolean}}},
      {"JobCodes", false,
       {{"Job Code", F::String}, {"Description", F::String}, {"Rate", F::Currency},
        {"ChargeAccount", F::String}, {"Active", F::Boolean}}},
      {"Clients", false,
       {{"ClientID", F::String}, {"Name", F::String}, {"City", F::String}, {"Rate", F::Currency},
        {"Active", F::Boolean}}},
      {"Expenses", false,
       {{"ExpenseID", F::AutoInc}, {"UserID", F::String}, {"Account", F::String},
        {"JobCode", F::String}, {"ClientID", F::String}, {"Description", F::String},
        {"Invoice", F::String}, {"Amount", F::Currency}, {"ExpenseDate", F::Date}}},
      {"Invoices", false, {{"Invoice", F::String}, {"Client", F::String}, {"Paid", F::Boolean}}},
      {"WorkGrp", false, {{"WorkGroup", F::String}, {"User ID", F::String}}},
      {"Reports", false,
       {{"ReportID", F::Integer}, {"ReportTitle", F::String}, {"FileName", F::String},
        {"Position", F::Integer}, {"Visible", F::Boolean}}},
      {"memTimeSheet", true,
       {{"ID", F::AutoInc}, {"Account", F::String}, {"Code", F::String}, {"Su", F::Float},
        {"Mo", F::Float}, {"Tu", F::Float}, {"We", F::Float}, {"Th", F::Float}, {"Fr", F::Float},
        {"Sa", F::Float}, {"ClientID", F::String}, {"WeekStart", F::Date}}},
  };
}

class TestSchema : public SchemaLookup {
 public:
  explicit TestSchema(std::vector<TestTable> tables = InstallationTables()) : tables_(std::move(tables)) {}

  std::optional<std::string> CanonicalTable(std::string_view table) const override {
    const TestTable* t = Find(table);
    return t ? std::optional(t->name) : std::nullopt;
  }
  std::optional<Field> FindField(std::string_view canonical_table, std::string_view field) const override {
    const TestTable* t = Find(canonical_table);
    if (!t) return std::nullopt;
    for (const Field& f : t->fields)
      if (sql::EqualsNoCase(f.name, field)) return f;
    return std::nullopt;
  }
  std::optional<std::vector<Field>> Fields(std::string_view canonical_table) const override {
    const TestTable* t = Find(canonical_table);
    return t ? std::optional(t->fields) : std::nullopt;
  }
  const std::vector<TestTable>& tables() const { return tables_; }

 private:
  const TestTable* Find(std::string_view name) const {
    for (const TestTable& t : tables_)
      if (sql::EqualsNoCase(t.name, name)) return &t;
    return nullptr;
  }
  std::vector<TestTable> tables_;
};

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;

inline std::string_view ColumnDeclaration(FieldType type) {
  switch (type) {
    case FieldType::Boolean:
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc: return "INTEGER";
    case FieldType::Float:
    case FieldType::Currency: return "REAL";
    case FieldType::Blob: return "BLOB";
    default: return "TEXT";
  }
}

inline void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(message + " in: " + sql);
  }
}

inline std::string QuotedName(std::string_view name) { return "\"" + std::string(name) + "\""; }

// An in-memory database holding the schema's tables, empty.
inline SqliteDb OpenTestDatabase(const TestSchema& schema) {
  sqlite3* raw = nullptr;
  sqlite3_open(":memory:", &raw);
  SqliteDb db(raw);
  RegisterStoredValueFunction(db.get());
  for (const TestTable& table : schema.tables()) {
    std::string columns;
    for (const SchemaLookup::Field& f : table.fields) {
      if (!columns.empty()) columns += ", ";
      columns += QuotedName(f.name) + " " + std::string(ColumnDeclaration(f.type));
    }
    const std::string name = QuotedName(table.name);
    if (table.in_memory) {
      Exec(db.get(), "CREATE TEMP TABLE " + name + " (" + columns + ")");
    } else {
      Exec(db.get(), "ATTACH ':memory:' AS " + name);
      Exec(db.get(), "CREATE TABLE " + name + "." + name + " (" + columns + ")");
    }
  }
  return db;
}

}  // namespace tikora::engine::sqltest
