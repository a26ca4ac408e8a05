// Administrator benchmarks, each against a baseline doing the same work in the same run.
//
//   bench_admin [ROWS]        (default 1,000,000 time records)
//
// 1. The upgrade of a data folder of the oldest layout whose TimeHist holds ROWS records, against
//    raw SQLite rewriting a copy of the same file into the current layout.
// 2. The backup of that data folder (consistent snapshot + ZIP) against `zip -r` of a plain copy
//    of the same files.
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "admin/data_access.h"
#include "admin/table_files.h"
#include "admin/upgrade.h"
#include "core/config.h"
#include "core/system_helpers.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table_file.h"
#include "bench_support.h"

using namespace tikora;
using bench::Clock;
namespace fs = std::filesystem;

namespace {

using bench::Exec;
using bench::Seconds;

void Report(const char* what, double ours_s, double baseline_s, const char* baseline) {
  bench::Report(what, ours_s, baseline_s, baseline, 44, 10);
}

// Fills the oldest-layout TimeHist of `dir` with `rows` records (setup, not measured).
void FillOldTimeHist(const std::string& dir, std::int64_t rows) {
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/TimeHist.DAT").c_str(), &db);
  Exec(db, "BEGIN");
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO TimeHist (\"User ID\", Account, Job_Code, \"Start Time\", "
                     "\"End Time\", Comments) VALUES (?, ?, ?, ?, ?, ?)",
                     -1, &ins, nullptr);
  const std::int64_t first = ToMilliseconds(EncodeDate(2000, 1, 1));
  for (std::int64_t i = 0; i < rows; ++i) {
    const std::int64_t start = first + i * 600'000;
    const std::string user = "user" + std::to_string(i % 50);
    const std::string account = "ACCT" + std::to_string(i % 40);
    const std::string job = "JOB" + std::to_string(i % 12);
    const std::string s = FormatIsoTimestamp(FromMilliseconds(start));
    const std::string e = FormatIsoTimestamp(FromMilliseconds(start + 540'000));
    sqlite3_bind_text(ins, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 2, account.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, job.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 4, s.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 5, e.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, "work on the project", -1, SQLITE_STATIC);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

// The baseline upgrade: raw SQLite rewrites the rows into the current layout with its indexes.
void RawUpgrade(const std::string& file) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  Exec(db, "ATTACH DATABASE '" + file + "' AS x");  // schema-qualified DDL as the engine writes it
  engine::TableDef def = *engine::CurrentTableDef("TimeHist");
  engine::TableDef scratch = def;
  scratch.name = "TimeHist$new";
  Exec(db, "BEGIN IMMEDIATE");
  Exec(db, engine::CreateTableSql("x", scratch));
  Exec(db, "INSERT INTO x.\"TimeHist$new\" (rowid, \"ID\", \"User ID\", \"Account\", \"Job_Code\", "
           "\"Start Time\", \"End Time\", \"Comments\") SELECT rowid, \"ID\", \"User ID\", "
           "\"Account\", \"Job_Code\", \"Start Time\", \"End Time\", \"Comments\" FROM x.\"TimeHist\"");
  Exec(db, "DROP TABLE x.\"TimeHist\"");
  Exec(db, "ALTER TABLE x.\"TimeHist$new\" RENAME TO \"TimeHist\"");
  for (const auto& ix : def.indexes) {
    std::string sql = engine::CreateIndexSql("x", def, ix);
    if (!sql.empty()) Exec(db, sql);
  }
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

std::string Folder(const std::string& name) {
  std::string dir = (fs::temp_directory_path() / name).string();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::uintmax_t FolderBytes(const std::string& dir) {
  std::uintmax_t total = 0;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename().string()[0] != '.') total += e.file_size();
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  const std::string root = Folder("tikora-bench-admin");
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  const std::string program = root + "/prog/";
  const std::string data = program + "TIKData";
  fs::create_directories(data);
  engine::CreateDataTables(data, engine::Layout::Base);
  FillOldTimeHist(data, rows);
  const std::string raw_dir = Folder("tikora-bench-admin-raw");
  fs::copy_file(data + "/TimeHist.DAT", raw_dir + "/TimeHist.DAT");

  std::printf("Administrator benchmarks over %lld time records\n\n", static_cast<long long>(rows));
  std::printf("| measurement | ours (s) | baseline (s) | ratio |\n|---|---|---|---|\n");

  // ---- Upgrade
  double ours_upgrade;
  {
    engine::Database db(data);
    StderrPrompter prompter;
    auto t0 = Clock::now();
    admin::UpgradeReport report = admin::UpdateDatabase(db, prompter);
    ours_upgrade = Seconds(t0);
    if (report.update_failed || !report.errors.empty()) return 1;
  }
  auto t0 = Clock::now();
  RawUpgrade(raw_dir + "/TimeHist.DAT");
  double raw_upgrade = Seconds(t0);
  Report("upgrade of a 1.0 data folder (TimeHist to 1.7)", ours_upgrade, raw_upgrade,
         "raw SQLite rewrite");

  // ---- Backup
  SetProgramFolder(program);
  StderrPrompter quiet;
  TConfig config(ConfigVariant::Administrator, {}, quiet);
  if (!config.Load()) return 1;
  admin::TDataAccess access(config, quiet);
  t0 = Clock::now();
  admin::BackupOutcome backup = access.BackupData(/*silent=*/true);
  double ours_backup = Seconds(t0);

  if (!backup.ok) return 1;

  const std::string copy = Folder("tikora-bench-admin-copy");
  for (const auto& name : admin::BackupFileNames(data))
    fs::copy_file(data + "/" + name, copy + "/" + name);
  const std::string zip = root + "/copy.zip";
  t0 = Clock::now();
  int rc = std::system(("cd '" + copy + "' && zip -q -r '" + zip + "' .").c_str());
  double zip_backup = Seconds(t0);
  if (rc != 0) return 1;
  Report("backup of the data folder (snapshot + ZIP)", ours_backup, zip_backup, "zip -r of a copy");

  std::printf("\n(data folder %.1f MB; our archive %.1f MB, zip's %.1f MB)\n",
              static_cast<double>(FolderBytes(data)) / 1e6,
              static_cast<double>(fs::file_size(backup.archive)) / 1e6,
              static_cast<double>(fs::file_size(zip)) / 1e6);
  fs::remove_all(root);
  fs::remove_all(raw_dir);
  fs::remove_all(copy);
  return 0;
}
