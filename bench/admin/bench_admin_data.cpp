// Data manager and report data benchmarks, each against a baseline doing the same work in the
// same run.
//
//   bench_admin_data [ROWS [csv|archive|sheet]]
//                             (default 1,000,000 time records for CSV; half as many archived;
//                             all three groups)
//
// 1. CSV export of TimeHist (ROWS records) against the sqlite3 command-line tool's CSV output of
//    the same table, and the import of that file into an empty Archive against the tool's
//    ".import --csv" of its own output into an empty Archive of the same layout.
// 2. Archiving ROWS / 2 records by date range against raw SQLite's INSERT ... SELECT and DELETE
//    in one transaction on a copy of the same files.
// 3. The weekly time sheet by charge account for a year of 50 users (about 250,000 records)
//    against raw SQLite summing the same hours per account, week and weekday.
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "admin/archive_moves.h"
#include "admin/backup_timer.h"
#include "admin/csv_transfer.h"
#include "admin/data_access.h"
#include "admin/data_module.h"
#include "admin/record_cursor.h"
#include "admin/report_data.h"
#include "core/config.h"
#include "core/security.h"
#include "core/system_helpers.h"
#include "core/text_helpers.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table.h"
#include "bench_support.h"

using namespace tikora;
using bench::Clock;
namespace fs = std::filesystem;

namespace {

using bench::Exec;
using bench::Seconds;

void Report(const char* what, double ours_s, double baseline_s, const char* baseline) {
  bench::Report(what, ours_s, baseline_s, baseline, 52, 9);
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

// Fills TimeHist of `dir` with `rows` finished records of `users` users, `per_day` records a
// day per user from 2023-01-02 on (setup, not measured).
void FillTimeHist(const std::string& dir, std::int64_t rows, int users, int per_day) {
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/TimeHist.DAT").c_str(), &db);
  Exec(db, "BEGIN");
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(
      db,
      "INSERT INTO TimeHist (\"ID\", \"User ID\", Account, Job_Code, \"Start Time\", "
      "\"End Time\", Comments, Printed) VALUES (?, ?, ?, ?, ?, ?, ?, 0)",
      -1, &ins, nullptr);
  const std::int64_t first = ToMilliseconds(EncodeDate(2023, 1, 2)) + 8 * 3'600'000;
  const std::int64_t per_user_day = static_cast<std::int64_t>(users) * per_day;
  for (std::int64_t i = 0; i < rows; ++i) {
    const std::int64_t day = i / per_user_day;
    const std::int64_t slot = i % per_day;
    const std::int64_t start = first + day * kMsPerDay + slot * 5'400'000;
    const std::string user = "user" + std::to_string((i / per_day) % users);
    const std::string account = "ACCT" + std::to_string(i % 40);
    const std::string job = "JOB" + std::to_string(i % 12);
    const std::string s = FormatIsoTimestamp(FromMilliseconds(start));
    const std::string e = FormatIsoTimestamp(FromMilliseconds(start + 4'500'000));
    sqlite3_bind_int64(ins, 1, i + 1);
    sqlite3_bind_text(ins, 2, user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, account.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 4, job.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 5, s.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 6, e.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 7, "work on the project", -1, SQLITE_STATIC);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

void FillAccounts(const std::string& dir) {
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/Accounts.DAT").c_str(), &db);
  Exec(db, "BEGIN");
  for (int i = 0; i < 40; ++i)
    Exec(db, "INSERT INTO Accounts (\"Charge Account\", Description, Active) VALUES ('ACCT" +
                 std::to_string(i) + "', 'Account number " + std::to_string(i) + "', 1)");
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

std::string Folder(const std::string& name) {
  std::string dir = (fs::temp_directory_path() / name).string();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// A data folder of the current layout whose TimeHist holds `rows` records.
std::string DataFolder(const std::string& name, std::int64_t rows, int users, int per_day) {
  const std::string dir = Folder(name);
  engine::CreateDataTables(dir, engine::Layout::Current);
  FillTimeHist(dir, rows, users, per_day);
  FillAccounts(dir);
  return dir;
}

std::string Copy(const std::string& from, const std::string& name) {
  const std::string dir = Folder(name);
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file() && e.path().filename().string()[0] != '.')
      fs::copy_file(e.path(), dir + "/" + e.path().filename().string());
  return dir;
}

void CsvBenchmarks(std::int64_t rows) {
  const std::string data = DataFolder("tikora-bench-csv", rows, 50, 4);
  const std::string raw = Copy(data, "tikora-bench-csv-raw");
  const std::string ours_csv = data + "/../tikora-bench-ours.csv";
  const std::string raw_csv = raw + "/../tikora-bench-raw.csv";

  double ours_export = 0, ours_import = 0;
  {
    engine::Database db(data);
    engine::Table hist(db, "TimeHist");
    hist.Open();
    admin::TableCursor cursor(hist);
    auto t0 = Clock::now();
    admin::ExportCsvFile(cursor, ',', ours_csv);
    ours_export = Seconds(t0);

    engine::Table archive(db, "Archive");
    archive.Open();
    admin::TableCursor into(archive);
    t0 = Clock::now();
    admin::CsvImportOutcome r = admin::ImportCsvFile(db, {archive.Schema()}, into, ours_csv, ',');
    ours_import = Seconds(t0);
    if (!r.ok || r.records != rows) {
      std::fprintf(stderr, "import: %s\n", r.message.c_str());
      std::exit(1);
    }
  }
  auto t0 = Clock::now();
  Run("sqlite3 -csv '" + raw + "/TimeHist.DAT' 'SELECT * FROM TimeHist' > '" + raw_csv + "'");
  const double raw_export = Seconds(t0);
  t0 = Clock::now();
  Run("sqlite3 '" + raw + "/Archive.DAT' \".import --csv '" + raw_csv + "' Archive\"");
  const double raw_import = Seconds(t0);

  Report("CSV export of TimeHist", ours_export, raw_export, "sqlite3 -csv");
  Report("CSV import of that file into an empty Archive", ours_import, raw_import,
         "sqlite3 .import --csv");
  std::printf("(our file %.1f MB, the tool's %.1f MB)\n",
              static_cast<double>(fs::file_size(ours_csv)) / 1e6,
              static_cast<double>(fs::file_size(raw_csv)) / 1e6);
  fs::remove(ours_csv);
  fs::remove(raw_csv);
  fs::remove_all(data);
  fs::remove_all(raw);
}

void ArchiveBenchmark(std::int64_t rows) {
  // Twice the records, half of them in the period moved.
  const std::string data = DataFolder("tikora-bench-archive", rows * 2, 50, 4);
  const std::string raw = Copy(data, "tikora-bench-archive-raw");
  // The records are in start order: the first half ends on this day.
  const std::int64_t days = rows / (50 * 4);
  const DateTime from = EncodeDate(2023, 1, 2);
  const DateTime to(from.days + static_cast<double>(days) - 1);

  double ours = 0;
  std::int64_t moved = 0;
  {
    engine::Database db(data);
    engine::Table hist(db, "TimeHist"), archive(db, "Archive");
    hist.Open();
    archive.Open();
    StderrPrompter quiet;
    auto t0 = Clock::now();
    admin::MoveOutcome r = admin::MoveByDateRange(hist, archive, from, to, quiet);
    ours = Seconds(t0);
    moved = r.moved;
    if (!r.ok) std::exit(1);
  }
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  Exec(db, "ATTACH '" + raw + "/TimeHist.DAT' AS h");
  Exec(db, "ATTACH '" + raw + "/Archive.DAT' AS a");
  const std::string where = " WHERE \"Start Time\" >= '" + IsoDate(from) +
                            "' AND \"Start Time\" <= '" + IsoDate(to) + " 00:00:00.000'";
  const std::string cols =
      "\"User ID\", Account, Job_Code, \"Start Time\", \"End Time\", Comments, "
      "ClientID, Synch, Invoice, Printed, Billable, Item, NumItems";
  auto t0 = Clock::now();
  Exec(db, "BEGIN IMMEDIATE");
  Exec(db, "INSERT INTO a.Archive (" + cols + ") SELECT " + cols + " FROM h.TimeHist" + where);
  Exec(db, "DELETE FROM h.TimeHist" + where);
  Exec(db, "COMMIT");
  const double baseline = Seconds(t0);
  sqlite3_close(db);
  char what[80];
  std::snprintf(what, sizeof what, "archiving %lld records by date range",
                static_cast<long long>(moved));
  Report(what, ours, baseline, "INSERT SELECT + DELETE");
  fs::remove_all(data);
  fs::remove_all(raw);
}

void TimeSheetBenchmark() {
  // 50 users with 14 records a day for a year: 255,500 records.
  const std::int64_t rows = 50LL * 14 * 365;
  const std::string program = Folder("tikora-bench-sheet") + "/";
  const std::string data = program + "TIKData";
  fs::create_directories(data);
  engine::CreateDataTables(data, engine::Layout::Current);
  FillTimeHist(data, rows, 50, 14);
  FillAccounts(data);
  setenv("XDG_CONFIG_HOME", (program + "config").c_str(), 1);
  SetProgramFolder(program);
  StderrPrompter quiet;
  TConfig config(ConfigVariant::Administrator, {}, quiet);
  if (!config.Load()) std::exit(1);
  double ours = 0;
  std::int64_t summed = 0, sheet_rows = 0;
  {
    admin::TDataAccess access(config, quiet);
    TSecure secure;
    admin::ManualBackupTimer timer;
    admin::TDM dm(config, access, secure, quiet, timer, admin::TDMOptions{0, false});
    admin::ReportChoices c;
    c.from = EncodeDate(2023, 1, 1);
    c.to = EncodeDate(2023, 12, 31);
    auto t0 = Clock::now();
    summed = admin::FillTimeSheetByAccount(dm, access, config, c);
    ours = Seconds(t0);
    sheet_rows = dm.tblmemTS().RecordCount();
  }

  sqlite3* db = nullptr;
  sqlite3_open((data + "/TimeHist.DAT").c_str(), &db);
  auto t0 = Clock::now();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT Account, date(\"Start Time\", '-' || ((strftime('%w', \"Start Time\") "
                     "+ 6) % 7) || ' days'),"
                     " strftime('%w', \"Start Time\"),"
                     " SUM((julianday(\"End Time\") - julianday(\"Start Time\")) * 24)"
                     " FROM TimeHist WHERE \"Start Time\" BETWEEN '2023-01-01' AND '2024-01-01' "
                     "AND \"End Time\" IS NOT NULL"
                     " GROUP BY 1, 2, 3",
                     -1, &st, nullptr);
  std::int64_t groups = 0;
  while (sqlite3_step(st) == SQLITE_ROW) ++groups;
  sqlite3_finalize(st);
  const double baseline = Seconds(t0);
  sqlite3_close(db);
  char what[96];
  std::snprintf(what, sizeof what, "weekly time sheet, %lld records -> %lld rows",
                static_cast<long long>(summed), static_cast<long long>(sheet_rows));
  Report(what, ours, baseline, "SQLite GROUP BY");
  (void)groups;
  SetProgramFolder("");
  fs::remove_all(program);
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  std::printf("Data manager and report data benchmarks (%lld records for CSV)\n\n",
              static_cast<long long>(rows));
  std::printf("| measurement | ours (s) | baseline (s) | ratio |\n|---|---|---|---|\n");
  const std::string only = argc > 2 ? argv[2] : "";
  if (only.empty() || only == "csv") CsvBenchmarks(rows);
  if (only.empty() || only == "archive") ArchiveBenchmark(rows / 2);
  if (only.empty() || only == "sheet") TimeSheetBenchmark();
  return 0;
}
