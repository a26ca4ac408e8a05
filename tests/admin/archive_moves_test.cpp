// Moving time records between the time history and the archive.
#include "admin/archive_moves.h"

#include "admin_fixture.h"
#include "core/text_helpers.h"

namespace tikora::admin::test {
namespace {

class ArchiveTest : public AdminTest {
 protected:
  engine::Table& Hist() { return dm_->tblHist(); }
  engine::Table& Arch() { return dm_->tblArchive(); }
  std::int64_t Add(const std::string& start) {
    return AddTime(Hist(), "ann", "ACC", start, start.substr(0, 10) + " 23:00:00");
  }
  static std::vector<std::string> Starts(engine::Table& t) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next())
      out.push_back(IsoDate(t.FieldValue("Start Time").AsDateTime()) + " " +
                    FormatHourMinute(t.FieldValue("Start Time").AsDateTime()));
    return out;
  }
};

TEST(ArchiveDatesTest, ProposalCountsTheLeapDay) {
  const ArchiveDates d = ProposedArchiveDates(EncodeDateTime({2024, 6, 30}, {15, 0, 0}));
  EXPECT_EQ(IsoDate(d.from), "2022-07-01");
  EXPECT_EQ(IsoDate(d.to), "2023-07-01");
}

TEST(ArchiveDatesTest, FilterKeepsAPreviousFilter) {
  const DateTime from = EncodeDate(2023, 1, 1), to = EncodeDate(2023, 1, 31);
  EXPECT_EQ(ArchiveFilter(from, to, ""),
            "([Start Time] >= '2023-01-01') AND ([Start Time] <= '2023-01-31')");
  EXPECT_EQ(
      ArchiveFilter(from, to, "[Account] = 'X'"),
      "([Start Time] >= '2023-01-01') AND ([Start Time] <= '2023-01-31') AND [Account] = 'X'");
}

TEST_F(ArchiveTest, DateRangeTakesBothMidnightsAndNothingLaterOnTheToDay) {
  StartDataModule();
  Add("2022-12-31 23:59:59");
  Add("2023-01-01 00:00:00");
  Add("2023-01-15 12:00:00");
  Add("2023-01-31 00:00:00");
  Add("2023-01-31 08:00:00");
  MoveOutcome r =
      MoveByDateRange(Hist(), Arch(), EncodeDate(2023, 1, 1), EncodeDate(2023, 1, 31), prompter_);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.moved, 3);
  EXPECT_EQ(Starts(Hist()), (std::vector<std::string>{"2022-12-31 23:59", "2023-01-31 08:00"}));
  EXPECT_EQ(Starts(Arch()),
            (std::vector<std::string>{"2023-01-01 00:00", "2023-01-15 12:00", "2023-01-31 00:00"}));
  EXPECT_FALSE(Hist().Filtered());  // the date filter is gone
  EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(ArchiveTest, FromAfterToMovesNothingAndSaysNothing) {
  StartDataModule();
  Add("2023-01-15 12:00:00");
  MoveOutcome r =
      MoveByDateRange(Hist(), Arch(), EncodeDate(2023, 2, 1), EncodeDate(2023, 1, 1), prompter_);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.moved, 0);
  EXPECT_EQ(Hist().RecordCount(), 1);
  EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(ArchiveTest, RoundTripKeepsEveryFieldButTheNumber) {
  StartDataModule();
  const std::int64_t id =
      AddTime(Hist(), "ann", "ACC", "2023-01-10 09:00:00", "2023-01-10 17:30:00", "JOB", "CLI");
  Hist().Locate("ID", {Value::Integer(id)});
  Hist().Edit();
  Hist().SetFieldValue("Comments", Value::Text("notes"));
  Hist().SetFieldValue("Invoice", Value::Text("2023000007"));
  Hist().SetFieldValue("Printed", Value::Boolean(true));
  Hist().SetFieldValue("Billable", Value::Boolean(true));
  Hist().SetFieldValue("Item", Value::Text("ITEM"));
  Hist().SetFieldValue("NumItems", Value::Integer(3));
  Hist().SetFieldValue("Synch", Value::Boolean(true));
  Hist().Post();
  std::vector<Value> before;
  for (int i = 1; i < Hist().FieldCount(); ++i) before.push_back(Hist().FieldValue(i));

  ASSERT_TRUE(
      MoveByDateRange(Hist(), Arch(), EncodeDate(2023, 1, 1), EncodeDate(2023, 1, 31), prompter_)
          .ok);
  ASSERT_EQ(Hist().RecordCount(), 0);
  ASSERT_TRUE(
      MoveByDateRange(Arch(), Hist(), EncodeDate(2023, 1, 1), EncodeDate(2023, 1, 31), prompter_)
          .ok);
  ASSERT_EQ(Hist().RecordCount(), 1);
  Hist().First();
  EXPECT_NE(Hist().FieldValue("ID").AsInteger(), id);
  for (int i = 1; i < Hist().FieldCount(); ++i)
    EXPECT_EQ(Hist().FieldValue(i), before[static_cast<std::size_t>(i - 1)])
        << Hist().Definition().fields[static_cast<std::size_t>(i)].name;
}

TEST_F(ArchiveTest, SelectedRowsMoveInOneTransactionOrNotAtAll) {
  StartDataModule();
  const std::int64_t a = Add("2023-01-10 09:00:00");
  Add("2023-01-11 09:00:00");
  const std::int64_t c = Add("2023-01-12 09:00:00");
  std::vector<engine::Bookmark> rows;
  for (std::int64_t id : {c, a}) {
    ASSERT_TRUE(Hist().Locate("ID", {Value::Integer(id)}));
    rows.push_back(Hist().GetBookmark());
  }
  EXPECT_EQ(MoveSelected(Hist(), Arch(), {}, prompter_).moved, 0);

  // A row that vanished meanwhile makes the move fail: the row moved before it comes back.
  std::vector<engine::Bookmark> with_gone = {rows[0], 999999};
  MoveOutcome failed = MoveSelected(Hist(), Arch(), with_gone, prompter_);
  EXPECT_FALSE(failed.ok);
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(Hist().RecordCount(), 3);
  EXPECT_EQ(Arch().RecordCount(), 0);

  MoveOutcome r = MoveSelected(Hist(), Arch(), rows, prompter_);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.moved, 2);
  EXPECT_EQ(Starts(Hist()), (std::vector<std::string>{"2023-01-11 09:00"}));
  EXPECT_EQ(Arch().RecordCount(), 2);
}

TEST_F(ArchiveTest, TheSelectedRowsQuestionNamesTheDirection) {
  prompter_.QueueAnswer(Answer::Cancel);
  prompter_.QueueAnswer(Answer::Ok);
  EXPECT_FALSE(ConfirmMoveSelected(false, prompter_));
  EXPECT_TRUE(ConfirmMoveSelected(true, prompter_));
  EXPECT_EQ(prompter_.Questions()[0].text, "Archive selected records?");
  EXPECT_EQ(prompter_.Questions()[1].text, "Unarchive selected records?");
}

}  // namespace
}  // namespace tikora::admin::test
