#include <gtest/gtest.h>

#include "engine/errors.h"
#include "engine/query.h"
#include "engine_fixture.h"

namespace tikora::engine::test {
namespace {

class QueryTest : public DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    db_ = std::make_unique<Database>(dir_);
    Table t(*db_, "TimeHist");
    t.Open();
    AddTime(t, "amy", "P1", "2023-01-30 23:00", "2023-01-31 00:00");
    AddTime(t, "amy", "P1", "2023-01-31 00:00", "2023-01-31 02:30");
    AddTime(t, "bob", "P2", "2023-01-31 09:00", "2023-01-31 10:00");
    AddTime(t, "bob", "P2", "2023-02-01 09:00");
  }
  std::unique_ptr<Database> db_;
};

TEST_F(QueryTest, SelectWithParametersGivesTypedRandomAccessRows) {
  Query q(*db_);
  q.SetSql("SELECT [User ID], Sum([End Time] - [Start Time]) / 3600000 AS Hours FROM TimeHist "
           "WHERE [Start Time] >= :Date1 AND [Start Time] < :Date2 AND [End Time] <> NULL "
           "GROUP BY [User ID] ORDER BY 1");
  q.SetParam("date1", Value::Date(EncodeDate(2023, 1, 31)));
  q.SetParam("Date2", Value::Date(EncodeDate(2023, 2, 1)));
  q.Open();
  ASSERT_EQ(q.RecordCount(), 2);
  EXPECT_EQ(q.FieldName(1), "Hours");
  EXPECT_EQ(q.FieldValue("User ID").AsText(), "amy");
  EXPECT_DOUBLE_EQ(q.FieldValue("Hours").AsFloat(), 2.5);  // midnight is on the 31st
  q.Last();
  EXPECT_EQ(q.FieldValue(0).AsText(), "bob");
  EXPECT_DOUBLE_EQ(q.FieldValue(1).AsFloat(), 1.0);
  EXPECT_FALSE(q.Live());
  EXPECT_THROW(q.Edit(), EngineError);
}

TEST_F(QueryTest, SingleTableSelectIsLiveAndEditsThroughTheTableEvents) {
  Query q(*db_);
  q.SetSql("SELECT * FROM TimeHist WHERE [User ID] = 'bob' ORDER BY [Start Time] DESC");
  q.Open();
  ASSERT_TRUE(q.Live());
  ASSERT_EQ(q.RecordCount(), 2);
  EXPECT_TRUE(q.FieldValue("End Time").IsNull());  // the newest first
  EXPECT_EQ(q.FieldValue("Start Time").AsDateTime(), EncodeDateTime({2023, 2, 1}, {9, 0, 0, 0}));
  int before_post = 0;
  q.LiveTable()->BeforePost = [&](Table&) { ++before_post; };
  q.Edit();
  q.SetFieldValue("End Time", Value::Text("2023-02-01 12:00"));
  q.Post();
  EXPECT_EQ(before_post, 1);
  EXPECT_EQ(q.FieldValue("End Time").AsDateTime(), EncodeDateTime({2023, 2, 1}, {12, 0, 0, 0}));
  q.Next();
  q.Delete();
  EXPECT_EQ(q.RecordCount(), 1);

  Query check(*db_);
  check.SetSql("SELECT COUNT(*) FROM TimeHist WHERE [End Time] = NULL");
  check.Open();
  EXPECT_EQ(check.FieldValue(0).AsInteger(), 0);
}

// Statements store values by the rules the table objects apply (ToStorage): texts cut to the
// field size, currency rounded to four decimals, a word out of range refused with nothing
// written, whether the value is a literal, a parameter or a selected column.
TEST_F(QueryTest, WritesThroughSqlFollowTheFieldRules) {
  Query q(*db_);
  auto read = [&](const std::string& sql) {
    Query r(*db_);
    r.SetSql(sql);
    r.Open();
    std::vector<std::string> values;
    for (r.First(); !r.Eof(); r.Next()) {
      values.push_back(r.FieldValue(0).AsText());
      if (r.RecNo() == r.RecordCount()) break;
    }
    return values;
  };
  q.SetSql("INSERT INTO Accounts ([Charge Account], Description, Rate) "
           "VALUES ('ABCDEFGHIJKL', 'A description longer than twenty-five', 12.345678)");
  ASSERT_EQ(q.ExecSQL(), 1);
  q.SetSql("INSERT INTO Accounts ([Charge Account], Rate) VALUES (:Code, :Rate)");
  q.SetParam("Code", Value::Text("0123456789XYZ"));
  q.SetParam("Rate", Value::Float(0.00005));
  ASSERT_EQ(q.ExecSQL(), 1);
  q.SetSql("INSERT INTO Items (ItemID, Description) SELECT Description, [Charge Account] FROM Accounts "
           "WHERE Description <> NULL");
  ASSERT_EQ(q.ExecSQL(), 1);
  q.SetSql("UPDATE Accounts SET Rate = Rate * 3 WHERE [Charge Account] = 'ABCDEFGHIJ'");
  ASSERT_EQ(q.ExecSQL(), 1);

  EXPECT_EQ(read("SELECT [Charge Account] FROM Accounts ORDER BY [Charge Account]"),
            (std::vector<std::string>{"0123456789", "ABCDEFGHIJ"}));
  EXPECT_EQ(read("SELECT Description FROM Accounts WHERE Description <> NULL"),
            (std::vector<std::string>{"A description longer than"}));
  EXPECT_EQ(read("SELECT Rate * 10000 FROM Accounts ORDER BY [Charge Account]"),
            (std::vector<std::string>{"1", "370371"}));
  EXPECT_EQ(read("SELECT ItemID FROM Items"), (std::vector<std::string>{"A descript"}));

  struct Refused {
    const char* sql;
    const char* unchanged;  // a query whose result must stay as it was
  };
  const Refused refused[] = {
      {"UPDATE TimeHist SET NumItems = 70000 WHERE [User ID] = 'amy'",
       "SELECT Count(*) FROM TimeHist WHERE NumItems <> NULL"},
      {"UPDATE TimeHist SET NumItems = -1", "SELECT Count(*) FROM TimeHist WHERE NumItems <> NULL"},
      {"INSERT INTO TimeHist ([User ID], NumItems) VALUES ('cat', 5), ('dan', 65536)",
       "SELECT Count(*) FROM TimeHist"},
      {"UPDATE TimeHist SET NumItems = ID * 30000", "SELECT Count(*) FROM TimeHist WHERE NumItems <> NULL"},
  };
  for (const Refused& c : refused) {
    SCOPED_TRACE(c.sql);
    const std::vector<std::string> before = read(c.unchanged);
    q.SetSql(c.sql);
    try {
      q.ExecSQL();
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.code(), kErrValueOutOfRange) << e.what();
    }
    EXPECT_EQ(read(c.unchanged), before);
  }
}

// A live result carries the rowid of each row for editing; column numbers in ORDER BY must still
// name the result columns.
TEST_F(QueryTest, ColumnNumbersInOrderByNameTheResultColumnsOfALiveResult) {
  const std::pair<const char*, std::vector<std::int64_t>> cases[] = {
      {"SELECT [User ID], ID FROM TimeHist ORDER BY 1 DESC, 2", {3, 4, 1, 2}},
      {"SELECT ID, [Start Time] FROM TimeHist ORDER BY 2 DESC", {4, 3, 2, 1}},
      {"SELECT * FROM TimeHist ORDER BY 3, 1 DESC", {2, 1, 4, 3}},
  };
  for (const auto& [sql, ids] : cases) {
    SCOPED_TRACE(sql);
    Query q(*db_);
    q.SetSql(sql);
    q.Open();
    EXPECT_TRUE(q.Live());
    std::vector<std::int64_t> got;
    for (q.First(); !q.Eof(); q.Next()) {
      got.push_back(q.FieldValue("ID").AsInteger());
      if (q.RecNo() == q.RecordCount()) break;
    }
    EXPECT_EQ(got, ids);
  }
  Query q(*db_);  // and the rowid still finds the row to edit
  q.SetSql("SELECT [User ID], Comments, ID FROM TimeHist ORDER BY 1 DESC, 3");
  q.Open();
  q.Edit();
  q.SetFieldValue("Comments", Value::Text("edited"));
  q.Post();
  Query check(*db_);
  check.SetSql("SELECT ID FROM TimeHist WHERE Comments = 'edited'");
  check.Open();
  ASSERT_EQ(check.RecordCount(), 1);
  EXPECT_EQ(check.FieldValue(0).AsInteger(), 3);
}

TEST_F(QueryTest, ExecSqlReportsRowsChangedAndRollsBackOnError) {
  Query q(*db_);
  q.SetSql("UPDATE TimeHist SET Invoice = \"INV-1\" WHERE [User ID] = 'amy'");
  EXPECT_EQ(q.ExecSQL(), 2);
  q.SetSql("DELETE FROM TimeHist WHERE Invoice = 'INV-1'");
  EXPECT_EQ(q.ExecSQL(), 2);
  q.SetSql("SELEC * FROM TimeHist");
  try {
    q.ExecSQL();
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrSqlSyntax);
    EXPECT_NE(std::string(e.what()).find("position 1"), std::string::npos) << e.what();
  }
}

TEST_F(QueryTest, TableFiltersCombineWithIndexOrderAndRefreshWhenChanged) {
  Table t(*db_, "TimeHist");
  t.SetIndexName("Start Time");
  t.SetFilter("[Start Time] <= '2023-01-31'");
  t.SetFiltered(true);
  t.Open();
  EXPECT_EQ(t.RecordCount(), 2);  // includes 2023-01-31 00:00:00
  t.SetFilter("[User ID] = 'BOB'");
  EXPECT_EQ(t.RecordCount(), 0);
  t.SetFilterOptions({.case_insensitive = true});
  EXPECT_EQ(t.RecordCount(), 2);
  t.Last();
  EXPECT_EQ(t.FieldValue("Start Time").AsDateTime(), EncodeDateTime({2023, 2, 1}, {9, 0, 0, 0}));
  EXPECT_THROW(t.SetFilter("[No Such Field] = 1"), EngineError);
  EXPECT_EQ(t.Filter(), "[User ID] = 'BOB'");
  t.SetFiltered(false);
  EXPECT_EQ(t.RecordCount(), 4);
}

}  // namespace
}  // namespace tikora::engine::test
