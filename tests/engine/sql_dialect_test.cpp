// The SQL dialect translator, checked by running the translated SQL on SQLite tables laid out as
// the engine stores them, and comparing the rows that come back.
#include "engine/sql_dialect.h"

#include <gtest/gtest.h>

#include <charconv>
#include <ctime>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/sql_datetime_literal.h"
#include "sql_test_schema.h"

namespace tikora::engine {
namespace {

using sqltest::Exec;
using sqltest::OpenTestDatabase;
using sqltest::SqliteDb;
using sqltest::TestSchema;
using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kSeed = R"sql(
INSERT INTO TimeHist VALUES
  (1, 'alice', 'ACC1', 'DEV', '2024-01-08 00:00:00.000', '2024-01-08 07:30:00.000', 'sheet mon', 'CL1', 1, NULL, NULL, 1, NULL, NULL),
  (2, 'alice', 'ACC1', 'DEV', '2024-01-09 00:00:00.000', '2024-01-09 08:00:00.000', 'sheet tue', 'CL1', 0, NULL, NULL, 1, NULL, NULL),
  (3, 'alice', 'ACC1', 'TEST', '2024-01-09 09:15:00.250', '2024-01-09 10:15:00.750', 'punched', NULL, NULL, '2024000001', NULL, NULL, NULL, NULL),
  (4, 'bob', 'ACC2', NULL, '2024-01-09 13:00:00.000', NULL, 'running', NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (5, 'bob', 'ACC2', 'DEV', '2024-01-14 00:00:00.000', '2024-01-14 02:00:00.000', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (6, 'O''Brien', 'acc1', 'DEV', '2024-01-10 23:00:00.000', '2024-01-11 01:30:00.000', 'said "hi"', NULL, NULL, NULL, NULL, NULL, NULL, NULL);
INSERT INTO Accounts VALUES ('ACC1', 'First', 50.0, 'CL1', 1), ('ACC2', 'Second', 60.0, 'CL2', 0),
  ('O''X', 'Quote', 0, NULL, 1);
INSERT INTO JobCodes VALUES ('DEV', 'Development', 10, 'ACC1', 1), ('TEST', 'Testing', 12, NULL, 1),
  ('OLD', 'Old', 0, 'ACC1', 0);
INSERT INTO Clients VALUES ('CL1', 'Client One', 'Berlin', 0, 1), ('CL2', 'Client Two', 'Boston', 0, 1);
INSERT INTO Invoices VALUES ('2024000001', 'CL1', 0), ('a000000002', 'CL1', 0), ('B000000003', NULL, 1);
INSERT INTO Expenses VALUES (1, 'alice', 'ACC1', 'DEV', 'CL1', 'Taxi', NULL, 25.5, '2024-01-09'),
  (2, 'alice', 'ACC1', 'DEV', 'CL1', 'Hotel', NULL, 100, '2024-02-01'),
  (3, 'bob', 'ACC2', NULL, NULL, 'Lunch', NULL, 12, '2024-01-31');
INSERT INTO Reports VALUES (1, 'By account', 'r1.frf', 2, 1), (2, 'By code', 'r2.frf', 1, 1),
  (3, 'Hidden', 'r3.frf', 3, 0);
INSERT INTO WorkGrp VALUES ('G1', 'alice'), ('G1', 'bob');
)sql";

std::string CellText(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL: return "NULL";
    case SQLITE_INTEGER: return std::to_string(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT: {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_double(stmt, column));
      return std::string(buffer, result.ptr);
    }
    default: return reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  }
}

struct Binding {
  std::string name;
  std::string value;  // bound as text, in the storage form
};

// Runs SQLite SQL with text parameters bound by name through the translation's parameter list.
Rows RunSql(sqlite3* db, const std::string& sql, const std::vector<SqlParameter>& parameters = {},
         const std::vector<Binding>& bindings = {}) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "prepare failed: " << sqlite3_errmsg(db) << "\n  " << sql;
    return {};
  }
  for (std::size_t i = 0; i < parameters.size(); ++i)
    for (const Binding& b : bindings)
      if (b.name == parameters[i].name)
        sqlite3_bind_text(stmt, static_cast<int>(i + 1), b.value.c_str(), -1, SQLITE_TRANSIENT);
  Rows rows;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) row.push_back(CellText(stmt, c));
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) ADD_FAILURE() << "step failed: " << sqlite3_errmsg(db) << "\n  " << sql;
  sqlite3_finalize(stmt);
  return rows;
}

class SqlDialectTest : public ::testing::Test {
 protected:
  void SetUp() override { Exec(db_.get(), kSeed); }

  TranslatedSql Translate(std::string_view text) { return TranslateSql(text, schema_); }

  TestSchema schema_;
  SqliteDb db_ = OpenTestDatabase(schema_);
};

// --- statements the programs send, run against the seeded tables --------------------------------

struct QueryCase {
  const char* statement;
  std::vector<Binding> bindings;
  Rows expected;
};

TEST_F(SqlDialectTest, QueriesReturnTheExpectedRows) {
  const QueryCase cases[] = {
      {"SELECT * FROM Reports WHERE (Visible = True) ORDER BY Position",
       {},
       {{"2", "By code", "r2.frf", "1", "1"}, {"1", "By account", "r1.frf", "2", "1"}}},
      {"SELECT [User ID] FROM TimeHist GROUP BY [User ID]", {}, {{"O'Brien"}, {"alice"}, {"bob"}}},
      // The day total of the web clock: closed entries only, in milliseconds, exact.
      {"Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] Between "
       "'2024-01-09' And '2024-01-10' And [End Time] <> Null\n And [User ID] = \"alice\"\n And "
       "[Account] = \"ACC1\"",
       {},
       {{"32400500"}}},
      {"Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] Between "
       "'2024-01-12' And '2024-01-13' And [End Time] <> Null",
       {},
       {{"NULL"}}},
      // The web time sheet: entries starting at midnight; BETWEEN includes the upper bound.
      {"SELECT Account,Job_Code,ClientID,[Start Time],([End Time]-[Start Time])/3600000 As ElapsedTime,"
       "Comments FROM TimeHist WHERE [User ID]='alice' AND CAST([Start Time] AS TIME) = \"0:00\" AND "
       "[Start Time] BETWEEN '2024-01-07' AND '2024-01-14' ORDER BY Account,Job_Code,ClientID",
       {},
       {{"ACC1", "DEV", "CL1", "2024-01-08 00:00:00.000", "7.5", "sheet mon"},
        {"ACC1", "DEV", "CL1", "2024-01-09 00:00:00.000", "8", "sheet tue"}}},
      {"SELECT ID FROM TimeHist WHERE [User ID]='bob' AND CAST([Start Time] AS TIME) = \"0:00\" AND "
       "[Start Time] BETWEEN '2024-01-07' AND '2024-01-14'",
       {},
       {{"5"}}},
      // Week totals in hours.
      {"SELECT [User ID], Sum([End Time]-[Start Time])/3600000 AS Hours FROM TimeHist WHERE "
       "[Start Time] >= '2024-01-07' AND [Start Time] < '2024-01-14' AND Job_Code = 'DEV' "
       "GROUP BY [User ID] ORDER BY 1",
       {},
       {{"O'Brien", "2.5"}, {"alice", "15.5"}}},
      // Weekly time sheet statements of the reports.
      {"Select [Account], [Start Time] , [End Time], [Start Time] AS WeekStart From TimeHist\n WHERE "
       "[User ID] = \"alice\" AND [Account] = \"ACC1\" AND [Start Time] Between '2024-01-08' And "
       "'2024-01-10' And [End Time] <> Null Order By WeekStart, 1",
       {},
       {{"ACC1", "2024-01-08 00:00:00.000", "2024-01-08 07:30:00.000", "2024-01-08 00:00:00.000"},
        {"ACC1", "2024-01-09 00:00:00.000", "2024-01-09 08:00:00.000", "2024-01-09 00:00:00.000"},
        {"ACC1", "2024-01-09 09:15:00.250", "2024-01-09 10:15:00.750", "2024-01-09 09:15:00.250"}}},
      {"Select [Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS WeekStart From TimeHist\n"
       " WHERE [Start Time] Between :Date1 And :Date2 AND [End Time] <> Null Order By WeekStart, 1",
       {{"Date1", "2024-01-09 00:00:00.000"}, {"Date2", "2024-01-10 00:00:00.000"}},
       {{"DEV", "2024-01-09 00:00:00.000", "2024-01-09 08:00:00.000", "2024-01-09 00:00:00.000"},
        {"TEST", "2024-01-09 09:15:00.250", "2024-01-09 10:15:00.750", "2024-01-09 09:15:00.250"}}},
      {"Select [Account],[Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS WeekStart From "
       "TimeHist\n WHERE  [Account] = \"acc1\" AND [Start Time] Between :Date1 And :Date2 And [End Time] "
       "<> Null Order By WeekStart, 1, 2",
       {{"Date1", "2024-01-08 00:00:00.000"}, {"Date2", "2024-01-15 00:00:00.000"}},
       {{"acc1", "DEV", "2024-01-10 23:00:00.000", "2024-01-11 01:30:00.000", "2024-01-10 23:00:00.000"}}},
      // Invoices: the last number ignoring case, a look-up with a double-quoted value.
      {"SELECT Invoice from Invoices ORDER BY Invoice DESC NOCASE",
       {},
       {{"B000000003"}, {"a000000002"}, {"2024000001"}}},
      {"SELECT Invoice from Invoices ORDER BY Invoice DESC", {}, {{"a000000002"}, {"B000000003"}, {"2024000001"}}},
      {"SELECT Invoice from Invoices ORDER BY 1 NOCASE DESC", {}, {{"B000000003"}, {"a000000002"}, {"2024000001"}}},
      {"SELECT Invoice From TimeHist WHERE Invoice = \"2024000001\"", {}, {{"2024000001"}}},
      {"SELECT * FROM Expenses WHERE Invoice = NULL AND [ExpenseDate] Between '2024-01-01' And "
       "'2024-02-01' AND [UserID] = \"alice\" ORDER BY Account, JobCode, ExpenseID",
       {},
       {{"1", "alice", "ACC1", "DEV", "CL1", "Taxi", "NULL", "25.5", "2024-01-09"},
        {"2", "alice", "ACC1", "DEV", "CL1", "Hotel", "NULL", "100", "2024-02-01"}}},
      // Quotes inside values.
      {"SELECT ID FROM TimeHist WHERE Comments = \"said \"\"hi\"\"\"", {}, {{"6"}}},
      {"SELECT ID FROM TimeHist WHERE [User ID] = 'O''Brien'", {}, {{"6"}}},
      {"SELECT ID FROM TimeHist WHERE [User ID] = \"O'Brien\"", {}, {{"6"}}},
      // Empty values.
      {"SELECT ID FROM TimeHist WHERE Job_Code = NULL", {}, {{"4"}}},
      {"SELECT ID FROM TimeHist WHERE NULL = Job_Code", {}, {{"4"}}},
      {"SELECT ID FROM TimeHist WHERE Job_Code = ''", {}, {{"4"}}},
      {"SELECT ID FROM TimeHist WHERE [End Time] <> NULL AND ID > 4", {}, {{"5"}, {"6"}}},
      {"SELECT ID FROM TimeHist WHERE [End Time] IS NULL", {}, {{"4"}}},
      // Date and time texts read as the field's type: midnight edges, short forms.
      {"SELECT ID FROM TimeHist WHERE [Start Time] <= '2024-01-09' ORDER BY ID", {}, {{"1"}, {"2"}}},
      {"SELECT ID FROM TimeHist WHERE [Start Time] > '2024-01-09' AND [Start Time] < '2024-01-10'",
       {},
       {{"3"}, {"4"}}},
      {"SELECT ID FROM TimeHist WHERE [Start Time] < '2024-01-09 09:15:00.250' ORDER BY ID", {}, {{"1"}, {"2"}}},
      {"SELECT ID FROM TimeHist WHERE [Start Time] = '2024-01-09 9:15:00.25'", {}, {{"3"}}},
      {"SELECT ID FROM TimeHist WHERE '2024-01-10 23:00' <= [Start Time] ORDER BY ID", {}, {{"5"}, {"6"}}},
      {"SELECT ID FROM TimeHist WHERE CAST([Start Time] AS TIME) BETWEEN '9:00' AND '13:00' ORDER BY ID",
       {},
       {{"3"}, {"4"}}},
      {"SELECT ID FROM TimeHist WHERE CAST([Start Time] AS DATE) = '2024-01-09' ORDER BY ID",
       {},
       {{"2"}, {"3"}, {"4"}}},
      {"SELECT ID FROM TimeHist WHERE [Start Time] IN ('2024-01-08', '2024-01-14 00:00:00')", {}, {{"1"}, {"5"}}},
      {"SELECT Count(*) FROM TimeHist WHERE [Start Time] < CURRENT_DATE AND [Start Time] > '1999-12-31'",
       {},
       {{"6"}}},
      {"SELECT ExpenseID FROM Expenses WHERE ExpenseDate < '2024-01-31 12:00' ORDER BY 1", {}, {{"1"}, {"3"}}},
      {"SELECT ExpenseID FROM Expenses WHERE ExpenseDate <= '2024-01-31' ORDER BY 1", {}, {{"1"}, {"3"}}},
      // A date meets a timestamp as its midnight.
      {"SELECT e.ExpenseID, t.ID FROM Expenses e, TimeHist t WHERE t.[Start Time] >= e.ExpenseDate AND "
       "t.[Start Time] < '2024-01-09 09:00' AND e.ExpenseDate = '2024-01-09'",
       {},
       {{"1", "2"}}},
      // Differences exact to the millisecond, over long spans too.
      {"SELECT CAST('2024-01-10' AS TIMESTAMP) - CAST('2023-12-31 23:59:59.999' AS TIMESTAMP), "
       "CAST('9999-12-31 23:59:59.999' AS TIMESTAMP) - CAST('0001-01-01' AS TIMESTAMP)",
       {},
       {{"777600001", "315537897599999"}}},
      {"SELECT [End Time] - [Start Time] FROM TimeHist WHERE ID = 3", {}, {{"3600500"}}},
      // Joins, aggregates, grouping.
      {"SELECT t.ID, a.Description FROM TimeHist t LEFT OUTER JOIN Accounts a ON a.[Charge Account] = "
       "t.Account WHERE t.ID IN (1, 6) ORDER BY t.ID",
       {},
       {{"1", "First"}, {"6", "NULL"}}},
      {"SELECT a.Description, Count(*) AS N FROM Accounts a INNER JOIN TimeHist t ON t.Account = "
       "a.[Charge Account] GROUP BY a.Description HAVING Count(*) > 1 ORDER BY 1",
       {},
       {{"First", "3"}, {"Second", "2"}}},
      {"SELECT Max([Start Time]), Min(ID), Avg(Rate), Count(DISTINCT Client) FROM TimeHist, Accounts "
       "WHERE Account = [Charge Account]",
       {},
       {{"2024-01-14 00:00:00.000", "1", "54", "2"}}},
      {"SELECT DISTINCT UPPER(Account) AS A FROM TimeHist ORDER BY A", {}, {{"ACC1"}, {"ACC2"}}},
      {"SELECT [Charge Account] FROM Accounts WHERE [Charge Account] IN (SELECT Account FROM TimeHist "
       "WHERE [End Time] = NULL)",
       {},
       {{"ACC2"}}},
      {"SELECT [Charge Account] FROM Accounts a WHERE NOT EXISTS (SELECT * FROM TimeHist WHERE "
       "Account = a.[Charge Account])",
       {},
       {{"O'X"}}},
      {"SELECT [Charge Account] AS Code FROM Accounts UNION SELECT [Job Code] FROM JobCodes ORDER BY Code DESC",
       {},
       {{"TEST"}, {"OLD"}, {"O'X"}, {"DEV"}, {"ACC2"}, {"ACC1"}}},
      {"SELECT TOP 1 ID FROM TimeHist ORDER BY [Start Time] DESC", {}, {{"5"}}},
      // LIKE compares letter case exactly.
      {"SELECT ID FROM TimeHist WHERE Account LIKE 'acc%'", {}, {{"6"}}},
      {"SELECT ID FROM TimeHist WHERE Comments LIKE 'sheet _on'", {}, {{"1"}}},
      {"SELECT Description FROM JobCodes WHERE Description NOT LIKE '%e%' ORDER BY 1", {}, {{"Old"}}},
      // Functions, arithmetic, names in any case.
      {"SELECT SUBSTRING(Description FROM 1 FOR 3), TRIM(BOTH 'x' FROM 'xxAx'), LOWER(Description) "
       "FROM Accounts WHERE [Charge Account] = 'ACC1'",
       {},
       {{"Fir", "A", "first"}}},
      {"SELECT EXTRACT(HOUR FROM [Start Time]), EXTRACT(MSECOND FROM [Start Time]) FROM TimeHist WHERE ID = 3",
       {},
       {{"9", "250"}}},
      {"SELECT Rate * 2 + 1, Rate / 8, 7 / 2, Description + '!' FROM Accounts WHERE [Charge Account]='ACC1'",
       {},
       {{"101", "6.25", "3.5", "First!"}}},
      {"select id from timehist where [user id] = 'bob' order by Id", {}, {{"4"}, {"5"}}},
      {"SELECT CASE WHEN Synch = TRUE THEN 'sent' ELSE 'local' END FROM TimeHist WHERE ID <= 2 ORDER BY ID",
       {},
       {{"sent"}, {"local"}}},
  };
  for (const QueryCase& c : cases) {
    SCOPED_TRACE(c.statement);
    const TranslatedSql t = Translate(c.statement);
    EXPECT_EQ(RunSql(db_.get(), t.sql, t.parameters, c.bindings), c.expected) << t.sql;
  }
}

struct WriteCase {
  const char* statement;
  std::vector<Binding> bindings;
  const char* check;  // SQLite SQL reading the result
  Rows expected;
};

TEST_F(SqlDialectTest, WritesChangeTheExpectedRows) {
  const WriteCase cases[] = {
      {"DELETE FROM TimeHist WHERE Account = 'ACC2'", {}, "SELECT ID FROM TimeHist ORDER BY ID",
       {{"1"}, {"2"}, {"3"}, {"6"}}},
      {"UPDATE TimeHist SET Account = 'O''X' WHERE Account = 'ACC1'", {},
       "SELECT ID FROM TimeHist WHERE Account = 'O''X' ORDER BY ID", {{"1"}, {"2"}, {"3"}}},
      // Printed marking of a report with date parameters.
      {"UPDATE TimeHist SET Printed = True WHERE [Start Time] Between :Date1 And :Date2 AND [End Time] <> Null",
       {{"Date1", "2024-01-08 00:00:00.000"}, {"Date2", "2024-01-09 00:00:00.000"}},
       "SELECT ID FROM TimeHist WHERE Printed = 1 ORDER BY ID", {{"1"}, {"2"}}},
      {"INSERT INTO Invoices (Invoice) Values(\"2024000004\")", {},
       "SELECT Invoice, Client, Paid FROM Invoices WHERE Invoice = '2024000004'",
       {{"2024000004", "NULL", "NULL"}}},
      {"UPDATE TimeHist SET Invoice = \"2024000005\"\n WHERE [User ID] = \"alice\" AND [Start Time] Between "
       "'2024-01-08' And '2024-01-10' And [End Time] <> Null",
       {}, "SELECT ID FROM TimeHist WHERE Invoice = '2024000005' ORDER BY ID", {{"1"}, {"2"}, {"3"}}},
      {"UPDATE Expenses SET Invoice = \"2024000005\"\n WHERE [ExpenseDate] Between '2024-01-01' And "
       "'2024-02-01' AND [UserID] = \"alice\"",
       {}, "SELECT ExpenseID FROM Expenses WHERE Invoice = '2024000005' ORDER BY 1", {{"1"}, {"2"}}},
      {"INSERT INTO Archive SELECT * FROM TimeHist WHERE [Start Time] < '2024-01-09'", {},
       "SELECT ID, \"Start Time\" FROM Archive", {{"1", "2024-01-08 00:00:00.000"}}},
      // Values written into fields take the field's storage form; an empty text is empty.
      {"INSERT INTO memTimeSheet (Account, Code, Mo, WeekStart) VALUES ('First', '', 7.5, '2024-01-08 00:00')",
       {}, "SELECT Account, Code, Mo, WeekStart FROM memTimeSheet", {{"First", "NULL", "7.5", "2024-01-08"}}},
      {"UPDATE TimeHist SET [End Time] = '2024-01-09 14:00', Comments = '' WHERE ID = 4", {},
       "SELECT \"End Time\", Comments FROM TimeHist WHERE ID = 4", {{"2024-01-09 14:00:00.000", "NULL"}}},
      {"INSERT INTO WorkGrp VALUES ('G2', 'carol'), ('G2', 'dave');", {},
       "SELECT * FROM WorkGrp WHERE WorkGroup = 'G2' ORDER BY 2", {{"G2", "carol"}, {"G2", "dave"}}},
      {"DELETE FROM TimeHist WHERE ID IN (SELECT ID FROM TimeHist WHERE [User ID] = 'alice')", {},
       "SELECT count(*) FROM TimeHist", {{"3"}}},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.statement);
    SqliteDb db = OpenTestDatabase(schema_);
    Exec(db.get(), kSeed);
    const TranslatedSql t = Translate(c.statement);
    EXPECT_EQ(RunSql(db.get(), t.sql, t.parameters, c.bindings), Rows{}) << t.sql;
    EXPECT_EQ(RunSql(db.get(), c.check), c.expected) << t.sql;
  }
}

TEST_F(SqlDialectTest, CurrentDateAndTimeAreLocal) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string today = fmt::format("{:04}-{:02}-{:02}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  const TranslatedSql t = Translate("SELECT CURRENT_DATE, CURRENT_TIMESTAMP, CURRENT_TIME");
  const Rows rows = RunSql(db_.get(), t.sql);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], today);
  EXPECT_EQ(rows[0][1].substr(0, 10), today);
  EXPECT_EQ(rows[0][1].size(), 23u);            // YYYY-MM-DD HH:MM:SS.mmm
  EXPECT_EQ(rows[0][2], rows[0][1].substr(11));  // HH:MM:SS.mmm
  EXPECT_EQ(t.columns[0].type, FieldType::Date);
  EXPECT_EQ(t.columns[2].type, FieldType::Time);
}

// --- what the engine learns about a statement ---------------------------------------------------

struct ShapeCase {
  const char* statement;
  std::optional<std::string> live_table;
  std::vector<std::pair<std::string, std::optional<FieldType>>> columns;
};

TEST_F(SqlDialectTest, ResultShape) {
  using F = FieldType;
  const ShapeCase cases[] = {
      {"SELECT * FROM reports", "Reports",
       {{"ReportID", F::Integer}, {"ReportTitle", F::String}, {"FileName", F::String},
        {"Position", F::Integer}, {"Visible", F::Boolean}}},
      {"Select [job_code] As Job_Code, [Start Time] AS [Week Start], ([End Time]-[Start Time])/3600000 From TimeHist",
       "TimeHist",
       {{"Job_Code", F::String}, {"Week Start", F::Timestamp}, {"([End Time]-[Start Time])/3600000", F::Float}}},
      {"Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist", std::nullopt, {{"ElapsedTime", F::Integer}}},
      {"SELECT [User ID] FROM TimeHist GROUP BY [User ID]", std::nullopt, {{"User ID", F::String}}},
      {"SELECT DISTINCT Account FROM TimeHist", std::nullopt, {{"Account", F::String}}},
      {"SELECT t.ID, a.Rate FROM TimeHist t, Accounts a", std::nullopt, {{"ID", F::AutoInc}, {"Rate", F::Currency}}},
      {"SELECT Account FROM TimeHist UNION SELECT Account FROM Archive", std::nullopt, {{"Account", F::String}}},
      {"SELECT CAST([Start Time] AS TIME), :P FROM TimeHist WHERE ID = (SELECT Max(ID) FROM Archive)", "TimeHist",
       {{"CAST([Start Time] AS TIME)", F::Time}, {":P", std::nullopt}}},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.statement);
    const TranslatedSql t = Translate(c.statement);
    EXPECT_EQ(t.kind, SqlStatementKind::Select);
    EXPECT_EQ(t.live_table, c.live_table);
    std::vector<std::pair<std::string, std::optional<FieldType>>> columns;
    for (const SqlColumn& col : t.columns) columns.emplace_back(col.name, col.type);
    EXPECT_EQ(columns, c.columns);
    // The names the engine reports are the names SQLite gives the result columns.
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_.get(), t.sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << t.sql;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) EXPECT_EQ(sqlite3_column_name(stmt, i), c.columns[i].first);
    sqlite3_finalize(stmt);
  }
}

TEST_F(SqlDialectTest, ParametersAreNumberedOnceAndTyped) {
  const TranslatedSql t = Translate(
      "UPDATE TimeHist SET Printed = :Flag WHERE [Start Time] Between :Date1 And :Date2 AND "
      "([End Time] < :date1 OR :Free = :Free) AND Account IN (SELECT [Charge Account] FROM Accounts a "
      "WHERE a.Rate > :Rate)");
  const std::vector<SqlParameter> expected = {{"Flag", FieldType::Boolean},
                                              {"Date1", FieldType::Timestamp},
                                              {"Date2", FieldType::Timestamp},
                                              {"Free", std::nullopt},
                                              {"Rate", FieldType::Currency}};
  ASSERT_EQ(t.parameters.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(t.parameters[i].name, expected[i].name);
    EXPECT_EQ(t.parameters[i].type, expected[i].type) << expected[i].name;
  }
  EXPECT_EQ(t.kind, SqlStatementKind::Update);
  EXPECT_EQ(t.tables, (std::vector<std::string>{"TimeHist", "Accounts"}));
  EXPECT_NE(t.sql.find("?2"), t.sql.rfind("?2"));  // :Date1 and :date1 are one parameter
  EXPECT_EQ(Translate("SELECT ExpenseID FROM Expenses WHERE ExpenseDate >= :From").parameters[0].type, FieldType::Date);
  EXPECT_EQ(Translate("INSERT INTO memTimeSheet (WeekStart, Su) VALUES (:W, :H)").parameters[1].type, FieldType::Float);
}

// --- filters --------------------------------------------------------------------------------------

struct FilterCase {
  const char* table;
  const char* filter;
  FilterOptions options;
  Rows expected;  // first column of the matching rows, ordered
};

TEST_F(SqlDialectTest, FiltersSelectTheExpectedRows) {
  const FilterOptions exact{};
  const FilterOptions no_case{true, false};
  const FilterOptions no_partial{false, true};
  const FilterCase cases[] = {
      {"Accounts", "Active=TRUE", exact, {{"ACC1"}, {"O'X"}}},
      {"JobCodes", "Active=TRUE AND ChargeAccount='ACC1'", exact, {{"DEV"}}},
      {"TimeHist", "((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)", exact, {{"2"}, {"3"}, {"5"}, {"6"}}},
      {"TimeHist", "([Start Time] >= '2024-01-08') AND ([Start Time] <= '2024-01-09')", exact, {{"1"}, {"2"}}},
      {"TimeHist", "Account = 'acc1'", exact, {{"6"}}},
      {"TimeHist", "Account = 'acc1'", no_case, {{"1"}, {"2"}, {"3"}, {"6"}}},
      {"TimeHist", "Account IN ('acc2', 'x')", no_case, {{"4"}, {"5"}}},
      {"TimeHist", "Account = 'AC*'", exact, {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}}},
      {"TimeHist", "'AC*' = Account", no_case, {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}}},
      {"TimeHist", "Account <> 'ACC*'", exact, {{"6"}}},
      {"TimeHist", "Account = 'AC*'", no_partial, {}},
      {"TimeHist", "[User ID] = \"O'Brien\" AND Comments LIKE '%HI%'", no_case, {{"6"}}},
      {"TimeHist", "Comments LIKE '%HI%'", exact, {}},
      {"Clients", "Name = 'client one'", no_case, {{"CL1"}}},
      {"Clients", "Name > 'client one'", no_case, {{"CL2"}}},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(fmt::format("{}: {} ({}, {})", c.table, c.filter, c.options.case_insensitive,
                             c.options.no_partial_compare));
    const TranslatedFilter f = TranslateFilter(c.filter, c.table, schema_, c.options);
    Rows firsts;
    for (auto& row : RunSql(db_.get(), fmt::format("SELECT * FROM \"{}\" WHERE {} ORDER BY 1", c.table, f.sql)))
      firsts.push_back({row[0]});
    EXPECT_EQ(firsts, c.expected) << f.sql;
  }
  EXPECT_EQ(TranslateFilter("  \n", "TimeHist", schema_).sql, "");
  // Long chains are written flat: SQLite's parser gives up after about 90 nested levels.
  std::string chain = "ID = 1";
  for (int i = 0; i < 150; ++i) chain += " OR ID = 2";
  const TranslatedFilter f = TranslateFilter(chain, "TimeHist", schema_);
  EXPECT_EQ(RunSql(db_.get(), "SELECT ID FROM \"TimeHist\" WHERE " + f.sql + " ORDER BY 1"), (Rows{{"1"}, {"2"}}));
}

// --- refusals -------------------------------------------------------------------------------------

struct ErrorCase {
  std::string text;
  std::string message;  // the start of the expected message
};

TEST_F(SqlDialectTest, UntranslatableTextNamesThePosition) {
  const ErrorCase cases[] = {
      {"SELECT * FORM TimeHist", "Syntax error at position 10 near \"FORM\""},
      {"SELECT ID FROM TimeHist WHERE", "Syntax error at position 30: unexpected end of text"},
      {"SELECT ID FROM TimeHist; DELETE FROM TimeHist", "Syntax error at position 26 near \"DELETE\""},
      {"SELECT ID FROM TimeHist WHERE Account = 'ä' AND ?", "Syntax error at position 49 near \"?\""},
      {"SELECT ID FROM TimeHist WHERE Comments = 'open", "Unterminated string at position 42"},
      {"SELECT * FROM Nowhere", "Unknown table \"Nowhere\" at position 15"},
      {"SELECT [Strat Time] FROM TimeHist", "Unknown field \"Strat Time\" at position 8"},
      {"SELECT x.ID FROM TimeHist t", "Unknown table or alias \"x\" at position 8"},
      {"UPDATE TimeHist SET Nope = 1", "Unknown field \"Nope\" in table \"TimeHist\" at position 21"},
      {"SELECT ID FROM TimeHist, Archive", "Ambiguous field name \"ID\" at position 8"},
      {"SELECT ID FROM TimeHist, TimeHist", "Table \"TimeHist\" is named twice"},
      {"SELECT ID FROM TimeHist WHERE [Start Time] > '2024-02-30'", "Invalid timestamp value \"2024-02-30\" at position 46"},
      {"SELECT ID FROM TimeHist WHERE CAST([Start Time] AS TIME) = '24:00'", "Invalid time value \"24:00\""},
      {"SELECT ID FROM TimeHist WHERE Sum(ID) > 1", "Aggregate SUM is not allowed here at position 31"},
      {"SELECT Sum(Max(ID)) FROM TimeHist", "Aggregates cannot be nested"},
      {"SELECT ID FROM TimeHist HAVING ID > 1", "HAVING needs GROUP BY or an aggregate at position 25"},
      {"SELECT ID FROM TimeHist WHERE [Start Time] + 1 > 0", "Operator + is not defined on date and time values"},
      {"SELECT [End Time] - 5 FROM TimeHist", "Only a date or time value can be subtracted"},
      {"SELECT ID FROM TimeHist ORDER BY 2", "Column number 2 is out of range at position 34"},
      {"SELECT Foo(ID) FROM TimeHist", "Unknown function \"FOO\""},
      {"SELECT CAST(ID AS BLOBBY) FROM TimeHist", "Unknown type \"BLOBBY\" in CAST"},
      {"INSERT INTO Invoices VALUES ('1', '2')", "2 values given for 3 fields at position 30"},
      {"SELECT ID FROM TimeHist WHERE ID IN (SELECT ID, Account FROM Archive)", "A sub-select used as a value"},
      {"SELECT ID FROM TimeHist WHERE ID = " + std::string(300, '(') + "1" + std::string(300, ')'),
       "Statement nested too deeply"},
      {"SELECT ID FROM TimeHist WHERE ID = 1" + [] {
         std::string s;
         for (int i = 0; i < 300; ++i) s += " OR ID = 1";
         return s;
       }(),
       "Expression nested too deeply"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    try {
      Translate(c.text);
      ADD_FAILURE() << "translated";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), kErrSqlSyntax);
      EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message);
    }
  }
  const std::pair<const char*, const char*> filter_cases[] = {
      {":X = 1", "Parameters are not allowed in a filter at position 1"},
      {"ID IN (SELECT ID FROM Archive)", "Sub-selects are not allowed in a filter at position 4"},
      {"Account = ", "Syntax error at position 11: unexpected end of text"},
  };
  for (const auto& [filter, message] : filter_cases) {
    SCOPED_TRACE(filter);
    try {
      TranslateFilter(filter, "TimeHist", schema_);
      ADD_FAILURE() << "translated";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), kErrSqlSyntax);
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
  EXPECT_THROW(TranslateFilter("ID = 1", "NoTable", schema_), EngineError);
}

// --- date and time texts ----------------------------------------------------------------------------

TEST(SqlDateTimeLiteralTest, StorageForms) {
  using F = FieldType;
  const std::tuple<const char*, F, std::optional<std::string>> cases[] = {
      {"2023-01-31", F::Date, "2023-01-31"},
      {"2023-01-31", F::Timestamp, "2023-01-31 00:00:00.000"},
      {"2023-01-31 00:00", F::Date, "2023-01-31"},
      {"2023-01-31 00:00:01", F::Date, std::nullopt},
      {"2023-1-5 7:05", F::Timestamp, "2023-01-05 07:05:00.000"},
      {"2023-01-31T23:59:59.999", F::Timestamp, "2023-01-31 23:59:59.999"},
      {" 2024-02-29 12:00:00.5 ", F::Timestamp, "2024-02-29 12:00:00.500"},
      {"0:00", F::Time, "00:00:00.000"},
      {"23:59:59.07", F::Time, "23:59:59.070"},
      {"0:00", F::Timestamp, std::nullopt},
      {"2023-01-31", F::Time, std::nullopt},
      {"2023-02-29", F::Date, std::nullopt},
      {"2100-02-29", F::Date, std::nullopt},
      {"2000-02-29", F::Date, "2000-02-29"},
      {"2023-13-01", F::Date, std::nullopt},
      {"24:00", F::Time, std::nullopt},
      {"12:60", F::Time, std::nullopt},
      {"12:00:00.1234", F::Time, std::nullopt},
      {"23-01-31", F::Date, std::nullopt},
      {"2023-01-31 x", F::Timestamp, std::nullopt},
      {"", F::Date, std::nullopt},
      {"2023-01-31", F::String, std::nullopt},
  };
  for (const auto& [text, type, expected] : cases) {
    EXPECT_EQ(sql::StorageFormOf(text, type), expected) << text << " as " << FieldTypeName(type);
  }
}

}  // namespace
}  // namespace tikora::engine
