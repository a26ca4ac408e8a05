// A database: the table files of one data folder, seen through one SQLite connection.
//
// The connection's main database is a small file in the data folder (".tikora-engine.db") that
// holds no table: with a real main file SQLite commits a transaction over several attached files
// atomically (a super-journal), which an in-memory main database does not. Each table file is
// ATTACHed under its base name ("TimeHist" for "TimeHist.DAT") when an operation needs it; at most
// kMaxAttached files are attached at once and idle ones are detached to make room. The in-memory
// table space is SQLite's temp schema.
//
// Sharing between processes: while a table is in use here (a table object has it open, or it is
// attached) this database holds a shared flock on the table's companion lock file
// (".<file>.lck" in the data folder). An exclusive open takes that lock exclusively without
// waiting, and fails with kErrAccessDenied while anyone else holds it.
//
// Write transactions name their tables; they begin with BEGIN IMMEDIATE while exactly those
// files are attached, so every table they write is locked for them from the start. Every
// BEGIN IMMEDIATE also locks the shared main file, so writers of one data folder take turns in
// any case; a gate lock file (".tikora-write.lck") makes them queue without SQLite's back-off.
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>
#include <time.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"
#include "engine/schema.h"
#include "engine/sqlite_util.h"

namespace tikora::engine {

inline constexpr int kMaxAttached = 10;
inline constexpr const char* kTempSchema = "temp";

class Database;

// A shared (or exclusive) hold on a table's lock file; released on destruction.
class TableLock {
 public:
  TableLock() = default;
  TableLock(Database* db, std::string schema, bool exclusive);
  TableLock(TableLock&& other) noexcept;
  TableLock& operator=(TableLock&& other) noexcept;
  ~TableLock();
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;
  bool held() const { return db_ != nullptr; }

 private:
  void Release();
  Database* db_ = nullptr;
  std::string schema_;
  bool exclusive_ = false;
};

// Keeps a table attached for the duration of one operation.
class AttachLease {
 public:
  AttachLease(Database& db, const std::string& schema);
  ~AttachLease();
  AttachLease(const AttachLease&) = delete;
  AttachLease& operator=(const AttachLease&) = delete;
  const std::string& schema() const { return schema_; }

 private:
  Database& db_;
  std::string schema_;
};

// Runs the reads made during its lifetime in one read transaction, so that they see one state of
// the files and SQLite locks and checks each file once instead of once per statement (a file
// lock, a hot-journal check and a header read each time). Does nothing when a transaction is
// already open. Every file it reads must be attached before it begins, and nothing may write or
// attach while it lasts.
class ReadTransaction {
 public:
  explicit ReadTransaction(Database& db);
  ~ReadTransaction();
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;

 private:
  sqlite3* began_ = nullptr;  // the connection, when this object began the transaction
};

class Database : public SchemaLookup {
 public:
  // Opens the data folder `directory` (which must exist).
  explicit Database(std::string directory);
  ~Database() override;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& directory() const { return directory_; }
  sqlite3* handle() const { return db_; }
  // How long a write waits for another process's lock before failing with kErrRecordLocked.
  void SetBusyTimeout(int milliseconds);
  int busy_timeout() const { return busy_timeout_ms_; }

  // The schema name of a table: the base name of its file in the data folder, found
  // case-insensitively ("timehist" and "TimeHist.dat" give "TimeHist"), or "temp" for a table of
  // the in-memory space. Throws kErrFileNotFound when there is no such table.
  std::string ResolveTable(std::string_view table) const;
  // Full path of a table's file (case as on disk). Throws kErrFileNotFound. The folder's
  // listing is read again only when the folder has changed since (see TableFileNames).
  std::string TableFilePath(std::string_view table) const;
  bool TableExists(std::string_view table) const;

  // Definition of a table (cached; re-read after restructuring; title and user version always
  // read afresh). `schema` as from ResolveTable.
  const TableDef& Definition(const std::string& schema);
  // Definition of a temp table by its name.
  const TableDef* TempDefinition(std::string_view name) const;
  // Forgets cached definitions of a schema (after restructuring or replacing its file).
  void InvalidateDefinition(const std::string& schema);

  // Attach manager. Attach() attaches `schema` unless attached and marks it recently used;
  // inside a transaction only the transaction's files may be used.
  void Attach(const std::string& schema);
  // Detaches every file not in use (no lease, not in the transaction).
  void DetachIdle();
  // Detaches one file (it must not be in use).
  void Detach(const std::string& schema);
  bool IsAttached(const std::string& schema) const;
  int AttachedCount() const { return static_cast<int>(attached_.size()); }

  // What a table's rows looked like to this connection: equal stamps taken at two moments mean
  // that no connection changed the file in between (SQLite's data version counts the commits of
  // other connections, the change count those of this one, and the attach serial tells a file
  // attached anew, whose data version starts over). `schema` must be attached or "temp".
  struct DataStamp {
    std::uint64_t attach_serial = 0;
    std::int64_t data_version = 0;
    std::int64_t own_changes = 0;
    bool operator==(const DataStamp&) const = default;
  };
  DataStamp CurrentDataStamp(const std::string& schema);

  // Locks (see TableLock).
  TableLock LockShared(const std::string& schema) { return TableLock(this, schema, false); }
  TableLock LockExclusive(const std::string& schema) { return TableLock(this, schema, true); }

  // Transactions over named tables.
  void StartTransaction(const std::vector<std::string>& tables);
  void Commit();
  void Rollback();
  bool InTransaction() const { return in_transaction_; }
  bool TransactionCovers(const std::string& schema) const;

  // The in-memory table space: creates (replacing any earlier one) a table in the temp schema.
  void CreateTempTable(const TableDef& def);

  // A cached prepared statement (reset, bindings cleared). Valid until the next Detach.
  Stmt& Prepare(const std::string& sql);

  // SchemaLookup for the SQL translator.
  std::optional<std::string> CanonicalTable(std::string_view table) const override;
  std::optional<Field> FindField(std::string_view canonical_table,
                                 std::string_view field) const override;
  std::optional<std::vector<Field>> Fields(std::string_view canonical_table) const override;

 private:
  friend class TableLock;
  friend class AttachLease;

  struct LockState {
    int fd = -1;
    int shared_refs = 0;
    bool exclusive = false;
  };
  struct Attachment {
    int leases = 0;
    std::uint64_t last_used = 0;
    std::uint64_t serial = 0;  // distinct for every ATTACH of this connection
    TableLock lock;
  };
  // The names of the data folder's table files as last read, and the folder's identity and
  // modification time at that reading.
  struct FolderListing {
    bool reusable = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    std::vector<std::string> table_files;
  };

  const TableDef& CheckedDefinition(const std::string& schema, bool fresh_info);
  const std::vector<std::string>& TableFileNames() const;
  std::string LockFilePath(const std::string& schema) const;
  void AcquireLock(const std::string& schema, bool exclusive);
  void ReleaseLock(const std::string& schema, bool exclusive);
  void MakeRoom();
  void AcquireWriteGate();
  void ReleaseWriteGate();
  void ClearStatementCache();

  std::string directory_;
  sqlite3* db_ = nullptr;
  int busy_timeout_ms_ = 10000;
  int gate_fd_ = -1;  // ".tikora-write.lck": one writer of the data folder at a time
  bool in_transaction_ = false;
  std::vector<std::string> transaction_tables_;
  std::map<std::string, Attachment> attached_;
  std::map<std::string, LockState> locks_;
  struct CachedDefinition {
    std::int64_t schema_version = 0;
    std::uint64_t checked_attachment = 0;  // serial of the attachment during which it was checked
    TableDef def;
  };
  std::map<std::string, CachedDefinition> definitions_;
  std::map<std::string, TableDef> temp_tables_;
  std::map<std::string, std::unique_ptr<Stmt>> statements_;
  std::uint64_t use_counter_ = 0;
  std::uint64_t attach_counter_ = 0;
  mutable FolderListing listing_;
};

}  // namespace tikora::engine
