#include "engine/table_file.h"

#include <cmath>
#include <map>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "core/datetime.h"
#include "engine/sql_dialect.h"

namespace tikora::engine {
namespace {

std::string SqlType(FieldType t) {
  switch (t) {
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

std::string DefaultSql(const FieldDef& f) {
  if (f.default_value.empty()) return {};
  if (SameName(f.default_value, "CURRENT_DATE")) return " DEFAULT (date('now','localtime'))";
  if (f.type == FieldType::Boolean)
    return SameName(f.default_value, "True") ? " DEFAULT 1" : " DEFAULT 0";
  if (IsNumericType(f.type)) return " DEFAULT " + f.default_value;
  return " DEFAULT " + QuoteText(f.default_value);
}

std::string JoinFields(const std::vector<std::string>& fields) {
  std::string s;
  for (const auto& f : fields) s += (s.empty() ? "" : ";") + f;
  return s;
}

std::vector<std::string> SplitFields(const std::string& s) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= s.size()) {
    std::size_t p = s.find(';', start);
    if (p == std::string::npos) p = s.size();
    if (p > start) out.push_back(s.substr(start, p - start));
    start = p + 1;
  }
  return out;
}

// Number of UTF-8 characters, and the byte length of the first n characters.
std::size_t Utf8Prefix(const std::string& s, std::size_t n) {
  std::size_t i = 0, chars = 0;
  while (i < s.size() && chars < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    i += len;
    ++chars;
  }
  return std::min(i, s.size());
}

// Every key of the definition's key/value table, read with one statement (a definition is read
// at each process's first use of a table, so its statements count towards every CGI request).
std::map<std::string, std::string> MetaValues(sqlite3* db, const std::string& schema) {
  Stmt s(db, fmt::format("SELECT key, value FROM {}.tikora_meta", QuoteIdent(schema)));
  std::map<std::string, std::string> values;
  while (s.Step()) values.emplace(s.Text(0), s.Text(1));
  return values;
}

std::string MetaValue(const std::map<std::string, std::string>& meta, const std::string& key) {
  auto it = meta.find(key);
  return it == meta.end() ? std::string() : it->second;
}

[[noreturn]] void OutOfRange(const FieldDef& f, const Value& v) {
  throw EngineError(kErrValueOutOfRange,
                    fmt::format("Value {} is not valid for field '{}'", DebugString(v), f.name));
}

}  // namespace

std::string SqliteIndexName(const TableDef& def, const IndexDef& index) {
  return def.name + "$" + (index.primary ? std::string("pk") : index.name);
}

const FieldDef* AutoIncField(const TableDef& def) {
  for (const auto& f : def.fields)
    if (f.type == FieldType::AutoInc) return &f;
  return nullptr;
}

bool HasRowidKey(const TableDef& def) { return AutoIncField(def) != nullptr; }

std::string CreateTableSql(const std::string& schema, const TableDef& def) {
  std::string cols;
  const FieldDef* autoinc = AutoIncField(def);
  for (const auto& f : def.fields) {
    if (!cols.empty()) cols += ", ";
    cols += QuoteIdent(f.name) + " " + SqlType(f.type);
    if (&f == autoinc) cols += " PRIMARY KEY AUTOINCREMENT";
    cols += DefaultSql(f);
  }
  return fmt::format("CREATE TABLE {}.{} ({})", QuoteIdent(schema), QuoteIdent(def.name), cols);
}

std::string IndexOrderSql(const IndexDef& index, bool descending) {
  std::string out;
  for (const auto& f : index.fields) {
    if (!out.empty()) out += ", ";
    out += QuoteIdent(f);
    if (index.case_insensitive) out += " COLLATE NOCASE";
    if (index.descending != descending) out += " DESC";
  }
  return out;
}

std::string CreateIndexSql(const std::string& schema, const TableDef& def, const IndexDef& index) {
  const FieldDef* autoinc = AutoIncField(def);
  if (autoinc && index.fields.size() == 1 && SameName(index.fields[0], autoinc->name) &&
      !index.case_insensitive && !index.descending)
    return {};  // the rowid is this key already
  return fmt::format("CREATE {}INDEX {}.{} ON {} ({})",
                     (index.unique || index.primary) ? "UNIQUE " : "", QuoteIdent(schema),
                     QuoteIdent(SqliteIndexName(def, index)), QuoteIdent(def.name),
                     IndexOrderSql(index));
}

void WriteDefinition(sqlite3* db, const std::string& schema, const TableDef& def) {
  const std::string s = QuoteIdent(schema);
  Exec(db, fmt::format("CREATE TABLE IF NOT EXISTS {}.tikora_meta (key TEXT PRIMARY KEY, value TEXT)", s));
  Exec(db, fmt::format("CREATE TABLE IF NOT EXISTS {}.tikora_fields (position INTEGER, number "
                       "INTEGER, name TEXT, type TEXT, size INTEGER, required INTEGER, "
                       "default_value TEXT)", s));
  Exec(db, fmt::format("CREATE TABLE IF NOT EXISTS {}.tikora_indexes (position INTEGER, name "
                       "TEXT, fields TEXT, is_primary INTEGER, is_unique INTEGER, "
                       "case_insensitive INTEGER, descending INTEGER, compression TEXT)", s));
  Exec(db, fmt::format("DELETE FROM {0}.tikora_meta; DELETE FROM {0}.tikora_fields; "
                       "DELETE FROM {0}.tikora_indexes", s));
  {
    Stmt m(db, fmt::format("INSERT INTO {}.tikora_meta (key, value) VALUES (?, ?)", s));
    const std::pair<const char*, std::string> rows[] = {
        {"table_name", def.name},
        {"title", def.title},
        {"version_major", std::to_string(def.version.major)},
        {"version_minor", std::to_string(def.version.minor)},
    };
    for (const auto& [k, v] : rows) {
      m.Reset();
      m.BindText(1, k).BindText(2, v);
      m.Step();
    }
  }
  {
    Stmt f(db, fmt::format("INSERT INTO {}.tikora_fields VALUES (?, ?, ?, ?, ?, ?, ?)", s));
    int pos = 0;
    for (const auto& fd : def.fields) {
      f.Reset();
      f.BindInt(1, pos++).BindInt(2, fd.number).BindText(3, fd.name);
      f.BindText(4, FieldTypeName(fd.type)).BindInt(5, fd.size).BindInt(6, fd.required);
      f.BindText(7, fd.default_value);
      f.Step();
    }
  }
  {
    Stmt x(db, fmt::format("INSERT INTO {}.tikora_indexes VALUES (?, ?, ?, ?, ?, ?, ?, ?)", s));
    int pos = 0;
    for (const auto& ix : def.indexes) {
      x.Reset();
      x.BindInt(1, pos++).BindText(2, ix.name).BindText(3, JoinFields(ix.fields));
      x.BindInt(4, ix.primary).BindInt(5, ix.unique).BindInt(6, ix.case_insensitive);
      x.BindInt(7, ix.descending).BindText(8, CompressionName(ix.compression));
      x.Step();
    }
  }
  Exec(db, fmt::format("PRAGMA {}.application_id = {}", s, kTableFileApplicationId));
  Exec(db, fmt::format("PRAGMA {}.user_version = {}", s, kEngineFormat));
}

int ReadEngineFormat(sqlite3* db, const std::string& schema) {
  Stmt app(db, fmt::format("PRAGMA {}.application_id", QuoteIdent(schema)));
  if (!app.Step() || app.Int(0) != kTableFileApplicationId)
    throw EngineError(kErrNotATableFile, fmt::format("'{}' is not a table file", schema));
  Stmt ver(db, fmt::format("PRAGMA {}.user_version", QuoteIdent(schema)));
  ver.Step();
  return static_cast<int>(ver.Int(0));
}

namespace {

TableDef ReadFieldsAndIndexes(sqlite3* db, const std::string& schema,
                              const std::map<std::string, std::string>& meta) {
  const std::string s = QuoteIdent(schema);
  TableDef def;
  def.name = MetaValue(meta, "table_name");
  def.title = MetaValue(meta, "title");
  Stmt f(db, fmt::format("SELECT number, name, type, size, required, default_value FROM "
                         "{}.tikora_fields ORDER BY position", s));
  while (f.Step()) {
    auto type = FieldTypeFromName(f.Text(2));
    if (!type)
      throw EngineError(kErrCorruptHeader, fmt::format("Table '{}' has a field of unknown type", schema));
    def.fields.push_back({static_cast<int>(f.Int(0)), f.Text(1), *type, static_cast<int>(f.Int(3)),
                          f.Int(4) != 0, f.Text(5)});
  }
  Stmt x(db, fmt::format("SELECT name, fields, is_primary, is_unique, case_insensitive, "
                         "descending, compression FROM {}.tikora_indexes ORDER BY position", s));
  while (x.Step()) {
    IndexDef ix{x.Text(0), SplitFields(x.Text(1)), x.Int(2) != 0, x.Int(3) != 0, x.Int(4) != 0,
                x.Int(5) != 0, CompressionFromName(x.Text(6)).value_or(IndexCompression::None)};
    def.indexes.push_back(std::move(ix));
  }
  if (def.name.empty() || def.fields.empty())
    throw EngineError(kErrCorruptHeader, fmt::format("The definition of table '{}' is damaged", schema));
  return def;
}

}  // namespace

TableDef ReadDefinition(sqlite3* db, const std::string& schema) {
  int format = ReadEngineFormat(db, schema);
  if (format < kEngineFormat && format >= kOldestReadableFormat)
    throw EngineError(kErrOldFormat,
                      fmt::format("The table '{}' is not the correct version", schema));
  if (format != kEngineFormat)
    throw EngineError(kErrNotATableFile,
                      fmt::format("The table '{}' was written by an unknown engine format {}", schema, format));
  const std::map<std::string, std::string> meta = MetaValues(db, schema);
  TableDef def = ReadFieldsAndIndexes(db, schema, meta);
  def.version.major = std::atoi(MetaValue(meta, "version_major").c_str());
  def.version.minor = std::atoi(MetaValue(meta, "version_minor").c_str());
  return def;
}

TableDef ReadOldDefinition(sqlite3* db, const std::string& schema) {
  const std::map<std::string, std::string> meta = MetaValues(db, schema);
  TableDef def = ReadFieldsAndIndexes(db, schema, meta);
  std::string v = MetaValue(meta, "version");  // "major.minor"
  std::size_t dot = v.find('.');
  def.version.major = std::atoi(v.substr(0, dot).c_str());
  def.version.minor = dot == std::string::npos ? 0 : std::atoi(v.substr(dot + 1).c_str());
  return def;
}

void CreateTableFile(const std::string& path, const TableDef& def) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close(db); }
  } closer{db};
  if (rc != SQLITE_OK) ThrowSqlite(db, rc, fmt::format("Cannot create '{}'", path));
  Exec(db, "PRAGMA journal_mode = DELETE; BEGIN IMMEDIATE");
  Exec(db, CreateTableSql("main", def));
  for (const auto& ix : def.indexes) {
    std::string sql = CreateIndexSql("main", def, ix);
    if (!sql.empty()) Exec(db, sql);
  }
  WriteDefinition(db, "main", def);
  Exec(db, "COMMIT");
}

Value ToStorage(const FieldDef& f, const Value& v) {
  if (v.IsNull()) return Value::Null();
  try {
    switch (f.type) {
      case FieldType::String: {
        std::string s = v.AsText();
        if (f.size > 0) s.resize(Utf8Prefix(s, static_cast<std::size_t>(f.size)));
        return s.empty() ? Value::Null() : Value::Text(std::move(s));
      }
      case FieldType::Memo:
      case FieldType::Blob: {
        std::string s = v.AsText();
        return s.empty() ? Value::Null() : Value::Text(std::move(s));
      }
      case FieldType::Boolean: return Value::Integer(v.AsBoolean() ? 1 : 0);
      case FieldType::Word: {
        std::int64_t i = v.AsInteger();
        if (i < 0 || i > 65535) OutOfRange(f, v);
        return Value::Integer(i);
      }
      case FieldType::Integer:
      case FieldType::AutoInc: {
        if (v.kind() == Value::Kind::Text && v.AsText().empty()) return Value::Null();
        return Value::Integer(v.AsInteger());
      }
      case FieldType::Float: {
        if (v.kind() == Value::Kind::Text && v.AsText().empty()) return Value::Null();
        double d = v.AsFloat();
        if (!std::isfinite(d)) OutOfRange(f, v);
        return Value::Float(d);
      }
      case FieldType::Currency: {
        if (v.kind() == Value::Kind::Text && v.AsText().empty()) return Value::Null();
        double d = v.AsFloat();
        if (!std::isfinite(d)) OutOfRange(f, v);
        return Value::Float(std::round(d * 10000.0) / 10000.0);
      }
      case FieldType::Date:
        if (v.kind() == Value::Kind::Text && v.AsText().empty()) return Value::Null();
        return Value::Text(FormatIsoDate(v.AsDateTime()));
      case FieldType::Time:
        if (v.kind() == Value::Kind::Text && v.AsText().empty()) return Value::Null();
        return Value::Text(FormatIsoTime(v.AsDateTime()));
      case FieldType::Timestamp:
        if (v.kind() == Value::Kind::Text && v.AsText().empty()) return Value::Null();
        return Value::Text(FormatIsoTimestamp(v.AsDateTime()));
    }
  } catch (const EngineError&) {
    OutOfRange(f, v);
  }
  return Value::Null();
}

namespace {

Value FromSqlValue(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: return Value::Null();
    case SQLITE_INTEGER: return Value::Integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::Float(sqlite3_value_double(v));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
      return Value::Text(text ? std::string(text, static_cast<std::size_t>(sqlite3_value_bytes(v)))
                              : std::string());
    }
  }
}

void StoredValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc != 4) return sqlite3_result_error(ctx, "tikora_stored takes four arguments", -1);
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const auto* type_name = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const auto* field_name = reinterpret_cast<const char*>(sqlite3_value_text(argv[3]));
  const std::optional<FieldType> type = FieldTypeFromName(type_name ? type_name : "");
  if (!type) return sqlite3_result_error(ctx, "tikora_stored: unknown field type", -1);
  FieldDef field;
  field.name = field_name ? field_name : "";
  field.type = *type;
  field.size = sqlite3_value_int(argv[2]);
  try {
    const Value stored = ToStorage(field, FromSqlValue(argv[0]));
    switch (stored.kind()) {
      case Value::Kind::Null: return sqlite3_result_null(ctx);
      case Value::Kind::Integer: return sqlite3_result_int64(ctx, stored.AsInteger());
      case Value::Kind::Float: return sqlite3_result_double(ctx, stored.AsFloat());
      default: {
        const std::string text = stored.AsText();
        return sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      }
    }
  } catch (const EngineError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
    sqlite3_result_error_code(ctx, SQLITE_MISMATCH);
  }
}

}  // namespace

void RegisterStoredValueFunction(sqlite3* db) {
  sqlite3_create_function_v2(db, kStoredValueFunction, 4,
                             SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                             &StoredValue, nullptr, nullptr, nullptr);
}

// The text of a column without copying it (valid until the statement steps again): dates and
// times are parsed straight from SQLite's buffer, which keeps reading large results cheap.
namespace {
std::string_view StoredText(const Stmt& stmt, int col) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.raw(), col));
  if (!text) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt.raw(), col))};
}
}  // namespace

Value FromStorage(const FieldDef& f, const Stmt& stmt, int col) {
  if (stmt.IsNull(col)) return Value::Null();
  switch (f.type) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::Blob: return Value::Text(stmt.Text(col));
    case FieldType::Boolean: return Value::Boolean(stmt.Int(col) != 0);
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc: return Value::Integer(stmt.Int(col));
    case FieldType::Float:
    case FieldType::Currency: return Value::Float(stmt.Double(col));
    case FieldType::Date:
    case FieldType::Timestamp: {
      auto dt = ParseIsoTimestampText(StoredText(stmt, col));
      return dt ? Value::Date(*dt) : Value::Text(stmt.Text(col));
    }
    case FieldType::Time: {
      auto dt = ParseIsoTimeText(StoredText(stmt, col));
      return dt ? Value::Date(*dt) : Value::Text(stmt.Text(col));
    }
  }
  return Value::Null();
}

Value DefaultValue(const FieldDef& f) {
  if (f.default_value.empty()) return Value::Null();
  if (SameName(f.default_value, "CURRENT_DATE")) return Value::Date(Today());
  if (f.type == FieldType::Boolean) return Value::Boolean(SameName(f.default_value, "True"));
  return ToStorage(f, Value::Text(f.default_value)).IsNull()
             ? Value::Null()
             : Value::Text(f.default_value);
}

}  // namespace tikora::engine
