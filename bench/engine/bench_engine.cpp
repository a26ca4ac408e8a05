// Engine benchmarks, each against raw SQLite doing the same work in the same run.
//
//   bench_engine [ROWS]        (default 1,000,000 time records)
//
// Prints one line per measurement: the engine's time, the baseline's time and their ratio.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table.h"
#include "engine/table_file.h"

using namespace tikora;
using namespace tikora::engine;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Report(const char* what, double engine_s, double baseline_s, const char* unit_note = "") {
  std::printf("| %-52s | %12.6f | %12.6f | %6.2fx |%s\n", what, engine_s, baseline_s,
              baseline_s > 0 ? engine_s / baseline_s : 0.0, unit_note);
  std::fflush(stdout);
}

struct Record {
  std::string user, account, start, end;
};

Record MakeRecord(std::int64_t i) {
  // 50 users, 40 accounts, one record every 10 minutes from 2020 on; the newest 1% still open.
  std::int64_t start_ms = ToMilliseconds(EncodeDate(2020, 1, 1)) + i * 600'000;
  Record r;
  r.user = "user" + std::to_string(i % 50);
  r.account = "ACCT" + std::to_string(i % 40);
  r.start = FormatIsoTimestamp(FromMilliseconds(start_ms));
  r.end = FormatIsoTimestamp(FromMilliseconds(start_ms + 540'000));
  return r;
}

std::string TempFolder(const char* name) {
  std::string dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  const std::int64_t open_from = rows - rows / 100;
  std::printf("Engine benchmarks over %lld time records\n\n", static_cast<long long>(rows));
  std::printf("| measurement | engine (s) | raw SQLite (s) | ratio |\n|---|---|---|---|\n");

  // ---- Append in one transaction
  const std::string engine_dir = TempFolder("tikora-bench-engine");
  CreateDataTables(engine_dir, Layout::Current);
  Database db(engine_dir);
  double engine_append;
  {
    Table t(db, "TimeHist");
    t.Open();
    auto t0 = Clock::now();
    db.StartTransaction({"TimeHist"});
    for (std::int64_t i = 0; i < rows; ++i) {
      Record r = MakeRecord(i);
      t.Append();
      t.SetFieldValue(1, Value::Text(r.user));
      t.SetFieldValue(2, Value::Text(r.account));
      t.SetFieldValue(4, Value::Text(r.start));
      if (i < open_from) t.SetFieldValue(5, Value::Text(r.end));
      t.SetFieldValue(6, Value::Text("work"));
      t.Post();
    }
    db.Commit();
    engine_append = Seconds(t0);
  }
  const std::string raw_dir = TempFolder("tikora-bench-raw");
  CreateDataTables(raw_dir, Layout::Current);
  sqlite3* raw = nullptr;
  sqlite3_open((raw_dir + "/TimeHist.DAT").c_str(), &raw);
  double raw_append;
  {
    auto t0 = Clock::now();
    sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(raw,
                       "INSERT INTO TimeHist (\"User ID\", Account, \"Start Time\", \"End Time\", "
                       "Comments) VALUES (?, ?, ?, ?, ?)",
                       -1, &ins, nullptr);
    for (std::int64_t i = 0; i < rows; ++i) {
      Record r = MakeRecord(i);
      sqlite3_bind_text(ins, 1, r.user.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 2, r.account.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 3, r.start.c_str(), -1, SQLITE_TRANSIENT);
      if (i < open_from) sqlite3_bind_text(ins, 4, r.end.c_str(), -1, SQLITE_TRANSIENT);
      else sqlite3_bind_null(ins, 4);
      sqlite3_bind_text(ins, 5, "work", -1, SQLITE_STATIC);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    raw_append = Seconds(t0);
  }
  Report("append all records in one transaction", engine_append, raw_append);

  // ---- Open a cursor on the Start Time index
  Table t(db, "TimeHist");
  t.SetIndexName("Start Time");
  auto t0 = Clock::now();
  t.Open();
  double engine_open = Seconds(t0);
  t0 = Clock::now();
  {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(raw, "SELECT rowid FROM TimeHist ORDER BY \"Start Time\", rowid", -1, &s, nullptr);
    std::int64_t n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) n += sqlite3_column_int64(s, 0) > 0;
    sqlite3_finalize(s);
    if (n != rows) std::printf("row count mismatch\n");
  }
  Report("open a cursor on the \"Start Time\" index (target < 1 s)", engine_open, Seconds(t0));

  // ---- Random jumps
  constexpr int kJumps = 2000;
  std::mt19937_64 rng(42);
  std::uniform_int_distribution<std::int64_t> any(0, rows - 1);
  t0 = Clock::now();
  std::int64_t checksum = 0;
  for (int j = 0; j < kJumps; ++j) {
    t.First();
    t.MoveBy(static_cast<int>(any(rng)));
    checksum += t.FieldValue("ID").AsInteger();
  }
  double engine_jump = Seconds(t0) / kJumps;
  t0 = Clock::now();
  {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(raw, "SELECT * FROM TimeHist WHERE rowid = ?", -1, &s, nullptr);
    for (int j = 0; j < kJumps; ++j) {
      sqlite3_bind_int64(s, 1, any(rng) + 1);
      if (sqlite3_step(s) == SQLITE_ROW) checksum += sqlite3_column_int64(s, 0);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
  }
  Report("jump to a random row, per jump (target < 5 ms)", engine_jump, Seconds(t0) / kJumps);

  // ---- FindKey on AccountEndTimeUserId: the running record of a user on an account
  constexpr int kFinds = 2000;
  t.SetIndexName("AccountEndTimeUserId");
  t0 = Clock::now();
  int found = 0;
  for (int j = 0; j < kFinds; ++j) {
    Record r = MakeRecord(open_from + (j % (rows - open_from)));
    found += t.FindKey({Value::Text(r.account), Value::Null(), Value::Text(r.user)});
  }
  double engine_find = Seconds(t0) / kFinds;
  t0 = Clock::now();
  {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(raw,
                       "SELECT * FROM TimeHist WHERE Account = ? AND \"End Time\" IS NULL AND "
                       "\"User ID\" = ? ORDER BY Account, \"End Time\", \"User ID\" LIMIT 1",
                       -1, &s, nullptr);
    for (int j = 0; j < kFinds; ++j) {
      Record r = MakeRecord(open_from + (j % (rows - open_from)));
      sqlite3_bind_text(s, 1, r.account.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 2, r.user.c_str(), -1, SQLITE_TRANSIENT);
      found += sqlite3_step(s) == SQLITE_ROW;
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
  }
  Report("FindKey on AccountEndTimeUserId, per search (target < 0.1 ms)", engine_find,
         Seconds(t0) / kFinds);
  std::printf("\n(checksum %lld, found %d)\n", static_cast<long long>(checksum), found);
  sqlite3_close(raw);
  t.Close();
  std::filesystem::remove_all(engine_dir);
  std::filesystem::remove_all(raw_dir);
  return 0;
}
