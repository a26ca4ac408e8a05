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
