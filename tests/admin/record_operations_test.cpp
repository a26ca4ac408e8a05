// Copy, cut and paste, deletes, reindex, ordering, find and replace, SQL files.
#include "admin/record_operations.h"

#include <fstream>

#include "admin_fixture.h"
#include "engine/errors.h"

namespace tikora::admin::test {
namespace {

class RecordOpsTest : public AdminTest {
 protected:
  void SetUp() override {
    AdminTest::SetUp();
    StartDataModule();
  }
  engine::Table& Groups() { return dm_->tblWGrp(); }
  void Group(const std::string& group, const std::string& user) {
    Groups().Append();
    Groups().SetFieldValue("WorkGroup", Value::Text(group));
    Groups().SetFieldValue("User ID", Value::Text(user));
    Groups().Post();
  }
  std::vector<std::string> Column(engine::Table& t, const std::string& field) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldValue(field).AsText());
    return out;
  }
  CursorMark MarkOf(engine::Table& t, const std::string& field, const std::string& value) {
    EXPECT_TRUE(t.Locate(field, {Value::Text(value)}));
    return t.GetBookmark();
  }
};

TEST_F(RecordOpsTest, CopyCutAndPasteUseQuotedCommaLines) {
  Group("G1", "ann");
  Group("G2", "bob");
  Group("G3", "cy");
  TableCursor cursor(Groups());
  EXPECT_EQ(CopyRecords(cursor, {}, false), "");
  const std::vector<CursorMark> sel = {MarkOf(Groups(), "WorkGroup", "G3"),
                                       MarkOf(Groups(), "WorkGroup", "G1")};
  EXPECT_EQ(CopyRecords(cursor, sel, false), "\"G3\",\"cy\"\r\n\"G1\",\"ann\"\r\n");
  const std::string cut = CopyRecords(cursor, sel, true);
  EXPECT_EQ(Column(Groups(), "WorkGroup"), (std::vector<std::string>{"G2"}));
  EXPECT_EQ(PasteRecords(cursor, cut), 2);
  EXPECT_EQ(Column(Groups(), "WorkGroup"), (std::vector<std::string>{"G1", "G2", "G3"}));

  // A line with fewer values leaves the other fields empty.
  TableCursor jobs(dm_->tblJobs());
  EXPECT_EQ(PasteRecords(jobs, "\"A1\",\"First\""), 1);
  dm_->tblJobs().First();
  EXPECT_EQ(dm_->tblJobs().FieldValue("Description").AsText(), "First");
  EXPECT_TRUE(dm_->tblJobs().FieldValue("Rate").IsNull());
}

TEST_F(RecordOpsTest, DeleteSelectedAndDeleteAllAskFirst) {
  for (const char* g : {"G1", "G2", "G3", "G4"}) Group(g, "u");
  TableCursor cursor(Groups());
  const std::vector<CursorMark> sel = {MarkOf(Groups(), "WorkGroup", "G2"),
                                       MarkOf(Groups(), "WorkGroup", "G4")};
  prompter_.QueueAnswer(Answer::Cancel);
  EXPECT_EQ(DeleteSelectedRecords(cursor, sel, prompter_), 0);
  prompter_.QueueAnswer(Answer::Ok);
  EXPECT_EQ(DeleteSelectedRecords(cursor, {}, prompter_), 0);
  EXPECT_EQ(Groups().RecNo(), 1);
  prompter_.QueueAnswer(Answer::Ok);
  EXPECT_EQ(DeleteSelectedRecords(cursor, sel, prompter_), 2);
  EXPECT_EQ(Column(Groups(), "WorkGroup"), (std::vector<std::string>{"G1", "G3"}));
  EXPECT_EQ(prompter_.Questions()[0].text, "Delete selected records?");

  prompter_.QueueAnswer(Answer::Ok);
  EXPECT_EQ(DeleteAllRecords(cursor, "Work Groups", prompter_), 2);
  EXPECT_EQ(prompter_.Questions().back().text, "Delete all records in the Work Groups table?");
  EXPECT_TRUE(Groups().IsEmpty());
}

TEST_F(RecordOpsTest, ReindexReportsSoundTablesAndTablesInUseAndReopens) {
  EXPECT_EQ(ReindexTable(Groups(), prompter_), kReindexNotNeeded);
  EXPECT_TRUE(Groups().Active());

  // Another program holding the table open.
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const std::string dir = data_;
  pid_t child = Spawn([&] {
    engine::Database db(dir);
    engine::Table t(db, "WorkGrp");
    t.Open();
    char c = 1;
    if (write(ready[1], &c, 1) != 1) return 1;
    return read(done[0], &c, 1) == 1 ? 0 : 1;
  });
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(ReindexTable(Groups(), prompter_), kReindexInUse);
  EXPECT_TRUE(Groups().Active());
  EXPECT_FALSE(Groups().Exclusive());
  ASSERT_EQ(write(done[1], &c, 1), 1);
  EXPECT_EQ(WaitFor(child), 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST_F(RecordOpsTest, OrderingByAColumnAppliesToTheTable) {
  Group("G1", "zed");
  Group("G2", "amy");
  OrderByColumn(Groups(), "User ID");
  EXPECT_EQ(Column(Groups(), "User ID"), (std::vector<std::string>{"amy", "zed"}));
  OrderByColumn(Groups(), "");
  EXPECT_EQ(Column(Groups(), "User ID"), (std::vector<std::string>{"zed", "amy"}));
  for (int entry : {0, 3, 7, 10, 11}) EXPECT_TRUE(OrderingAppliesTo(entry)) << entry;
  for (int entry : {8, 9, 12, 13}) EXPECT_FALSE(OrderingAppliesTo(entry)) << entry;
}

TEST_F(RecordOpsTest, FindHonoursCaseAndMovesOnAfterAMatch) {
  for (const auto& [g, u] : std::vector<std::pair<const char*, const char*>>{
           {"G1", "x"}, {"G2", "WORD one"}, {"G3", "y"}, {"G4", "the word"}})
    Group(g, u);
  TableCursor cursor(Groups());
  const int column = Groups().FieldIndex("User ID");
  FindState state;
  state.Begin(cursor);
  EXPECT_TRUE(FindNext(cursor, column, {"word", false, true}, state, prompter_));
  EXPECT_EQ(Groups().FieldValue("WorkGroup").AsText(), "G2");
  EXPECT_TRUE(FindNext(cursor, column, {"word", false, true}, state, prompter_));
  EXPECT_EQ(Groups().FieldValue("WorkGroup").AsText(), "G4");
  // Nothing further down: the message, and back where this search began.
  EXPECT_FALSE(FindNext(cursor, column, {"word", false, true}, state, prompter_));
  EXPECT_EQ(Groups().FieldValue("WorkGroup").AsText(), "G4");
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(prompter_.Messages()[0].text, "No matches found");

  state.Begin(cursor);
  EXPECT_TRUE(FindNext(cursor, column, {"word", true, true}, state, prompter_));
  EXPECT_EQ(Groups().FieldValue("WorkGroup").AsText(), "G4");
  EXPECT_TRUE(FindNext(cursor, column, {"WORD", false, false}, state, prompter_));  // upwards
  EXPECT_EQ(Groups().FieldValue("WorkGroup").AsText(), "G2");
}

TEST_F(RecordOpsTest, ReplaceChangesTheFirstOccurrenceIgnoringCase) {
  Group("G1", "AbcAB");
  Group("G2", "none");
  Group("G3", "xab");
  TableCursor cursor(Groups());
  const int column = Groups().FieldIndex("User ID");
  FindState state;
  state.Begin(cursor);
  EXPECT_EQ(ReplaceAll(cursor, column, "ab", "x", state, prompter_), 2);
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(Column(Groups(), "User ID"), (std::vector<std::string>{"xcAB", "none", "xx"}));
  EXPECT_TRUE(prompter_.Messages().empty());

  // Replace on a record without the text right after a find: nothing changes, nothing is said.
  state.Begin(cursor);
  EXPECT_TRUE(FindNext(cursor, column, {"xcab", false, true}, state, prompter_));
  cursor.Next();
  EXPECT_FALSE(ReplaceCurrent(cursor, column, "xcab", "q", state, prompter_));
  EXPECT_TRUE(prompter_.Messages().empty());
  // With the flag clear, no match says so.
  state.Begin(cursor);
  EXPECT_FALSE(ReplaceCurrent(cursor, column, "zzz", "q", state, prompter_));
  EXPECT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_TRUE(ReplaceCurrent(cursor, column, "XC", "", state, prompter_));
  EXPECT_EQ(Groups().FieldValue("User ID").AsText(), "AB");
}

TEST_F(RecordOpsTest, SqlFilesRunAsTheQueryAndABadOneKeepsThePreviousStatement) {
  Group("G1", "ann");
  const std::string good = root_ + "/good.sql", bad = root_ + "/bad.sql";
  std::ofstream(good) << "SELECT * FROM WorkGrp";
  std::ofstream(bad) << "SELECT FROM WHERE";
  engine::Query& q = dm_->Qry1();
  EXPECT_FALSE(OpenSqlFile(q, root_ + "/missing.sql"));
  EXPECT_FALSE(OpenSqlFile(q, ""));
  ASSERT_TRUE(OpenSqlFile(q, good));
  EXPECT_EQ(q.RecordCount(), 1);
  EXPECT_TRUE(q.Live());
  EXPECT_THROW(OpenSqlFile(q, bad), engine::EngineError);
  EXPECT_EQ(q.Sql(), "SELECT * FROM WorkGrp");
  EXPECT_TRUE(q.Active());
}

TEST_F(RecordOpsTest, AnEditorThatCannotStartIsReported) {
  setenv("VISUAL", "/nonexistent/editor", 1);
  EXPECT_FALSE(NewSqlFile(prompter_));
  unsetenv("VISUAL");
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(prompter_.Messages()[0].text, "Could not launch /nonexistent/editor");
  EXPECT_EQ(prompter_.Messages()[0].caption, "Launch Error");
  EXPECT_FALSE(EditSqlFile(root_ + "/missing.sql", prompter_));
  EXPECT_EQ(prompter_.Messages().size(), 1u);
}

}  // namespace
}  // namespace tikora::admin::test
