#include "engine/maintenance.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <limits>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/table_file.h"

namespace tikora::engine {
namespace {

// A raw connection to one table file, closed on destruction.
struct FileConnection {
  sqlite3* db = nullptr;
  explicit FileConnection(const std::string& path, bool create = false) {
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close(db);
      db = nullptr;
      throw EngineError(EngineCodeFor(rc), fmt::format("Cannot open '{}': {}", path, msg));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);
  }
  ~FileConnection() { sqlite3_close(db); }
  FileConnection(const FileConnection&) = delete;
  FileConnection& operator=(const FileConnection&) = delete;
};

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

void SyncFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

void SyncDirectory(const std::string& dir) { SyncFile(dir); }

// Puts the finished file `fresh` in place of `path`, keeping the old file as `path + keep_suffix`
// (or dropping it when keep_suffix is empty). The caller holds the exclusive lock.
void ReplaceFile(const std::string& fresh, const std::string& path, const std::string& keep_suffix,
                 const std::string& directory) {
  SyncFile(fresh);
  if (FileExists(path + "-journal"))
    throw EngineError(kErrReadWrite, fmt::format("'{}' has an unfinished transaction", path));
  if (!keep_suffix.empty()) {
    std::remove((path + keep_suffix).c_str());
    if (link(path.c_str(), (path + keep_suffix).c_str()) != 0) { /* keeping a copy is best effort */ }
  }
  if (std::rename(fresh.c_str(), path.c_str()) != 0)
    throw EngineError(kErrReadWrite, fmt::format("Cannot replace '{}'", path));
  SyncDirectory(directory);
}

std::string ColumnList(const TableDef& def) {
  std::string cols;
  for (const auto& f : def.fields) cols += (cols.empty() ? "" : ", ") + QuoteIdent(f.name);
  return cols;
}

std::int64_t ReadSequence(sqlite3* db, const std::string& schema, const std::string& table) {
  try {
    Stmt s(db, fmt::format("SELECT seq FROM {}.sqlite_sequence WHERE name = ?", QuoteIdent(schema)));
    s.BindText(1, table);
    return s.Step() ? s.Int(0) : 0;
  } catch (const EngineError&) {
    return 0;  // no auto-increment table in this file
  }
}

void WriteSequence(sqlite3* db, const std::string& schema, const std::string& table, std::int64_t seq) {
  if (seq <= 0) return;
  try {
    Stmt up(db, fmt::format("UPDATE {}.sqlite_sequence SET seq = max(seq, ?) WHERE name = ?",
                            QuoteIdent(schema)));
    up.BindInt(1, seq).BindText(2, table);
    up.Step();
    if (sqlite3_changes(db) == 0) {
      Stmt ins(db, fmt::format("INSERT INTO {}.sqlite_sequence (name, seq) VALUES (?, ?)",
                               QuoteIdent(schema)));
      ins.BindText(1, table).BindInt(2, seq);
      ins.Step();
    }
  } catch (const EngineError&) {
    // The table has no auto-increment field: nothing to keep.
  }
}

// The value expression that fills a new field in existing rows.
std::string FillExpression(const FieldDef& f) {
  if (f.default_value.empty()) return "NULL";
  if (SameName(f.default_value, "CURRENT_DATE")) return "date('now','localtime')";
  if (f.type == FieldType::Boolean) return SameName(f.default_value, "True") ? "1" : "0";
  if (IsNumericType(f.type)) return f.default_value;
  return QuoteText(f.default_value);
}

}  // namespace

void Restructure(Database& db, std::string_view table, const TableDef& new_def) {
  const std::string schema = db.ResolveTable(table);
  TableLock exclusive = db.LockExclusive(schema);
  TableDef old = db.Definition(schema);
  TableDef def = new_def;
  def.name = old.name;
  def.file_name = old.file_name;
  TableDef scratch = def;
  scratch.name = old.name + "$new";

  std::string insert_cols, select_cols;
  for (const auto& f : def.fields) {
    insert_cols += (insert_cols.empty() ? "" : ", ") + QuoteIdent(f.name);
    std::string source = FillExpression(f);
    for (const auto& o : old.fields)
      if (o.number == f.number) source = QuoteIdent(o.name);
    select_cols += (select_cols.empty() ? "" : ", ") + source;
  }
  const std::string s = QuoteIdent(schema);
  db.StartTransaction({schema});
  try {
    sqlite3* h = db.handle();
    std::int64_t seq = ReadSequence(h, schema, old.name);
    Exec(h, CreateTableSql(schema, scratch));
    Exec(h, fmt::format("INSERT INTO {0}.{1} (rowid, {2}) SELECT rowid, {3} FROM {0}.{4}", s,
                        QuoteIdent(scratch.name), insert_cols, select_cols, QuoteIdent(old.name)));
    Exec(h, fmt::format("DROP TABLE {}.{}", s, QuoteIdent(old.name)));
    Exec(h, fmt::format("ALTER TABLE {}.{} RENAME TO {}", s, QuoteIdent(scratch.name),
                        QuoteIdent(def.name)));
    for (const auto& ix : def.indexes) {
      std::string sql = CreateIndexSql(schema, def, ix);
      if (!sql.empty()) Exec(h, sql);
    }
    WriteDefinition(h, schema, def);
    WriteSequence(h, schema, def.name, seq);
    db.Commit();
  } catch (...) {
    db.Rollback();
    db.InvalidateDefinition(schema);
    throw;
  }
  db.InvalidateDefinition(schema);
}

void SetTableInfo(Database& db, std::string_view table, const std::string& title, UserVersion version) {
  const std::string schema = db.ResolveTable(table);
  db.StartTransaction({schema});
  try {
    Stmt m(db.handle(), fmt::format("INSERT OR REPLACE INTO {}.tikora_meta (key, value) VALUES (?, ?)",
                                    QuoteIdent(schema)));
    const std::pair<const char*, std::string> rows[] = {
        {"title", title},
        {"version_major", std::to_string(version.major)},
        {"version_minor", std::to_string(version.minor)}};
    for (const auto& [k, v] : rows) {
      m.Reset();
      m.BindText(1, k).BindText(2, v);
      m.Step();
    }
    db.Commit();
  } catch (...) {
    db.Rollback();
    throw;
  }
}

VerifyResult Verify(Database& db, std::string_view table) {
  VerifyResult result;
  auto problem = [&](std::string text) {
    result.ok = false;
    result.problems.push_back(std::move(text));
  };
  try {
    FileConnection conn(db.TableFilePath(table));
    try {
      ReadDefinition(conn.db, "main");
    } catch (const EngineError& e) {
      problem(e.what());
    }
    Stmt check(conn.db, "PRAGMA integrity_check");
    while (check.Step()) {
      std::string line = check.Text(0);
      if (line != "ok") problem(line);
    }
  } catch (const EngineError& e) {
    problem(e.what());
  }
  return result;
}

std::int64_t Repair(Database& db, std::string_view table, bool force_index_rebuild) {
  const std::string schema = db.ResolveTable(table);
  TableLock exclusive = db.LockExclusive(schema);
  db.Detach(schema);
  db.InvalidateDefinition(schema);
  const std::string path = db.TableFilePath(table);

  TableDef def;
  std::int64_t seq = 0;
  const std::string fresh = path + ".repair";
  std::remove(fresh.c_str());
  std::int64_t salvaged = 0;
  {
    FileConnection src(path);
    try {
      def = ReadDefinition(src.db, "main");
    } catch (const EngineError& e) {
      // The stored definition is unreadable: fall back to the layout the installation knows.
      auto known = CurrentTableDef(schema);
      if (!known || e.code() == kErrOldFormat) throw;
      def = *known;
    }
    seq = ReadSequence(src.db, "main", def.name);
    CreateTableFile(fresh, def);
    FileConnection dst(fresh);
    Exec(dst.db, "BEGIN IMMEDIATE");
    const std::string cols = ColumnList(def);
    std::string marks;
    for (std::size_t i = 0; i < def.fields.size(); ++i) marks += ", ?";
    Stmt insert(dst.db, fmt::format("INSERT OR IGNORE INTO main.{} (rowid, {}) VALUES (?{})",
                                    QuoteIdent(def.name), cols, marks));
    // Walk the rows by rowid. A damaged page makes a read fail: step past it one rowid at a time,
    // then in growing strides, so every readable row after it is still found.
    std::int64_t after = std::numeric_limits<std::int64_t>::min();
    std::int64_t probe_step = 0;
    for (;;) {
      try {
        Stmt read(src.db, fmt::format("SELECT rowid, {} FROM main.{} WHERE rowid > ? ORDER BY rowid LIMIT 512",
                                      cols, QuoteIdent(def.name)));
        read.BindInt(1, after);
        int rows = 0;
        while (read.Step()) {
          insert.Reset();
          insert.BindInt(1, read.Int(0));
          for (std::size_t i = 0; i < def.fields.size(); ++i) {
            int c = static_cast<int>(i) + 1;
            switch (read.Type(c)) {
              case SQLITE_NULL: insert.BindNull(c + 1); break;
              case SQLITE_INTEGER: insert.BindInt(c + 1, read.Int(c)); break;
              case SQLITE_FLOAT: insert.BindDouble(c + 1, read.Double(c)); break;
              default: insert.BindText(c + 1, read.Text(c)); break;
            }
          }
          insert.Step();
          ++salvaged;
          after = read.Int(0);
          ++rows;
          probe_step = 0;
        }
        if (rows == 0) break;
      } catch (const EngineError&) {
        if (after == std::numeric_limits<std::int64_t>::min()) after = 0;
        probe_step = probe_step < 2048 ? probe_step + 1 : probe_step * 2;
        if (probe_step > (std::int64_t{1} << 40)) break;
        after += probe_step < 2048 ? 1 : probe_step;
      }
    }
    std::int64_t max_rowid = 0;
    {
      Stmt m(dst.db, fmt::format("SELECT max(rowid) FROM main.{}", QuoteIdent(def.name)));
      if (m.Step()) max_rowid = m.Int(0);
    }
    WriteSequence(dst.db, "main", def.name, std::max(seq, max_rowid));
    if (force_index_rebuild) Exec(dst.db, "REINDEX");
    Exec(dst.db, "COMMIT");
  }
  ReplaceFile(fresh, path, ".damaged", db.directory());
  return salvaged;
}

void ConvertTableFile(Database& db, std::string_view table) {
  const std::string schema = db.ResolveTable(table);
  TableLock exclusive = db.LockExclusive(schema);
  db.Detach(schema);
  db.InvalidateDefinition(schema);
  const std::string path = db.TableFilePath(table);
  const std::string fresh = path + ".convert";
  std::remove(fresh.c_str());
  {
    FileConnection src(path);
    int format = ReadEngineFormat(src.db, "main");
    if (format == kEngineFormat) return;
    if (format < kOldestReadableFormat || format > kEngineFormat)
      throw EngineError(kErrNotATableFile, fmt::format("'{}' has an unknown engine format {}", path, format));
    TableDef def = ReadOldDefinition(src.db, "main");
    std::int64_t seq = ReadSequence(src.db, "main", def.name);
    CreateTableFile(fresh, def);
    FileConnection dst(fresh);
    Stmt attach(dst.db, "ATTACH DATABASE ? AS old");
    attach.BindText(1, path);
    attach.Step();
    Exec(dst.db, "BEGIN IMMEDIATE");
    const std::string cols = ColumnList(def);
    Exec(dst.db, fmt::format("INSERT INTO main.{0} (rowid, {1}) SELECT rowid, {1} FROM old.{0}",
                             QuoteIdent(def.name), cols));
    WriteSequence(dst.db, "main", def.name, seq);
    Exec(dst.db, "COMMIT");
    Exec(dst.db, "DETACH DATABASE old");
  }
  ReplaceFile(fresh, path, "", db.directory());
}

std::vector<std::string> CreateDataTables(const std::string& directory, Layout layout) {
  std::vector<std::string> written;
  for (const auto& name : DataTableNames()) {
    TableDef def = *(layout == Layout::Base ? BaseTableDef(name) : CurrentTableDef(name));
    // An existing file of any case counts: names are case-insensitive.
    bool exists = false;
    std::string base = directory + "/";
    for (const char* ext : {".DAT", ".Dat", ".dat"})
      if (FileExists(base + def.name + ext)) exists = true;
    if (exists) continue;
    CreateTableFile(base + def.file_name, def);
    written.push_back(def.file_name);
  }
  return written;
}

}  // namespace tikora::engine
