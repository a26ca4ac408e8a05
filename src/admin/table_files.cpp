#include "admin/table_files.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "engine/database.h"
#include "engine/errors.h"
#include "engine/schema.h"
#include "engine/sqlite_util.h"
#include "engine/table_file.h"

namespace tikora::admin {
namespace fs = std::filesystem;
namespace {

// zlib's usual level: libzip's own default (9) spends several times longer on table files for
// an archive barely smaller.
constexpr zip_uint32_t kDeflateLevel = 6;

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         engine::SameName(std::string_view(text).substr(text.size() - suffix.size()), suffix);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return (fs::path(dir) / name).string();
}

// True when the file starts with SQLite's header, i.e. it is (or claims to be) a table file.
bool HasSqliteHeader(const std::string& path) {
  static constexpr char kHeader[] = "SQLite format 3";
  char buf[sizeof kHeader] = {};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::size_t n = std::fread(buf, 1, sizeof buf, f);
  std::fclose(f);
  return n == sizeof buf && std::memcmp(buf, kHeader, sizeof kHeader) == 0;
}

// An SQLite connection on one file, closed on destruction.
class Connection {
 public:
  Connection(const std::string& path, int flags) {
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      db_ = nullptr;
      throw TableFileError("Cannot open " + path + ": " + msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 10000);
  }
  ~Connection() { sqlite3_close(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  sqlite3* get() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

void ExecOrThrow(sqlite3* db, const char* sql, const std::string& what) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string msg = err != nullptr ? err : sqlite3_errmsg(db);
    sqlite3_free(err);
    throw TableFileError(what + ": " + msg);
  }
}

void SyncDirectory(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

}  // namespace

bool IsTableFileName(const std::string& name) { return EndsWithNoCase(name, ".DAT"); }

std::string FindFileIgnoringCase(const std::string& dir, const std::string& name) {
  std::error_code ec;
  if (fs::is_regular_file(fs::path(dir) / name, ec)) return name;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    std::string n = e.path().filename().string();
    if (engine::SameName(n, name) && e.is_regular_file(ec)) return n;
  }
  return {};
}

std::vector<std::string> BackupFileNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    std::string n = e.path().filename().string();
    if (n.empty() || n[0] == '.' || !e.is_regular_file(ec)) continue;
    if (IsTableFileName(n) || EndsWithNoCase(n, ".IDX") || n == "Tikora.ini") names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SnapshotFiles(const std::string& source_dir,
                                       const std::vector<std::string>& names,
                                       const std::string& dest_dir) {
  struct Source {
    std::string name;
    std::unique_ptr<Connection> connection;
  };
  std::vector<Source> tables;
  std::vector<std::string> plain;
  std::error_code ec;
  for (const auto& name : names) {
    const std::string path = JoinPath(source_dir, name);
    if (!fs::is_regular_file(path, ec)) continue;
    if (HasSqliteHeader(path)) {
      tables.push_back({name, nullptr});
    } else {
      plain.push_back(name);
    }
  }

  std::vector<std::string> copied;
  try {
    engine::Database gate(source_dir);
    // A shared hold on every table keeps restores and synchronisations of other programs from
    // replacing a file while it is copied.
    std::vector<engine::TableLock> holds;
    for (const auto& t : tables) {
      if (!engine::CurrentTableDef(fs::path(t.name).stem().string())) continue;
      holds.push_back(gate.LockShared(gate.ResolveTable(t.name)));
    }
    // Every writer of the data folder holds the write gate for its whole transaction; while we
    // hold it no transaction is half done, so read transactions begun now see one moment.
    gate.StartTransaction({});
    try {
      for (auto& t : tables) {
        t.connection = std::make_unique<Connection>(JoinPath(source_dir, t.name), SQLITE_OPEN_READWRITE);
        ExecOrThrow(t.connection->get(), "BEGIN", "Cannot read " + t.name);
        ExecOrThrow(t.connection->get(), "SELECT count(*) FROM sqlite_schema", "Cannot read " + t.name);
      }
    } catch (...) {
      gate.Rollback();
      throw;
    }
    gate.Rollback();

    for (auto& t : tables) {
      const std::string dest = JoinPath(dest_dir, t.name);
      fs::remove(dest, ec);
      {
        Connection out(dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        // A scratch copy: it needs no journal and no flush to disk of its own.
        ExecOrThrow(out.get(), "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", "Cannot copy " + t.name);
        sqlite3_backup* b = sqlite3_backup_init(out.get(), "main", t.connection->get(), "main");
        if (b == nullptr) throw TableFileError("Cannot copy " + t.name + ": " + sqlite3_errmsg(out.get()));
        int rc = sqlite3_backup_step(b, -1);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE)
          throw TableFileError("Cannot copy " + t.name + ": " + sqlite3_errstr(rc));
      }
      // End the read transaction at once: writers of this table wait only as long as its copy.
      sqlite3_exec(t.connection->get(), "COMMIT", nullptr, nullptr, nullptr);
      t.connection.reset();
      copied.push_back(t.name);
    }
  } catch (const engine::EngineError& e) {
    throw TableFileError(e.what());
  }
  for (const auto& name : plain) {
    fs::copy_file(JoinPath(source_dir, name), JoinPath(dest_dir, name),
                  fs::copy_options::overwrite_existing, ec);
    if (ec) throw TableFileError("Cannot copy " + name + ": " + ec.message());
    copied.push_back(name);
  }
  return copied;
}

std::string CheckTableFile(const std::string& path) {
  const std::string file = fs::path(path).filename().string();
  const std::string table = fs::path(path).stem().string();
  try {
    if (!HasSqliteHeader(path)) return file + " is not a table file";
    Connection c(path, SQLITE_OPEN_READONLY);
    sqlite3* db = c.get();
    {
      engine::Stmt check(db, "PRAGMA quick_check");
      if (!check.Step() || check.Text(0) != "ok") return file + " is damaged";
    }
    {
      engine::Stmt app(db, "PRAGMA application_id");
      if (!app.Step() || app.Int(0) != engine::kTableFileApplicationId)
        return file + " is not a table file";
    }
    {
      engine::Stmt other(db, "SELECT count(*) FROM sqlite_schema WHERE type NOT IN ('table', 'index')");
      if (!other.Step() || other.Int(0) != 0) return file + " holds objects other than tables";
    }
    int format = engine::ReadEngineFormat(db, "main");
    if (format < engine::kOldestReadableFormat || format > engine::kEngineFormat)
      return file + " has an unknown engine format";
    engine::TableDef def = format == engine::kEngineFormat ? engine::ReadDefinition(db, "main")
                                                            : engine::ReadOldDefinition(db, "main");
    if (!engine::SameName(def.name, table)) return file + " holds the table " + def.name;
    engine::Stmt rows(db, "SELECT count(*) FROM main." + engine::QuoteIdent(def.name));
    rows.Step();
  } catch (const std::exception& e) {
    return file + ": " + e.what();
  }
  return {};
}

void ReplaceFiles(const std::string& data_dir, const std::vector<Replacement>& replacements) {
  struct Plan {
    std::string target;  // full path
    std::string source;
    std::string saved;   // where the old file waits until all are in place; empty when none
  };
  std::vector<Plan> plans;
  engine::Database locker(data_dir);
  std::vector<engine::TableLock> holds;
  for (const auto& r : replacements) {
    std::string existing = FindFileIgnoringCase(data_dir, r.target_name);
    Plan p{JoinPath(data_dir, existing.empty() ? r.target_name : existing), r.source, {}};
    if (!existing.empty()) {
      p.saved = p.target + ".replaced~";
      if (IsTableFileName(existing) && HasSqliteHeader(p.target)) {
        try {
          holds.push_back(locker.LockExclusive(locker.ResolveTable(existing)));
        } catch (const engine::EngineError& e) {
          throw TableFileError("The table " + existing + " is in use by another program (" +
                               e.what() + ")");
        }
      }
    }
    plans.push_back(std::move(p));
  }

  std::size_t done = 0;  // plans whose new file is in place
  bool old_moved = false;
  auto fail = [&](const std::string& what) {
    std::string reason = what + ": " + std::strerror(errno);
    // Put everything back as it was, newest first.
    if (old_moved && !plans[done].saved.empty()) ::rename(plans[done].saved.c_str(), plans[done].target.c_str());
    while (done > 0) {
      --done;
      const Plan& p = plans[done];
      ::rename(p.target.c_str(), p.source.c_str());
      if (!p.saved.empty()) ::rename(p.saved.c_str(), p.target.c_str());
    }
    throw TableFileError(reason);
  };
  for (; done < plans.size(); ++done) {
    const Plan& p = plans[done];
    old_moved = false;
    // A rollback journal left by a crash belongs to the old file, never to the new one.
    ::unlink((p.target + "-journal").c_str());
    if (!p.saved.empty()) {
      if (::rename(p.target.c_str(), p.saved.c_str()) != 0) fail("Cannot move " + p.target);
      old_moved = true;
    }
    if (::rename(p.source.c_str(), p.target.c_str()) != 0) fail("Cannot replace " + p.target);
  }
  for (const auto& p : plans)
    if (!p.saved.empty()) ::unlink(p.saved.c_str());
  SyncDirectory(data_dir);
}

void WriteZipArchive(const std::string& archive_path, const std::vector<ArchiveEntry>& entries) {
  const std::string part = archive_path + ".part" + std::to_string(getpid());
  int code = 0;
  zip_t* za = zip_open(part.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (za == nullptr) throw TableFileError("Cannot create " + archive_path + ": " + ZipErrorText(code));
  auto abandon = [&](const std::string& reason) {
    zip_discard(za);
    ::unlink(part.c_str());
    throw TableFileError("Cannot write " + archive_path + ": " + reason);
  };
  for (const auto& e : entries) {
    zip_source_t* src = zip_source_file(za, e.path.c_str(), 0, -1);
    if (src == nullptr) abandon(e.name + ": " + zip_strerror(za));
    zip_int64_t index = zip_file_add(za, e.name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(src);
      abandon(e.name + ": " + zip_strerror(za));
    }
    auto i = static_cast<zip_uint64_t>(index);
    zip_set_file_compression(za, i, ZIP_CM_DEFLATE, kDeflateLevel);
    struct stat st {};
    if (::stat(e.path.c_str(), &st) == 0) zip_file_set_mtime(za, i, st.st_mtime, 0);
  }
  if (zip_close(za) != 0) {
    std::string reason = zip_strerror(za);
    abandon(reason);
  }
  if (::rename(part.c_str(), archive_path.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    ::unlink(part.c_str());
    throw TableFileError("Cannot write " + archive_path + ": " + reason);
  }
}

std::vector<std::string> ExtractZipArchive(const std::string& archive_path,
                                           const std::string& dest_dir) {
  int code = 0;
  zip_t* za = zip_open(archive_path.c_str(), ZIP_RDONLY, &code);
  if (za == nullptr) throw TableFileError("Cannot open " + archive_path + ": " + ZipErrorText(code));
  std::unique_ptr<zip_t, void (*)(zip_t*)> guard(za, [](zip_t* z) { zip_discard(z); });
  std::vector<std::string> written;
  zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    if (zip_stat_index(za, index, 0, &st) != 0) throw TableFileError(zip_strerror(za));
    std::string name = st.name != nullptr ? st.name : "";
    if (name.empty() || name.back() == '/' || name.back() == '\\') continue;  // a folder
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (name.empty() || name[0] == '.') continue;

    zip_file_t* in = zip_fopen_index(za, index, 0);
    if (in == nullptr)
      throw TableFileError("Cannot read " + name + " from the archive: " + zip_strerror(za));
    const std::string out_path = JoinPath(dest_dir, name);
    std::FILE* out = std::fopen(out_path.c_str(), "wb");
    if (out == nullptr) {
      zip_fclose(in);
      throw TableFileError("Cannot write " + out_path + ": " + std::strerror(errno));
    }
    std::vector<char> buf(1 << 16);
    bool ok = true;
    zip_int64_t n;
    while ((n = zip_fread(in, buf.data(), buf.size())) > 0)
      if (std::fwrite(buf.data(), 1, static_cast<std::size_t>(n), out) != static_cast<std::size_t>(n)) ok = false;
    if (n < 0) ok = false;
    if (zip_fclose(in) != 0) ok = false;  // also reports a checksum mismatch
    if (std::fclose(out) != 0) ok = false;
    if (!ok) throw TableFileError("The archive entry " + name + " cannot be read");
    written.erase(std::remove(written.begin(), written.end(), name), written.end());
    written.push_back(name);
  }
  return written;
}

ScratchFolder::ScratchFolder(const std::string& parent, const std::string& prefix) {
  std::string tmpl = JoinPath(parent, prefix + "XXXXXX");
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr)
    throw TableFileError("Cannot create a temporary folder in " + parent + ": " + std::strerror(errno));
  path_ = buf.data();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace tikora::admin
