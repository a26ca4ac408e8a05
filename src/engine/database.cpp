#include "engine/database.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/table_file.h"

namespace tikora::engine {
namespace {

constexpr const char* kMainFileName = ".tikora-engine.db";

bool HasTableExtension(std::string_view name) {
  return name.size() > 4 && SameName(name.substr(name.size() - 4), ".dat");
}

std::string_view BaseName(std::string_view file) { return file.substr(0, file.size() - 4); }

// The table name without a ".DAT" extension, as the caller wrote it.
std::string_view StripDat(std::string_view table) {
  return HasTableExtension(table) ? BaseName(table) : table;
}

// A folder listing is reused only when the folder's modification time lies this many seconds
// before the listing was read: file systems stamp changes with a coarse clock (up to whole
// seconds), so a change made right after the reading could carry the same time as the one before.
constexpr time_t kSettledFolderSeconds = 2;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Once per process, before SQLite starts: no page-cache memory set aside in bulk for each file.
// SQLite's default reserves twenty pages at the first read of every attached file, which a table
// of a few rows never uses and a CGI request pays for in page faults; pages now come one at a time.
void ConfigureSqliteOnce() {
  static const bool configured = [] {
    // SQLITE_MISUSE when SQLite was started already; its defaults then stay, which is harmless.
    (void)sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    return true;
  }();
  (void)configured;
}

}  // namespace

// ---- TableLock ------------------------------------------------------------------------------

TableLock::TableLock(Database* db, std::string schema, bool exclusive)
    : schema_(std::move(schema)), exclusive_(exclusive) {
  db->AcquireLock(schema_, exclusive_);
  db_ = db;
}

TableLock::TableLock(TableLock&& other) noexcept
    : db_(other.db_), schema_(std::move(other.schema_)), exclusive_(other.exclusive_) {
  other.db_ = nullptr;
}

TableLock& TableLock::operator=(TableLock&& other) noexcept {
  if (this != &other) {
    Release();
    db_ = other.db_;
    schema_ = std::move(other.schema_);
    exclusive_ = other.exclusive_;
    other.db_ = nullptr;
  }
  return *this;
}

TableLock::~TableLock() { Release(); }

void TableLock::Release() {
  if (db_) db_->ReleaseLock(schema_, exclusive_);
  db_ = nullptr;
}

// ---- AttachLease ----------------------------------------------------------------------------

AttachLease::AttachLease(Database& db, const std::string& schema) : db_(db), schema_(schema) {
  if (schema_ == kTempSchema) return;
  db_.Attach(schema_);
  ++db_.attached_[schema_].leases;
}

AttachLease::~AttachLease() {
  if (schema_ == kTempSchema) return;
  auto it = db_.attached_.find(schema_);
  if (it == db_.attached_.end()) return;
  --it->second.leases;
  // A file stays attached only while someone here has the table open: an idle attachment would
  // keep its shared lock and block other programs' exclusive opens indefinitely.
  auto lock = db_.locks_.find(schema_);
  bool only_the_attachment = lock != db_.locks_.end() && lock->second.shared_refs <= 1;
  if (it->second.leases == 0 && only_the_attachment && !db_.TransactionCovers(schema_)) {
    try {
      db_.Detach(schema_);
    } catch (const EngineError&) {
      // Stays attached; the next operation or DetachIdle retries.
    }
  }
}

// ---- ReadTransaction ------------------------------------------------------------------------

ReadTransaction::ReadTransaction(Database& db) {
  if (!sqlite3_get_autocommit(db.handle())) return;
  if (sqlite3_exec(db.handle(), "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) began_ = db.handle();
}

ReadTransaction::~ReadTransaction() {
  if (!began_ || sqlite3_get_autocommit(began_)) return;
  // Ending a read transaction releases its locks; a statement left unfinished by an error would
  // make COMMIT fail, and ROLLBACK ends the transaction in any case.
  if (sqlite3_exec(began_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    sqlite3_exec(began_, "ROLLBACK", nullptr, nullptr, nullptr);
}

// ---- Database -------------------------------------------------------------------------------

Database::Database(std::string directory) : directory_(std::move(directory)) {
  while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
  struct stat st {};
  if (stat(directory_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw EngineError(kErrFileNotFound,
                      fmt::format("The data folder '{}' does not exist", directory_));
  ConfigureSqliteOnce();
  std::string main_path = directory_ + "/" + kMainFileName;
  int rc = sqlite3_open_v2(main_path.c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw EngineError(kErrReadWrite, fmt::format("Cannot open the data folder '{}': {}", directory_, msg));
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, busy_timeout_ms_);
  RegisterStoredValueFunction(db_);
  Exec(db_, "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL; PRAGMA temp_store = MEMORY");
}

Database::~Database() {
  if (in_transaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  statements_.clear();
  for (auto& [schema, a] : attached_)
    sqlite3_exec(db_, fmt::format("DETACH {}", QuoteIdent(schema)).c_str(), nullptr, nullptr, nullptr);
  // Detached above; destroying the attachments releases their locks, which must not look back
  // into the map while it is being destroyed.
  auto attached = std::move(attached_);
  attached_.clear();
  attached.clear();
  sqlite3_close(db_);
  for (auto& [schema, l] : locks_)
    if (l.fd >= 0) close(l.fd);
  if (gate_fd_ >= 0) close(gate_fd_);
}

void Database::SetBusyTimeout(int milliseconds) {
  busy_timeout_ms_ = milliseconds;
  sqlite3_busy_timeout(db_, milliseconds);
}

std::string Database::ResolveTable(std::string_view table) const {
  std::string_view wanted = StripDat(table);
  if (SameName(wanted, kTempSchema)) throw EngineError(kErrFileNotFound, "Table 'temp' not found");
  for (const auto& [name, def] : temp_tables_)
    if (SameName(name, wanted)) return kTempSchema;
  // The schema name is the file's base name as it lies on disk.
  std::string path = TableFilePath(wanted);
  std::string_view file = std::string_view(path).substr(path.rfind('/') + 1);
  return std::string(BaseName(file));
}

// Resolving a name costs one stat of the folder while the folder stays as it was; any file
// created, removed or renamed in it (by any process) changes its modification time, and the
// listing is read again. A folder replaced as a whole shows as another device or inode.
const std::vector<std::string>& Database::TableFileNames() const {
  struct stat folder {};
  if (stat(directory_.c_str(), &folder) != 0)
    throw EngineError(kErrFileNotFound, fmt::format("Cannot read the data folder '{}'", directory_));
  if (listing_.reusable && listing_.device == folder.st_dev && listing_.inode == folder.st_ino &&
      SameTime(listing_.modified, folder.st_mtim))
    return listing_.table_files;

  listing_.reusable = false;
  listing_.table_files.clear();
  DIR* dir = opendir(directory_.c_str());
  if (!dir) throw EngineError(kErrFileNotFound, fmt::format("Cannot read the data folder '{}'", directory_));
  while (dirent* e = readdir(dir)) {
    std::string_view name = e->d_name;
    if (HasTableExtension(name)) listing_.table_files.emplace_back(name);
  }
  closedir(dir);
  // Names in the order the folder gives them would make the choice between two files differing
  // only in letter case depend on the file system; sorted, it is always the same one.
  std::sort(listing_.table_files.begin(), listing_.table_files.end());
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  listing_.device = folder.st_dev;
  listing_.inode = folder.st_ino;
  listing_.modified = folder.st_mtim;
  listing_.reusable = now.tv_sec - folder.st_mtim.tv_sec >= kSettledFolderSeconds;
  return listing_.table_files;
}

std::string Database::TableFilePath(std::string_view table) const {
  std::string_view wanted = StripDat(table);
  for (const std::string& name : TableFileNames()) {
    if (SameName(BaseName(name), wanted)) return directory_ + "/" + name;
  }
  throw EngineError(kErrFileNotFound,
                    fmt::format("Table '{}' does not exist in '{}'", std::string(table), directory_));
}

bool Database::TableExists(std::string_view table) const {
  try {
    ResolveTable(table);
    return true;
  } catch (const EngineError&) {
    return false;
  }
}

const TableDef& Database::Definition(const std::string& schema) {
  return CheckedDefinition(schema, /*fresh_info=*/true);
}

// While this connection keeps a file attached it holds the file's shared lock, and every change
// of a table's fields or indexes (restructuring, repair, conversion, replacing the file) needs
// the exclusive lock: so a definition checked during the current attachment of its file still
// holds, and is trusted without a statement. Title and user version are rows that change without
// the exclusive lock, so they are read again when asked for.
const TableDef& Database::CheckedDefinition(const std::string& schema, bool fresh_info) {
  if (schema == kTempSchema) throw EngineError(kErrInternal, "temp tables are looked up by name");
  AttachLease lease(*this, schema);
  const std::uint64_t attachment = attached_.at(schema).serial;
  auto it = definitions_.find(schema);
  const bool checked = it != definitions_.end() && it->second.checked_attachment == attachment;
  if (checked && !fresh_info) return it->second.def;

  ReadTransaction read(*this);
  bool read_now = false;
  if (!checked) {
    // Cached statements: a process asks for the definitions of the same few tables again and again.
    Stmt& v = Prepare(fmt::format("PRAGMA {}.schema_version", QuoteIdent(schema)));
    v.Step();
    const std::int64_t version = v.Int(0);
    v.Reset();
    if (it == definitions_.end() || it->second.schema_version != version) {
      TableDef def = ReadDefinition(db_, schema);
      std::string path = TableFilePath(schema);
      def.file_name = path.substr(path.rfind('/') + 1);
      it = definitions_.insert_or_assign(schema, CachedDefinition{version, 0, std::move(def)}).first;
      read_now = true;
    }
    it->second.checked_attachment = attachment;
  }
  if (fresh_info && !read_now) {
    Stmt& m = Prepare(fmt::format("SELECT key, value FROM {}.tikora_meta WHERE key IN "
                                  "('title','version_major','version_minor')", QuoteIdent(schema)));
    while (m.Step()) {
      std::string k = m.Text(0);
      if (k == "title") it->second.def.title = m.Text(1);
      if (k == "version_major") it->second.def.version.major = std::atoi(m.Text(1).c_str());
      if (k == "version_minor") it->second.def.version.minor = std::atoi(m.Text(1).c_str());
    }
    m.Reset();
  }
  return it->second.def;
}

const TableDef* Database::TempDefinition(std::string_view name) const {
  for (const auto& [n, def] : temp_tables_)
    if (SameName(n, name)) return &def;
  return nullptr;
}

void Database::InvalidateDefinition(const std::string& schema) { definitions_.erase(schema); }

bool Database::IsAttached(const std::string& schema) const { return attached_.count(schema) > 0; }

void Database::Attach(const std::string& schema) {
  auto it = attached_.find(schema);
  if (it != attached_.end()) {
    it->second.last_used = ++use_counter_;
    return;
  }
  if (in_transaction_)
    throw EngineError(kErrTransaction,
                      fmt::format("Table '{}' is not part of the current transaction", schema));
  MakeRoom();
  TableLock lock(this, schema, false);
  std::string path = TableFilePath(schema);
  // Attaching changes the schema: cached statements must not outlive it.
  ClearStatementCache();
  Stmt attach(db_, fmt::format("ATTACH DATABASE ? AS {}", QuoteIdent(schema)));
  attach.BindText(1, path);
  attach.Step();
  Attachment a;
  a.last_used = ++use_counter_;
  a.serial = ++attach_counter_;
  a.lock = std::move(lock);
  attached_.emplace(schema, std::move(a));
}

Database::DataStamp Database::CurrentDataStamp(const std::string& schema) {
  DataStamp stamp;
  if (schema != kTempSchema) {
    auto it = attached_.find(schema);
    if (it == attached_.end())
      throw EngineError(kErrInternal, fmt::format("Table '{}' is not attached", schema));
    stamp.attach_serial = it->second.serial;
  }
  Stmt& version = Prepare(fmt::format("PRAGMA {}.data_version", QuoteIdent(schema)));
  version.Step();
  stamp.data_version = version.Int(0);
  version.Reset();
  stamp.own_changes = sqlite3_total_changes64(db_);
  return stamp;
}

void Database::MakeRoom() {
  while (static_cast<int>(attached_.size()) >= kMaxAttached) {
    auto victim = attached_.end();
    for (auto it = attached_.begin(); it != attached_.end(); ++it) {
      if (it->second.leases > 0 || TransactionCovers(it->first)) continue;
      if (victim == attached_.end() || it->second.last_used < victim->second.last_used) victim = it;
    }
    if (victim == attached_.end())
      throw EngineError(kErrInternal, fmt::format("More than {} tables in use at once", kMaxAttached));
    Detach(victim->first);
  }
}

void Database::Detach(const std::string& schema) {
  auto it = attached_.find(schema);
  if (it == attached_.end()) return;
  if (it->second.leases > 0 || TransactionCovers(schema))
    throw EngineError(kErrInternal, fmt::format("Table '{}' is in use", schema));
  ClearStatementCache();
  Exec(db_, fmt::format("DETACH DATABASE {}", QuoteIdent(schema)));
  attached_.erase(it);
}

void Database::DetachIdle() {
  std::vector<std::string> idle;
  for (const auto& [schema, a] : attached_)
    if (a.leases == 0 && !TransactionCovers(schema)) idle.push_back(schema);
  for (const auto& s : idle) Detach(s);
}

std::string Database::LockFilePath(const std::string& schema) const {
  return directory_ + "/." + schema + ".lck";
}

void Database::AcquireLock(const std::string& schema, bool exclusive) {
  if (schema == kTempSchema) return;
  LockState& st = locks_[schema];
  if (exclusive && (st.shared_refs > 0 || st.exclusive))
    throw EngineError(kErrAccessDenied,
                      fmt::format("Access denied: table '{}' is open", schema));
  if (!exclusive && st.exclusive) {  // our own exclusive hold covers shared use
    ++st.shared_refs;
    return;
  }
  if (!exclusive && st.shared_refs > 0) {
    ++st.shared_refs;
    return;
  }
  if (st.fd < 0) {
    st.fd = open(LockFilePath(schema).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (st.fd < 0)
      throw EngineError(kErrReadWrite, fmt::format("Cannot open the lock file of table '{}': {}",
                                                   schema, std::strerror(errno)));
  }
  if (exclusive) {
    if (flock(st.fd, LOCK_EX | LOCK_NB) != 0)
      throw EngineError(kErrAccessDenied,
                        fmt::format("Access denied: table '{}' is open in another program", schema));
    st.exclusive = true;
    return;
  }
  // A shared hold waits out a short exclusive use (restructuring) up to the busy timeout.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms_);
  while (flock(st.fd, LOCK_SH | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() >= deadline)
      throw EngineError(kErrAccessDenied,
                        fmt::format("Access denied: table '{}' is in exclusive use", schema));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  st.shared_refs = 1;
}

void Database::ReleaseLock(const std::string& schema, bool exclusive) {
  if (schema == kTempSchema) return;
  auto it = locks_.find(schema);
  if (it == locks_.end()) return;
  LockState& st = it->second;
  if (exclusive) {
    st.exclusive = false;
    if (st.shared_refs > 0) flock(st.fd, LOCK_SH);  // downgrade for our remaining shared users
  } else if (--st.shared_refs > 0 || st.exclusive) {
    // When only an idle attachment is left holding the lock, let the file go (see ~AttachLease).
    auto a = attached_.find(schema);
    if (st.shared_refs == 1 && !st.exclusive && a != attached_.end() && a->second.leases == 0 &&
        !TransactionCovers(schema)) {
      try {
        Detach(schema);  // releases the attachment's hold, re-entering this function
      } catch (const EngineError&) {
      }
    }
    return;
  }
  if (st.shared_refs == 0 && !st.exclusive) {
    flock(st.fd, LOCK_UN);
    close(st.fd);
    locks_.erase(it);
  }
}

bool Database::TransactionCovers(const std::string& schema) const {
  if (!in_transaction_) return false;
  for (const auto& t : transaction_tables_)
    if (t == schema) return true;
  return false;
}

void Database::StartTransaction(const std::vector<std::string>& tables) {
  if (in_transaction_) throw EngineError(kErrTransaction, "A transaction is already active");
  std::vector<std::string> schemas;
  for (const auto& t : tables) {
    std::string s = ResolveTable(t);
    if (s != kTempSchema) schemas.push_back(s);
  }
  if (schemas.size() > static_cast<std::size_t>(kMaxAttached))
    throw EngineError(kErrTransaction, "Too many tables in one transaction");
  // Exactly the transaction's files must be attached when BEGIN IMMEDIATE write-locks them.
  for (auto it = attached_.begin(); it != attached_.end();) {
    bool wanted = std::find(schemas.begin(), schemas.end(), it->first) != schemas.end();
    auto next = std::next(it);
    if (!wanted) {
      if (it->second.leases > 0)
        throw EngineError(kErrTransaction,
                          fmt::format("Table '{}' is busy and not part of the transaction", it->first));
      Detach(it->first);
    }
    it = next;
  }
  for (const auto& s : schemas) Attach(s);
  transaction_tables_ = schemas;
  AcquireWriteGate();
  int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    transaction_tables_.clear();
    ReleaseWriteGate();
    ThrowSqlite(db_, rc, "Cannot start the transaction");
  }
  in_transaction_ = true;
}

void Database::AcquireWriteGate() {
  if (gate_fd_ < 0) {
    gate_fd_ = open((directory_ + "/.tikora-write.lck").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (gate_fd_ < 0)
      throw EngineError(kErrReadWrite, fmt::format("Cannot open the write lock of '{}': {}",
                                                   directory_, std::strerror(errno)));
  }
  // Poll briefly rather than leave the waiting to SQLite's busy handler, whose back-off of up to
  // 100 ms lets newcomers overtake a waiter again and again under many writers.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms_);
  while (flock(gate_fd_, LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() >= deadline)
      throw EngineError(kErrRecordLocked, "Table locked: the data is in use by another user");
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

void Database::ReleaseWriteGate() {
  if (gate_fd_ >= 0) flock(gate_fd_, LOCK_UN);
}

void Database::Commit() {
  if (!in_transaction_) throw EngineError(kErrTransaction, "No transaction is active");
  int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    // A busy COMMIT can be retried; anything else leaves the transaction rolled back.
    int code = EngineCodeFor(sqlite3_extended_errcode(db_));
    if (code != kErrRecordLocked) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      in_transaction_ = false;
      transaction_tables_.clear();
    }
    if (!in_transaction_) ReleaseWriteGate();
    ThrowSqlite(db_, rc, "Cannot commit");
  }
  in_transaction_ = false;
  transaction_tables_.clear();
  ReleaseWriteGate();
}

void Database::Rollback() {
  if (!in_transaction_) return;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  transaction_tables_.clear();
  ReleaseWriteGate();
}

void Database::CreateTempTable(const TableDef& def) {
  for (auto it = temp_tables_.begin(); it != temp_tables_.end(); ++it) {
    if (SameName(it->first, def.name)) {
      ClearStatementCache();
      Exec(db_, fmt::format("DROP TABLE IF EXISTS temp.{}", QuoteIdent(it->first)));
      temp_tables_.erase(it);
      break;
    }
  }
  ClearStatementCache();
  Exec(db_, CreateTableSql(kTempSchema, def));
  for (const auto& ix : def.indexes) {
    std::string sql = CreateIndexSql(kTempSchema, def, ix);
    if (!sql.empty()) Exec(db_, sql);
  }
  temp_tables_.emplace(def.name, def);
}

Stmt& Database::Prepare(const std::string& sql) {
  auto it = statements_.find(sql);
  if (it == statements_.end()) it = statements_.emplace(sql, std::make_unique<Stmt>(db_, sql)).first;
  it->second->Reset();
  return *it->second;
}

void Database::ClearStatementCache() { statements_.clear(); }

std::optional<std::string> Database::CanonicalTable(std::string_view table) const {
  if (const TableDef* t = TempDefinition(StripDat(table))) return t->name;
  try {
    std::string schema = ResolveTable(table);
    return const_cast<Database*>(this)->CheckedDefinition(schema, /*fresh_info=*/false).name;
  } catch (const EngineError&) {
    return std::nullopt;
  }
}

std::optional<SchemaLookup::Field> Database::FindField(std::string_view canonical_table,
                                                       std::string_view field) const {
  auto fields = Fields(canonical_table);
  if (!fields) return std::nullopt;
  for (const auto& f : *fields)
    if (SameName(f.name, field)) return f;
  return std::nullopt;
}

std::optional<std::vector<SchemaLookup::Field>> Database::Fields(
    std::string_view canonical_table) const {
  const TableDef* def = TempDefinition(canonical_table);
  if (!def) {
    try {
      // Lookups are logically const: they only fill the definition cache.
      def = &const_cast<Database*>(this)->CheckedDefinition(ResolveTable(canonical_table),
                                                            /*fresh_info=*/false);
    } catch (const EngineError&) {
      return std::nullopt;
    }
  }
  std::vector<Field> out;
  for (const auto& f : def->fields) out.push_back({f.name, f.type, f.size});
  return out;
}

}  // namespace tikora::engine
