// Statements in the system's dialect run through the engine, each against hand-written SQLite SQL
// doing the same work on the same table file in the same run.
//
//   bench_dialect [ROWS]        (default 1,000,000 time records)
//
// Prints, for each measurement, the access path SQLite takes for the translated and for the
// hand-written SQL (they must name the same index), then the times and their ratio. The engine
// side runs as the programs run it: the time history table is held open by a table object (so
// its file stays attached), and every statement is translated, prepared and read anew.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/query.h"
#include "engine/sql_dialect.h"
#include "engine/table.h"

using namespace tikora;
using namespace tikora::engine;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int64_t kMinutesApart = 10;
constexpr int kUsers = 50;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Check(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
  std::exit(1);
}

std::string IsoDay(DateTime day) { return FormatIsoDate(day); }
std::string StoredMidnight(DateTime day) { return FormatIsoDate(day) + " 00:00:00.000"; }

// Fills TimeHist with `rows` records: 50 users, 40 accounts, 7 job codes, one record every ten
// minutes from 2020-01-01 on, 9 minutes long; the newest 1% still open; 2% not yet sent (Synch
// false or empty). The indexes are dropped for the load and rebuilt from their own definitions.
void FillTimeHist(const std::string& file, std::int64_t rows) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db, "open");
  std::vector<std::string> index_sql;
  {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'TimeHist' "
                                 "AND sql IS NOT NULL", -1, &s, nullptr), db, "indexes");
    while (sqlite3_step(s) == SQLITE_ROW) index_sql.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
  }
  Check(sqlite3_exec(db, "PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (const std::string& sql : index_sql) {
    const std::size_t name_from = sql.find('"');
    const std::string name = sql.substr(name_from, sql.find('"', name_from + 1) - name_from + 1);
    Check(sqlite3_exec(db, ("DROP INDEX " + name).c_str(), nullptr, nullptr, nullptr), db, "drop index");
  }
  sqlite3_stmt* ins = nullptr;
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO TimeHist (\"User ID\", Account, Job_Code, \"Start Time\", \"End Time\", "
                           "Comments, Synch) VALUES (?, ?, ?, ?, ?, 'work', ?)",
                           -1, &ins, nullptr),
        db, "insert");
  const std::int64_t open_from = rows - rows / 100;
  const std::int64_t base_ms = ToMilliseconds(EncodeDate(2020, 1, 1));
  for (std::int64_t i = 0; i < rows; ++i) {
    const std::int64_t start_ms = base_ms + i * kMinutesApart * 60'000;
    const std::string user = "user" + std::to_string(i % kUsers);
    const std::string account = "ACCT" + std::to_string(i % 40);
    const std::string job = "JOB" + std::to_string(i % 7);
    const std::string start = FormatIsoTimestamp(FromMilliseconds(start_ms));
    const std::string end = FormatIsoTimestamp(FromMilliseconds(start_ms + 540'000));
    sqlite3_bind_text(ins, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 2, account.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, job.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 4, start.c_str(), -1, SQLITE_TRANSIENT);
    if (i < open_from) sqlite3_bind_text(ins, 5, end.c_str(), -1, SQLITE_TRANSIENT);
    else sqlite3_bind_null(ins, 5);
    if (i % 100 == 0) sqlite3_bind_null(ins, 6);
    else sqlite3_bind_int(ins, 6, i % 100 == 1 ? 0 : 1);
    Check(sqlite3_step(ins), db, "step");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  for (const std::string& sql : index_sql) Check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, "index");
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

// SQLite's access paths for a statement ("SEARCH TimeHist USING INDEX TimeHist$User ID ...").
std::string AccessPaths(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &s, nullptr), db, "plan");
  std::string paths;
  while (sqlite3_step(s) == SQLITE_ROW) {
    const std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(s, 3));
    const std::size_t at = detail.find("USING ");
    if (at != std::string::npos) paths += (paths.empty() ? "" : "; ") + detail.substr(at, detail.find(" (", at) - at);
  }
  sqlite3_finalize(s);
  return paths.empty() ? "full scan" : paths;
}

// Hand-written SQL: prepared, bound with texts, every column of every row read as text.
struct RawResult {
  std::int64_t rows = 0;
  double first = 0;      // the first column of the first row as a number
  std::size_t bytes = 0;  // total length of the texts read
};

RawResult RunRaw(sqlite3* db, const std::string& sql, const std::vector<std::string>& texts) {
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), db, "prepare");
  for (std::size_t i = 0; i < texts.size(); ++i)
    sqlite3_bind_text(s, static_cast<int>(i) + 1, texts[i].c_str(), -1, SQLITE_TRANSIENT);
  RawResult r;
  std::vector<std::string> row;
  while (sqlite3_step(s) == SQLITE_ROW) {
    if (r.rows == 0) r.first = sqlite3_column_double(s, 0);
    row.clear();
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      const unsigned char* text = sqlite3_column_text(s, c);
      row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      r.bytes += row.back().size();
    }
    ++r.rows;
  }
  sqlite3_finalize(s);
  return r;
}

// As RunRaw, but the columns after the first are timestamps, read as date-time values.
std::int64_t RunRawTyped(sqlite3* db, const std::string& sql, const std::vector<std::string>& texts) {
  sqlite3_stmt* s = nullptr;
  Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), db, "prepare");
  for (std::size_t i = 0; i < texts.size(); ++i)
    sqlite3_bind_text(s, static_cast<int>(i) + 1, texts[i].c_str(), -1, SQLITE_TRANSIENT);
  std::int64_t rows = 0;
  std::string first;
  std::vector<DateTime> times;
  while (sqlite3_step(s) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(s, 0);
    first = text ? reinterpret_cast<const char*>(text) : "";
    times.clear();
    for (int c = 1; c < sqlite3_column_count(s); ++c) {
      const auto* stamp = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
      if (stamp)
        times.push_back(ParseIsoTimestampText({stamp, static_cast<std::size_t>(sqlite3_column_bytes(s, c))})
                            .value_or(DateTime()));
    }
    ++rows;
  }
  sqlite3_finalize(s);
  return rows;
}

struct Timing {
  double engine = 0, raw = 0;
};

// Runs both sides `reps` times, interleaved so that both meet the same cache; returns seconds per
// repetition. The first repetition of each side warms the cache and is not counted.
Timing Measure(int reps, const std::function<void(int)>& engine, const std::function<void(int)>& raw) {
  engine(0);
  raw(0);
  Timing t;
  for (int i = 1; i <= reps; ++i) {
    auto t0 = Clock::now();
    engine(i);
    t.engine += Seconds(t0);
    t0 = Clock::now();
    raw(i);
    t.raw += Seconds(t0);
  }
  t.engine /= reps;
  t.raw /= reps;
  return t;
}

void Report(const char* what, const Timing& t, const std::string& engine_plan, const std::string& raw_plan) {
  std::printf("| %-58s | %10.6f | %10.6f | %5.2fx | %s |\n", what, t.engine, t.raw, t.engine / t.raw,
              engine_plan == raw_plan ? "same index" : "DIFFERENT INDEX");
  std::printf("|   translated: %s; hand-written: %s\n", engine_plan.c_str(), raw_plan.c_str());
  std::fflush(stdout);
}

std::string DayTotalSql(const std::string& day, const std::string& next_day, const std::string& user) {
  return fmt::format(
      "Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] Between '{}' And '{}' "
      "And [End Time] <> Null\n And [User ID] = \"{}\"",
      day, next_day, user);
}

constexpr const char* kRawDayTotal =
    "SELECT sum((julianday(\"End Time\") - julianday(\"Start Time\")) * 86400000) FROM TimeHist "
    "WHERE \"Start Time\" BETWEEN ?1 AND ?2 AND \"End Time\" IS NOT NULL AND \"User ID\" = ?3";

std::string WeekSheetSql(const std::string& from, const std::string& after, const std::string& user) {
  return fmt::format(
      "Select [Account], [Start Time] , [End Time], [Start Time] AS WeekStart From TimeHist\n WHERE [User ID] = \"{}\" "
      "AND [Start Time] Between '{}' And '{}' And [End Time] <> Null Order By WeekStart, 1",
      user, from, after);
}

constexpr const char* kRawWeekSheet =
    "SELECT Account, \"Start Time\", \"End Time\", \"Start Time\" AS WeekStart FROM TimeHist WHERE \"User ID\" = ?1 "
    "AND \"Start Time\" BETWEEN ?2 AND ?3 AND \"End Time\" IS NOT NULL ORDER BY WeekStart, 1";

constexpr const char* kReport2 =
    "Select [Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS WeekStart From TimeHist\n WHERE "
    "[Start Time] Between :Date1 And :Date2 AND [End Time] <> Null Order By WeekStart, 1";

constexpr const char* kRawReport2 =
    "SELECT Job_Code, \"Start Time\", \"End Time\", \"Start Time\" AS WeekStart FROM TimeHist WHERE "
    "\"Start Time\" BETWEEN ?1 AND ?2 AND \"End Time\" IS NOT NULL ORDER BY WeekStart, 1";

constexpr const char* kUnsent = "((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)";
constexpr const char* kRawUnsent =
    "SELECT * FROM TimeHist WHERE (Synch = 0 OR Synch IS NULL) AND \"End Time\" IS NOT NULL ORDER BY ID";

// Reads every column of every row of an open query (as typed values: the engine's own form, as
// texts are SQLite's); returns the number of rows.
std::int64_t ReadQuery(Query& q, std::size_t& cells) {
  std::int64_t n = 0;
  for (q.First(); q.RecordCount() > 0; q.Next()) {
    for (int c = 0; c < q.FieldCount(); ++c) cells += !q.FieldValue(c).IsNull();
    ++n;
    if (q.RecNo() == q.RecordCount()) break;
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t rows = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  const std::string dir = (std::filesystem::temp_directory_path() / "tikora-bench-dialect").string();
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  CreateDataTables(dir, Layout::Current);
  auto t0 = Clock::now();
  FillTimeHist(dir + "/TimeHist.DAT", rows);
  std::printf("SQL dialect benchmarks over %lld time records (loaded in %.1f s)\n\n", static_cast<long long>(rows),
              Seconds(t0));
  std::printf("| measurement (seconds per run) | engine | hand-written | ratio | access path |\n|---|---|---|---|---|\n");

  Database db(dir);
  Table hist(db, "TimeHist");  // held open, as the programs hold it
  hist.Open();
  sqlite3* raw = nullptr;
  Check(sqlite3_open_v2((dir + "/TimeHist.DAT").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), raw, "open raw");

  const std::int64_t days = rows * kMinutesApart / (24 * 60) - 1;
  const DateTime first_day = EncodeDate(2020, 1, 1);
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> any_day(0, days - 1);
  std::uniform_int_distribution<int> any_user(0, kUsers - 1);
  std::size_t cells = 0;
  int mismatches = 0;

  // ---- Day total of one user
  {
    constexpr int kReps = 200;
    std::vector<std::string> day(kReps + 1), next(kReps + 1), user(kReps + 1);
    for (int i = 0; i <= kReps; ++i) {
      const DateTime d(first_day.days + static_cast<double>(any_day(rng)));
      day[static_cast<std::size_t>(i)] = IsoDay(d);
      next[static_cast<std::size_t>(i)] = IsoDay(DateTime(d.days + 1));
      user[static_cast<std::size_t>(i)] = "user" + std::to_string(any_user(rng));
    }
    std::vector<double> engine_ms(kReps + 1), raw_ms(kReps + 1);
    const Timing t = Measure(
        kReps,
        [&](int i) {
          const auto k = static_cast<std::size_t>(i);
          Query q(db);
          q.SetSql(DayTotalSql(day[k], next[k], user[k]));
          q.Open();
          engine_ms[k] = q.FieldValue(0).AsFloat();
        },
        [&](int i) {
          const auto k = static_cast<std::size_t>(i);
          raw_ms[k] = RunRaw(raw, kRawDayTotal, {day[k] + " 00:00:00.000", next[k] + " 00:00:00.000", user[k]}).first;
        });
    for (int i = 0; i <= kReps; ++i)
      mismatches += std::llround(engine_ms[static_cast<std::size_t>(i)]) != std::llround(raw_ms[static_cast<std::size_t>(i)]);
    AttachLease lease(db, "TimeHist");
    Report("day total, one user (Sum([End Time]-[Start Time]))", t,
           AccessPaths(db.handle(), TranslateSql(DayTotalSql(day[0], next[0], user[0]), db).sql),
           AccessPaths(raw, kRawDayTotal));
  }

  // ---- Weekly time sheet of one user over a year (report by charge account)
  {
    constexpr int kReps = 20;
    const std::string from = "2021-01-01", after = "2022-01-01";
    std::int64_t engine_rows = 0, raw_rows = 0;
    const Timing t = Measure(
        kReps,
        [&](int i) {
          Query q(db);
          q.SetSql(WeekSheetSql(from, after, "user" + std::to_string(i % kUsers)));
          q.Open();
          engine_rows += ReadQuery(q, cells);
        },
        [&](int i) {
          raw_rows += RunRaw(raw, kRawWeekSheet, {"user" + std::to_string(i % kUsers), from + " 00:00:00.000",
                                                  after + " 00:00:00.000"}).rows;
        });
    mismatches += engine_rows != raw_rows;
    AttachLease lease(db, "TimeHist");
    Report("weekly time sheet, one user, one year", t,
           AccessPaths(db.handle(), TranslateSql(WeekSheetSql(from, after, "user0"), db).sql),
           AccessPaths(raw, kRawWeekSheet));
  }

  // ---- Weekly time sheet of everyone over a year (report by job code, :Date1/:Date2)
  {
    constexpr int kReps = 5;
    const DateTime from = EncodeDate(2021, 1, 1), after = EncodeDate(2022, 1, 1);
    std::int64_t engine_rows = 0, raw_rows = 0;
    const Timing t = Measure(
        kReps,
        [&](int) {
          Query q(db);
          q.SetSql(kReport2);
          q.SetParam("Date1", Value::Date(from));
          q.SetParam("Date2", Value::Date(after));
          q.Open();
          engine_rows += ReadQuery(q, cells);
        },
        [&](int) { raw_rows += RunRaw(raw, kRawReport2, {StoredMidnight(from), StoredMidnight(after)}).rows; });
    mismatches += engine_rows != raw_rows;
    // The same hand-written SQL, its timestamps read as date-time values as the engine delivers
    // them (what a program summing hours by weekday has to do with the texts in any case).
    std::int64_t typed_rows = 0;
    const Timing typed = Measure(
        kReps,
        [&](int) {
          Query q(db);
          q.SetSql(kReport2);
          q.SetParam("Date1", Value::Date(from));
          q.SetParam("Date2", Value::Date(after));
          q.Open();
          ReadQuery(q, cells);
        },
        [&](int) { typed_rows += RunRawTyped(raw, kRawReport2, {StoredMidnight(from), StoredMidnight(after)}); });
    mismatches += typed_rows != raw_rows;
    AttachLease lease(db, "TimeHist");
    const std::string engine_plan = AccessPaths(db.handle(), TranslateSql(kReport2, db).sql);
    const std::string raw_plan = AccessPaths(raw, kRawReport2);
    Report("weekly time sheet, all users, one year (:Date1/:Date2)", t, engine_plan, raw_plan);
    Report("... against SQLite reading timestamps as date-time values", typed, engine_plan, raw_plan);
  }

  // ---- Filtered cursor: the records still to send
  {
    constexpr int kReps = 5;
    const std::string filter_sql = TranslateFilter(kUnsent, "TimeHist", db).sql;
    std::int64_t engine_rows = 0, raw_rows = 0;
    const Timing open = Measure(
        kReps,
        [&](int) {
          Table t(db, "TimeHist");
          t.SetFilter(kUnsent);
          t.SetFiltered(true);
          t.Open();
          engine_rows += t.RecordCount();
        },
        [&](int) {
          raw_rows += RunRaw(raw, "SELECT rowid FROM TimeHist WHERE (Synch = 0 OR Synch IS NULL) AND "
                                  "\"End Time\" IS NOT NULL ORDER BY rowid", {}).rows;
        });
    const Timing walk = Measure(
        kReps,
        [&](int) {
          Table t(db, "TimeHist");
          t.SetFilter(kUnsent);
          t.SetFiltered(true);
          t.Open();
          for (t.First(); !t.Eof(); t.Next())
            for (int c = 0; c < t.FieldCount(); ++c) cells += !t.FieldValue(c).IsNull();
        },
        [&](int) { RunRaw(raw, kRawUnsent, {}); });
    mismatches += engine_rows != raw_rows;
    AttachLease lease(db, "TimeHist");
    const std::string engine_plan =
        AccessPaths(db.handle(), "SELECT rowid FROM TimeHist WHERE " + filter_sql + " ORDER BY rowid");
    const std::string raw_plan = AccessPaths(raw, kRawUnsent);
    std::printf("(filtered cursor: %lld of %lld records not yet sent)\n",
                static_cast<long long>(engine_rows / (kReps + 1)), static_cast<long long>(rows));
    Report("filtered cursor on Synch: open", open, engine_plan, raw_plan);
    Report("filtered cursor on Synch: open and read every row", walk, engine_plan, raw_plan);
  }

  std::printf("\n(%d result mismatches; %zu cells read)\n", mismatches, cells);
  sqlite3_close(raw);
  hist.Close();
  std::filesystem::remove_all(dir);
  return mismatches == 0 ? 0 : 1;
}
