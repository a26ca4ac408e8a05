// The statements and filter texts the programs send, exactly as they build them, run through the
// engine (Query, Table filters) against a small data folder and checked against the rows the
// programs rely on.
//
// Several statements carry known weaknesses, tested here as the programs write them so that the
// behaviour stays visible (the "corrected" cases show the form callers should use instead):
//   - `[Start Time] Between day And day + 1` includes the next day's midnight, so an entry starting
//     exactly at midnight counts in two periods; `>= day AND < day + 1` counts it once.
//   - values spliced between double quotes without doubling an inner double quote: a quote in the
//     value breaks the statement, or changes its meaning; a parameter (or the doubled quote) does
//     not.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/query.h"
#include "engine_fixture.h"

namespace tikora::engine::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;
using Fields = std::vector<std::pair<const char*, Value>>;

Value T(const char* text) { return Value::Text(text); }
Value Day(int year, int month, int day) { return Value::Date(EncodeDate(year, month, day)); }

struct Param {
  const char* name;
  Value value;
};

// A cell as text: NULL for an empty value, timestamps always with their time of day.
std::string Cell(const Query& q, int column) {
  const Value v = q.FieldValue(column);
  if (v.IsNull()) return "NULL";
  if (q.FieldTypeOf(column) == FieldType::Timestamp) return FormatIsoTimestamp(v.AsDateTime());
  return v.AsText();
}

Rows ReadAll(Query& q) {
  Rows rows;
  for (q.First(); q.RecordCount() > 0; q.Next()) {
    std::vector<std::string> row;
    for (int c = 0; c < q.FieldCount(); ++c) row.push_back(Cell(q, c));
    rows.push_back(std::move(row));
    if (q.RecNo() == q.RecordCount()) break;
  }
  return rows;
}

std::vector<std::string> FirstColumn(Table& t) {
  std::vector<std::string> out;
  for (t.First(); !t.IsEmpty(); t.Next()) {
    out.push_back(t.FieldValue(0).AsText());
    if (t.RecNo() == t.RecordCount()) break;
  }
  return out;
}

// Options of the administrator's time history table: case-insensitive, no partial comparison.
constexpr FilterOptions kHistoryOptions{.case_insensitive = true, .no_partial_compare = true};

// A week from Sunday 2024-01-07. Entry 5 starts at the next Sunday's midnight (the edge of an
// inclusive upper bound), entry 7 one millisecond before the week's first midnight, entry 4 is
// still running, entry 6 runs past midnight and names its account in lower case.
class ConformanceTest : public DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    db_ = std::make_unique<Database>(dir_);
    const std::vector<std::string> tables = {"TimeHist", "Accounts", "JobCodes", "Clients",
                                             "Invoices", "Expenses", "Reports"};
    db_->StartTransaction(tables);
    Insert("TimeHist",
           {{{"User ID", T("alice")}, {"Account", T("ACC1")}, {"Job_Code", T("DEV")}, {"ClientID", T("CL1")},
             {"Start Time", T("2024-01-08 00:00")}, {"End Time", T("2024-01-08 07:30")},
             {"Comments", T("sheet mon")}, {"Synch", Value::Boolean(true)}},
            {{"User ID", T("alice")}, {"Account", T("ACC1")}, {"Job_Code", T("DEV")}, {"ClientID", T("CL1")},
             {"Start Time", T("2024-01-09 00:00")}, {"End Time", T("2024-01-09 08:00")},
             {"Comments", T("sheet tue")}, {"Synch", Value::Boolean(false)}},
            {{"User ID", T("alice")}, {"Account", T("ACC1")}, {"Job_Code", T("TEST")},
             {"Start Time", T("2024-01-09 09:15:00.250")}, {"End Time", T("2024-01-09 10:15:00.750")},
             {"Comments", T("punched")}, {"Invoice", T("2024000001")}},
            {{"User ID", T("bob")}, {"Account", T("ACC2")}, {"Start Time", T("2024-01-09 13:00")},
             {"Comments", T("running")}},
            {{"User ID", T("bob")}, {"Account", T("ACC2")}, {"Job_Code", T("DEV")},
             {"Start Time", T("2024-01-14 00:00")}, {"End Time", T("2024-01-14 02:00")},
             {"Comments", T("sheet sun")}},
            {{"User ID", T("alice")}, {"Account", T("acc1")}, {"Job_Code", T("DEV")},
             {"Start Time", T("2024-01-10 23:00")}, {"End Time", T("2024-01-11 01:30")}, {"Comments", T("late")}},
            {{"User ID", T("carol")}, {"Account", T("O'X")}, {"ClientID", T("CL2")},
             {"Start Time", T("2024-01-07 23:59:59.999")}, {"End Time", T("2024-01-08 00:30")},
             {"Comments", T("edge")}}});
    Insert("Accounts", {{{"Charge Account", T("ACC1")}, {"Description", T("Main work")}, {"Client", T("CL1")}},
                        {{"Charge Account", T("ACC2")}, {"Description", T("Second")}, {"Client", T("CL2")},
                         {"Active", Value::Boolean(false)}},
                        {{"Charge Account", T("O'X")}, {"Description", T("Extra")}}});
    Insert("JobCodes", {{{"Job Code", T("DEV")}, {"Description", T("Development")}, {"ChargeAccount", T("ACC1")}},
                        {{"Job Code", T("TEST")}, {"Description", T("Testing")}},
                        {{"Job Code", T("OLD")}, {"Description", T("Old")}, {"ChargeAccount", T("ACC1")},
                         {"Active", Value::Boolean(false)}}});
    Insert("Clients", {{{"ClientID", T("CL1")}, {"Name", T("Client One")}},
                       {{"ClientID", T("CL2")}, {"Name", T("Client Two")}},
                       {{"ClientID", T("CL3")}, {"Name", T("Closed")}, {"Active", Value::Boolean(false)}}});
    Insert("Invoices", {{{"Invoice", T("2024000001")}, {"Client", T("CL1")}},
                        {{"Invoice", T("a000000002")}, {"Client", T("CL1")}},
                        {{"Invoice", T("B000000003")}}});
    Insert("Expenses", {{{"UserID", T("alice")}, {"Account", T("ACC1")}, {"JobCode", T("DEV")},
                         {"ClientID", T("CL1")}, {"Description", T("Taxi")}, {"ExpenseDate", T("2024-01-08")}},
                        {{"UserID", T("alice")}, {"Account", T("ACC1")}, {"JobCode", T("TEST")},
                         {"Description", T("Hotel")}, {"ExpenseDate", T("2024-01-14")}},
                        {{"UserID", T("bob")}, {"Account", T("ACC2")}, {"Description", T("Lunch")},
                         {"ExpenseDate", T("2024-01-13")}}});
    Insert("Reports", {{{"ReportID", Value::Integer(1)}, {"ReportTitle", T("By account")},
                        {"FileName", T("r1.frf")}, {"Position", Value::Integer(2)}, {"Visible", Value::Boolean(true)}},
                       {{"ReportID", Value::Integer(2)}, {"ReportTitle", T("By code")},
                        {"FileName", T("r2.frf")}, {"Position", Value::Integer(1)}, {"Visible", Value::Boolean(true)}},
                       {{"ReportID", Value::Integer(3)}, {"ReportTitle", T("Hidden")},
                        {"FileName", T("r3.frf")}, {"Position", Value::Integer(3)}, {"Visible", Value::Boolean(false)}}});
    db_->Commit();
  }

  void TearDown() override {
    db_.reset();
    DataFolderTest::TearDown();
  }

  void Insert(const char* table, const std::vector<Fields>& rows) {
    Table t(*db_, table);
    t.Open();
    for (const Fields& row : rows) {
      t.Append();
      for (const auto& [field, value] : row) t.SetFieldValue(field, value);
      t.Post();
    }
  }

  Rows Select(const std::string& statement, const std::vector<Param>& params = {}) {
    Query q(*db_);
    q.SetSql(statement);
    for (const Param& p : params) q.SetParam(p.name, p.value);
    q.Open();
    return ReadAll(q);
  }

  std::int64_t Execute(const std::string& statement, const std::vector<Param>& params = {}) {
    Query q(*db_);
    q.SetSql(statement);
    for (const Param& p : params) q.SetParam(p.name, p.value);
    return q.ExecSQL();
  }

  std::unique_ptr<Database> db_;
};

// The day total of the web clock: one line, then the user and the account lines when they apply.
std::string DayTotal(const char* day, const char* next_day, const char* user = nullptr,
                     const char* account = nullptr) {
  std::string sql = fmt::format(
      "Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] Between '{}' "
      "And '{}' And [End Time] <> Null",
      day, next_day);
  if (user) sql += fmt::format("\n And [User ID] = \"{}\"", user);
  if (account) sql += fmt::format("\n And [Account] = \"{}\"", account);
  return sql;
}

// The web time sheet's week: entries of one user starting at midnight.
std::string WeekSheet(const char* user, const char* first, const char* after) {
  return fmt::format(
      "SELECT Account,Job_Code,ClientID,[Start Time],([End Time]-[Start Time])/3600000 As ElapsedTime,"
      "Comments FROM TimeHist WHERE [User ID]='{}' AND CAST([Start Time] AS TIME) = \"0:00\" AND "
      "[Start Time] BETWEEN '{}' AND '{}' ORDER BY Account,Job_Code,ClientID",
      user, first, after);
}

constexpr const char* kReport1 =
    "Select [Account], [Start Time] , [End Time], [Start Time] AS WeekStart From TimeHist\n WHERE ";
constexpr const char* kReport2 =
    "Select [Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS WeekStart From TimeHist\n WHERE ";
constexpr const char* kReport3 =
    "Select [Account],[Job_Code] As Job_Code,[Start Time],[End Time],[Start Time] AS WeekStart From "
    "TimeHist\n WHERE ";

struct SelectCase {
  std::string statement;
  std::vector<Param> params;
  Rows expected;
};

TEST_F(ConformanceTest, StatementsReturnTheRowsTheProgramsExpect) {
  const SelectCase cases[] = {
      // Pick lists and the report catalogue.
      {"SELECT * FROM Reports WHERE (Visible = True) ORDER BY Position",
       {},
       {{"2", "By code", "r2.frf", "1", "True"}, {"1", "By account", "r1.frf", "2", "True"}}},
      {"SELECT [User ID] FROM TimeHist GROUP BY [User ID]", {}, {{"alice"}, {"bob"}, {"carol"}}},

      // Day totals in milliseconds: closed entries starting from the day's midnight to the next.
      {DayTotal("2024-01-09", "2024-01-10"), {}, {{"32400500"}}},  // 8 h + 1 h 0.5 s; bob's runs
      {DayTotal("2024-01-09", "2024-01-10", "bob"), {}, {{"NULL"}}},
      {DayTotal("2024-01-10", "2024-01-11", "alice"), {}, {{"9000000"}}},
      {DayTotal("2024-01-10", "2024-01-11", "alice", "ACC1"), {}, {{"NULL"}}},  // "acc1" is another account
      {DayTotal("2024-01-08", "2024-01-09", "carol"), {}, {{"NULL"}}},  // 23:59:59.999 is the day before
      {DayTotal("2024-01-12", "2024-01-13"), {}, {{"NULL"}}},
      // The inclusive upper midnight: Sunday's sheet entry counts on Saturday and on Sunday.
      {DayTotal("2024-01-13", "2024-01-14"), {}, {{"7200000"}}},
      {DayTotal("2024-01-14", "2024-01-15"), {}, {{"7200000"}}},
      {DayTotal("2024-01-07", "2024-01-08"), {}, {{"28800001"}}},  // 30 min 1 ms, and Monday's 7.5 h
      {"Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] >= '2024-01-13' "
       "And [Start Time] < '2024-01-14' And [End Time] <> Null",
       {},
       {{"NULL"}}},
      // A user name spliced between double quotes rewrites the condition: every user's time.
      {DayTotal("2024-01-09", "2024-01-10", "x\" OR \"1\"=\"1"), {}, {{"77400501"}}},
      {"Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] Between "
       "'2024-01-09' And '2024-01-10' And [End Time] <> Null\n And [User ID] = :User",
       {{"User", T("x\" OR \"1\"=\"1")}},
       {{"NULL"}}},

      // The web time sheet: only entries starting at midnight, hours as fractions.
      {WeekSheet("alice", "2024-01-07", "2024-01-14"),
       {},
       {{"ACC1", "DEV", "CL1", "2024-01-08 00:00:00.000", "7.5", "sheet mon"},
        {"ACC1", "DEV", "CL1", "2024-01-09 00:00:00.000", "8", "sheet tue"}}},
      {WeekSheet("carol", "2024-01-07", "2024-01-14"), {}, {}},
      // The next Sunday's entry appears in both weeks (and lands on the first day of the earlier one).
      {WeekSheet("bob", "2024-01-07", "2024-01-14"),
       {},
       {{"ACC2", "DEV", "NULL", "2024-01-14 00:00:00.000", "2", "sheet sun"}}},
      {WeekSheet("bob", "2024-01-14", "2024-01-21"),
       {},
       {{"ACC2", "DEV", "NULL", "2024-01-14 00:00:00.000", "2", "sheet sun"}}},
      {"SELECT ID FROM TimeHist WHERE [User ID]='bob' AND CAST([Start Time] AS TIME) = \"0:00\" AND "
       "[Start Time] >= '2024-01-07' AND [Start Time] < '2024-01-14'",
       {},
       {}},

      // Weekly time sheets of the reports, with literal dates and with :Date1/:Date2.
      {std::string(kReport1) +
           "[User ID] = \"alice\" AND [Account] = \"ACC1\" AND [Start Time] Between '2024-01-08' And "
           "'2024-01-10' And [End Time] <> Null Order By WeekStart, 1",
       {},
       {{"ACC1", "2024-01-08 00:00:00.000", "2024-01-08 07:30:00.000", "2024-01-08 00:00:00.000"},
        {"ACC1", "2024-01-09 00:00:00.000", "2024-01-09 08:00:00.000", "2024-01-09 00:00:00.000"},
        {"ACC1", "2024-01-09 09:15:00.250", "2024-01-09 10:15:00.750", "2024-01-09 09:15:00.250"}}},
      {std::string(kReport2) + "[Start Time] Between :Date1 And :Date2 AND [End Time] <> Null Order By WeekStart, 1",
       {{"Date1", Day(2024, 1, 9)}, {"Date2", Day(2024, 1, 10)}},
       {{"DEV", "2024-01-09 00:00:00.000", "2024-01-09 08:00:00.000", "2024-01-09 00:00:00.000"},
        {"TEST", "2024-01-09 09:15:00.250", "2024-01-09 10:15:00.750", "2024-01-09 09:15:00.250"}}},
      {std::string(kReport2) +
           "[Start Time] Between :Date1 And :Date2 AND [User ID] = \"alice\" AND [Account] = \"ACC1\" AND "
           "[Job_Code] = \"DEV\" AND [ClientID] = \"CL1\" AND [End Time] <> Null Order By WeekStart, 1",
       {{"Date1", Day(2024, 1, 7)}, {"Date2", Day(2024, 1, 14)}},
       {{"DEV", "2024-01-08 00:00:00.000", "2024-01-08 07:30:00.000", "2024-01-08 00:00:00.000"},
        {"DEV", "2024-01-09 00:00:00.000", "2024-01-09 08:00:00.000", "2024-01-09 00:00:00.000"}}},
      {std::string(kReport3) +
           " [Account] = \"acc1\" AND [Start Time] Between :Date1 And :Date2 And [End Time] <> Null "
           "Order By WeekStart, 1, 2",
       {{"Date1", Day(2024, 1, 8)}, {"Date2", Day(2024, 1, 15)}},
       {{"acc1", "DEV", "2024-01-10 23:00:00.000", "2024-01-11 01:30:00.000", "2024-01-10 23:00:00.000"}}},
      {std::string(kReport3) +
           "[User ID] = \"carol\" AND  [Account] = \"O'X\" AND [Start Time] Between :Date1 And :Date2 And "
           "[End Time] <> Null Order By WeekStart, 1, 2",
       {{"Date1", Day(2024, 1, 7)}, {"Date2", Day(2024, 1, 8)}},
       {{"O'X", "NULL", "2024-01-07 23:59:59.999", "2024-01-08 00:30:00.000", "2024-01-07 23:59:59.999"}}},
      {std::string(kReport3) + "[Start Time] Between :Date1 And :Date2 And [End Time] <> Null Order By WeekStart, 1, 2",
       {{"Date1", Day(2024, 1, 7)}, {"Date2", Day(2024, 1, 8)}},
       {{"O'X", "NULL", "2024-01-07 23:59:59.999", "2024-01-08 00:30:00.000", "2024-01-07 23:59:59.999"},
        {"ACC1", "DEV", "2024-01-08 00:00:00.000", "2024-01-08 07:30:00.000", "2024-01-08 00:00:00.000"}}},

      // Invoices: the last number ignoring case, look-ups with double-quoted numbers, the main
      // report's statement with the period condition appended.
      {"SELECT Invoice from Invoices ORDER BY Invoice DESC NOCASE",
       {},
       {{"B000000003"}, {"a000000002"}, {"2024000001"}}},
      {"SELECT Invoice From TimeHist WHERE Invoice = \"2024000001\"", {}, {{"2024000001"}}},
      {"SELECT Invoice From Invoices WHERE Invoice = \"2024000004\"", {}, {}},
      {"SELECT ID, Invoice FROM TimeHist WHERE Invoice = \"2024000001\"\n AND [Start Time] Between "
       "'2024-01-08' And '2024-01-10' And [End Time] <> Null",
       {},
       {{"3", "2024000001"}}},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(Select(c.statement, c.params), c.expected);
  }
}

struct WriteCase {
  std::string statement;
  std::vector<Param> params;
  std::int64_t changed;
  std::string check;  // a SELECT reading the outcome
  Rows expected;
};

TEST_F(ConformanceTest, StatementsChangeTheRowsTheProgramsExpect) {
  const char* const kIds = "SELECT ID FROM TimeHist ORDER BY ID";
  const WriteCase cases[] = {
      // Cascades of deleted and renamed codes: exact, case-sensitive keys as quoted literals.
      {"DELETE FROM TimeHist WHERE Account = 'ACC2'", {}, 2, kIds, {{"1"}, {"2"}, {"3"}, {"6"}, {"7"}}},
      {"DELETE FROM TimeHist WHERE Job_Code = 'TEST'", {}, 1, kIds, {{"1"}, {"2"}, {"4"}, {"5"}, {"6"}, {"7"}}},
      {"DELETE FROM TimeHist WHERE ClientID = 'CL1'", {}, 2, kIds, {{"3"}, {"4"}, {"5"}, {"6"}, {"7"}}},
      {"DELETE FROM TimeHist WHERE Account = 'O''X'", {}, 1, kIds, {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}}},
      {"UPDATE TimeHist SET Account = 'O''X' WHERE Account = 'ACC1'", {}, 3,
       "SELECT ID FROM TimeHist WHERE Account = \"O'X\" ORDER BY ID", {{"1"}, {"2"}, {"3"}, {"7"}}},
      {"UPDATE TimeHist SET Job_Code = 'DEV2' WHERE Job_Code = 'DEV'", {}, 4,
       "SELECT ID FROM TimeHist WHERE Job_Code = 'DEV2' ORDER BY ID", {{"1"}, {"2"}, {"5"}, {"6"}}},
      {"UPDATE TimeHist SET ClientID = 'CL9' WHERE ClientID = 'CL2'", {}, 1,
       "SELECT ID FROM TimeHist WHERE ClientID = 'CL9'", {{"7"}}},

      // Printed marking: the time sheet's condition with and without date parameters marks
      // exactly the records the sheet summed.
      {"UPDATE TimeHist SET Printed = True WHERE [Start Time] Between :Date1 And :Date2 AND [End Time] <> Null",
       {{"Date1", Day(2024, 1, 8)}, {"Date2", Day(2024, 1, 9)}}, 2,
       "SELECT ID FROM TimeHist WHERE Printed = True ORDER BY ID", {{"1"}, {"2"}}},
      {"UPDATE TimeHist SET Printed = True WHERE [User ID] = \"alice\" AND [Account] = \"ACC1\" AND "
       "[Start Time] Between '2024-01-08' And '2024-01-10' And [End Time] <> Null",
       {}, 3, "SELECT ID FROM TimeHist WHERE Printed = True ORDER BY ID", {{"1"}, {"2"}, {"3"}}},

      // Invoicing: the proposal recorded, time records and expenses stamped, the sub-report's rows.
      {"INSERT INTO Invoices (Invoice) Values(\"2024000004\")", {}, 1,
       "SELECT Invoice, Client, Paid FROM Invoices WHERE Invoice = \"2024000004\"",
       {{"2024000004", "NULL", "NULL"}}},
      // No filter chosen, period 2024-01-07 to 01-13: every closed record starting in it, and
      // (inclusive upper midnight) the one starting on 01-14 at 00:00.
      {"UPDATE TimeHist SET Invoice = \"2024000004\"\n WHERE [Start Time] Between '2024-01-07' And "
       "'2024-01-14' And [End Time] <> Null",
       {}, 6, "SELECT ID FROM TimeHist WHERE Invoice = \"2024000004\" ORDER BY ID",
       {{"1"}, {"2"}, {"3"}, {"5"}, {"6"}, {"7"}}},
      {"UPDATE TimeHist SET Invoice = \"2024000004\"\n WHERE [User ID] = \"alice\" AND [Start Time] Between "
       "'2024-01-08' And '2024-01-10' And [End Time] <> Null",
       {}, 3, "SELECT ID, Invoice FROM TimeHist WHERE Invoice <> NULL ORDER BY ID",
       {{"1", "2024000004"}, {"2", "2024000004"}, {"3", "2024000004"}}},
      // The expense condition as written includes the day after the To date (the Hotel, 01-14).
      {"UPDATE Expenses SET Invoice = \"2024000004\"\n WHERE [ExpenseDate] Between '2024-01-07' And '2024-01-14'",
       {}, 3,
       "SELECT Description FROM Expenses WHERE Invoice = \"2024000004\" AND [ExpenseDate] Between "
       "'2024-01-07' And '2024-01-14' ORDER BY Account, JobCode",
       {{"Taxi"}, {"Hotel"}, {"Lunch"}}},
      {"UPDATE Expenses SET Invoice = \"2024000004\"\n WHERE [ExpenseDate] Between '2024-01-07' And "
       "'2024-01-14' AND [UserID] = \"alice\" AND [Account] = \"ACC1\"",
       {}, 2, "SELECT ExpenseID FROM Expenses WHERE Invoice = \"2024000004\" ORDER BY 1", {{"1"}, {"2"}}},
      // Corrected: up to the To date itself; an expense on the To date is stamped.
      {"UPDATE Expenses SET Invoice = \"2024000004\"\n WHERE [ExpenseDate] Between '2024-01-07' And '2024-01-13'",
       {}, 2, "SELECT Description FROM Expenses WHERE Invoice = \"2024000004\" ORDER BY Account, JobCode",
       {{"Taxi"}, {"Lunch"}}},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.statement);
    // Each case runs in a transaction of its own and is rolled back, so all start from the seed.
    db_->StartTransaction({"TimeHist", "Expenses", "Invoices"});
    EXPECT_EQ(Execute(c.statement, c.params), c.changed);
    EXPECT_EQ(Select(c.check), c.expected);
    db_->Rollback();
  }
  EXPECT_EQ(Select(kIds).size(), 7u);
}

TEST_F(ConformanceTest, StatementsThatCannotRunFailWithTheEngineError) {
  const char* const cases[] = {
      // A double quote inside a spliced value ends the text early.
      "Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist where [Start Time] Between "
      "'2024-01-09' And '2024-01-10' And [End Time] <> Null\n And [User ID] = \"O\"Brien\"",
      // The report conditions name time history fields, which the expenses table does not have.
      "SELECT * FROM Expenses WHERE [User ID] = \"alice\"",
  };
  for (const char* statement : cases) {
    SCOPED_TRACE(statement);
    Query q(*db_);
    q.SetSql(statement);
    try {
      q.Open();
      ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), kErrSqlSyntax) << e.what();
    }
  }
}

struct FilterCase {
  const char* table;
  const char* index;
  const char* filter;
  FilterOptions options;
  std::vector<std::string> expected;  // first field of the rows in view order
};

TEST_F(ConformanceTest, FilterTextsSelectTheRowsTheProgramsExpect) {
  const FilterOptions plain{};
  const char* const unsent = "((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)";
  const FilterCase cases[] = {
      // Records still to send: finished, Synch false or empty; alone or after the table's own filter.
      {"TimeHist", "", unsent, kHistoryOptions, {"2", "3", "5", "6", "7"}},
      {"TimeHist", "Start Time", "[User ID] = 'ALICE' AND ((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)",
       kHistoryOptions, {"2", "3", "6"}},
      // Archive by dates: both edges are midnights; a record later on the To date stays.
      {"TimeHist", "", "([Start Time] >= '2024-01-08') AND ([Start Time] <= '2024-01-09')", kHistoryOptions,
       {"1", "2"}},
      {"TimeHist", "", "([Start Time] >= '2024-01-07') AND ([Start Time] <= '2024-01-07')", kHistoryOptions, {}},
      {"TimeHist", "", "([Start Time] >= '2024-01-10') AND ([Start Time] <= '2024-01-08')", kHistoryOptions, {}},
      {"TimeHist", "Start Time",
       "([Start Time] >= '2024-01-08') AND ([Start Time] <= '2024-01-14') AND [User ID] = 'BOB'", kHistoryOptions,
       {"4", "5"}},
      // The history table compares without partial matching; the default does match prefixes.
      {"TimeHist", "", "[User ID] = 'al*'", kHistoryOptions, {}},
      {"TimeHist", "", "[User ID] = 'al*'", plain, {"1", "2", "3", "6"}},
      // Pick lists: active rows, in key or description order; job codes of one charge account.
      {"Accounts", "", "Active=TRUE", plain, {"ACC1", "O'X"}},
      {"Accounts", "Description", "Active=TRUE", plain, {"O'X", "ACC1"}},
      {"JobCodes", "Description", "Active=TRUE", plain, {"DEV", "TEST"}},
      {"JobCodes", "", "Active=TRUE AND ChargeAccount='ACC1'", plain, {"DEV"}},
      {"JobCodes", "", "Active=TRUE AND ChargeAccount='O''X'", plain, {}},
      {"Clients", "Name", "Active=TRUE", plain, {"CL1", "CL2"}},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(fmt::format("{} [{}]: {}", c.table, c.index, c.filter));
    Table t(*db_, c.table);
    t.SetIndexName(c.index);
    t.SetFilterOptions(c.options);
    t.SetFilter(c.filter);
    t.SetFiltered(true);
    t.Open();
    EXPECT_EQ(FirstColumn(t), c.expected);
  }
}

// Sending: each record marked sent leaves the filtered view, so the current record is the next
// one to send and a loop without an explicit step ends once all are sent.
TEST_F(ConformanceTest, RecordPostedOutOfTheFilterLeavesTheView) {
  Table hist(*db_, "TimeHist");
  hist.SetFilterOptions(kHistoryOptions);
  hist.SetFilter("((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)");
  hist.SetFiltered(true);
  hist.Open();
  std::vector<std::string> sent;
  for (hist.First(); !hist.Eof() && sent.size() < 10;) {
    sent.push_back(hist.FieldValue("ID").AsText());
    hist.Edit();
    hist.SetFieldValue("Synch", Value::Boolean(true));
    hist.Post();
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"2", "3", "5", "6", "7"}));
  EXPECT_TRUE(hist.IsEmpty());
  hist.Refresh();
  EXPECT_TRUE(hist.IsEmpty());
  EXPECT_EQ(Select("SELECT ID FROM TimeHist WHERE Synch = NULL OR Synch = FALSE"), (Rows{{"4"}}));

  // An edit that keeps the record inside the filter keeps it current.
  hist.SetFilter("[User ID] = 'alice'");
  hist.First();
  hist.Edit();
  hist.SetFieldValue("Comments", T("changed"));
  hist.Post();
  EXPECT_EQ(hist.FieldValue("ID").AsText(), "1");
  EXPECT_EQ(hist.RecordCount(), 4);
}

// Archiving by dates: in one transaction, copy each record of the filtered view and delete it,
// which brings the next one under the cursor.
TEST_F(ConformanceTest, ArchiveMoveEmptiesTheDateFilter) {
  Table hist(*db_, "TimeHist");
  Table archive(*db_, "Archive");
  archive.Open();
  db_->StartTransaction({"TimeHist", "Archive"});
  hist.SetFilterOptions(kHistoryOptions);
  hist.SetFilter("([Start Time] >= '2024-01-08') AND ([Start Time] <= '2024-01-09')");
  hist.SetFiltered(true);
  hist.Open();
  for (hist.First(); !hist.IsEmpty();) {
    archive.Append();
    for (const char* f : {"User ID", "Account", "Job_Code", "Start Time", "End Time", "Comments", "ClientID"})
      archive.SetFieldValue(f, hist.FieldValue(f));
    archive.Post();
    hist.Delete();
  }
  db_->Commit();
  hist.SetFiltered(false);
  EXPECT_EQ(FirstColumn(hist), (std::vector<std::string>{"3", "4", "5", "6", "7"}));
  EXPECT_EQ(Select("SELECT [Start Time], Comments, Synch FROM Archive ORDER BY 1"),
            (Rows{{"2024-01-08 00:00:00.000", "sheet mon", "NULL"}, {"2024-01-09 00:00:00.000", "sheet tue", "NULL"}}));
}

// The access paths SQLite chooses for a statement: "USING INDEX x", "USING INTEGER PRIMARY KEY"...
std::vector<std::string> AccessPaths(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << "\n  " << sql;
    return {};
  }
  std::vector<std::string> paths;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
    const std::size_t using_at = detail.find("USING ");
    if (using_at != std::string::npos) paths.push_back(detail.substr(using_at, detail.find(" (", using_at) - using_at));
  }
  sqlite3_finalize(stmt);
  return paths;
}

struct PlanCase {
  std::string statement;  // a statement, or a filter text over TimeHist after "FILTER "
  const char* hand_written;
};

// Translated statements keep the indexes usable: SQLite takes the same index for the translation
// as for the SQLite SQL one would write by hand.
TEST_F(ConformanceTest, TranslationsUseTheIndexesOfHandWrittenSql) {
  const PlanCase cases[] = {
      {DayTotal("2024-01-09", "2024-01-10"),
       "SELECT sum((julianday(\"End Time\") - julianday(\"Start Time\")) * 86400000) FROM TimeHist "
       "WHERE \"Start Time\" BETWEEN ?1 AND ?2 AND \"End Time\" IS NOT NULL"},
      {DayTotal("2024-01-09", "2024-01-10", "alice"),
       "SELECT sum((julianday(\"End Time\") - julianday(\"Start Time\")) * 86400000) FROM TimeHist "
       "WHERE \"Start Time\" BETWEEN ?1 AND ?2 AND \"End Time\" IS NOT NULL AND \"User ID\" = ?3"},
      {WeekSheet("alice", "2024-01-07", "2024-01-14"),
       "SELECT Account, Job_Code, ClientID, \"Start Time\", (julianday(\"End Time\") - julianday(\"Start Time\")) "
       "* 24, Comments FROM TimeHist WHERE \"User ID\" = ?1 AND substr(\"Start Time\", 12) = '00:00:00.000' AND "
       "\"Start Time\" BETWEEN ?2 AND ?3 ORDER BY Account, Job_Code, ClientID"},
      {std::string(kReport2) + "[Start Time] Between :Date1 And :Date2 AND [End Time] <> Null Order By WeekStart, 1",
       "SELECT Job_Code, \"Start Time\", \"End Time\", \"Start Time\" AS WeekStart FROM TimeHist WHERE "
       "\"Start Time\" BETWEEN ?1 AND ?2 AND \"End Time\" IS NOT NULL ORDER BY WeekStart, 1"},
      {"SELECT Invoice From TimeHist WHERE Invoice = \"2024000001\"", "SELECT Invoice FROM TimeHist WHERE Invoice = ?1"},
      {"DELETE FROM TimeHist WHERE Account = 'ACC2'", "DELETE FROM TimeHist WHERE Account = ?1"},
      {"FILTER ((Synch = FALSE) OR (Synch = NULL)) AND ([End Time] <> NULL)",
       "SELECT rowid FROM TimeHist WHERE (Synch = 0 OR Synch IS NULL) AND \"End Time\" IS NOT NULL ORDER BY rowid"},
      {"FILTER ([Start Time] >= '2024-01-08') AND ([Start Time] <= '2024-01-09')",
       "SELECT rowid FROM TimeHist WHERE \"Start Time\" >= ?1 AND \"Start Time\" <= ?2 ORDER BY rowid"},
  };
  AttachLease lease(*db_, "TimeHist");
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.statement);
    std::string translated;
    if (c.statement.starts_with("FILTER "))
      translated = "SELECT rowid FROM TimeHist WHERE " +
                   TranslateFilter(c.statement.substr(7), "TimeHist", *db_, kHistoryOptions).sql + " ORDER BY rowid";
    else
      translated = TranslateSql(c.statement, *db_).sql;
    const std::vector<std::string> expected = AccessPaths(db_->handle(), c.hand_written);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(AccessPaths(db_->handle(), translated), expected) << translated;
  }
}

// An SQL file's statement: a plain single-table selection is editable, anything else refuses.
TEST_F(ConformanceTest, OnlySingleTableResultsAreEditable) {
  const std::pair<const char*, bool> cases[] = {
      {"SELECT ID, Comments FROM TimeHist WHERE Comments LIKE 'sheet%' ORDER BY ID", true},
      {"SELECT [User ID] FROM TimeHist GROUP BY [User ID]", false},
      {"SELECT t.ID, a.Description FROM TimeHist t, Accounts a WHERE t.Account = a.[Charge Account]", false},
      {"Select Sum([End Time]-[Start Time]) As ElapsedTime From TimeHist", false},
  };
  for (const auto& [statement, live] : cases) {
    SCOPED_TRACE(statement);
    Query q(*db_);
    q.SetSql(statement);
    q.Open();
    ASSERT_GT(q.RecordCount(), 0);
    EXPECT_EQ(q.Live(), live);
    if (!live) {
      try {
        q.Edit();
        ADD_FAILURE() << "edited";
      } catch (const EngineError& e) {
        EXPECT_EQ(e.code(), kErrReadOnly);
      }
      continue;
    }
    q.Edit();
    q.SetFieldValue("Comments", T("Sheet mon"));
    q.Post();
    EXPECT_EQ(Select("SELECT Comments FROM TimeHist WHERE ID = 1"), (Rows{{"Sheet mon"}}));
  }
}

}  // namespace
}  // namespace tikora::engine::test
