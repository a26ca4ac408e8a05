// The upgrade of a data folder of the oldest layout to the current one.
#include <filesystem>
#include <fstream>

#include "admin/upgrade.h"
#include "admin_fixture.h"
#include "engine/errors.h"

namespace tikora::admin::test {
namespace {

class UpgradeTest : public AdminTest {
 protected:
  engine::Layout Layout() const override { return engine::Layout::Base; }

  // A few rows in the tables whose rows the steps must carry over.
  void FillOldTables() {
    engine::Database db(data_);
    engine::Table hist(db, "TimeHist");
    hist.Open();
    for (int i = 0; i < 3; ++i)
      AddTime(hist, "amy", "P" + std::to_string(i), "2003-05-0" + std::to_string(i + 1) + " 08:00",
              "2003-05-0" + std::to_string(i + 1) + " 16:30");
    hist.Close();
    AddRow(data_, "Archive", {{"User ID", Value::Text("bob")}, {"Account", Value::Text("OLD")},
                              {"ClientID", Value::Text("C1")}, {"Synch", Value::Boolean(true)}});
    AddRow(data_, "JobCodes", {{"Job Code", Value::Text("DEV")}, {"Description", Value::Text("Development")}});
    AddRow(data_, "Accounts", {{"Charge Account", Value::Text("P0")}, {"Description", Value::Text("Alpha")}});
    AddRow(data_, "Expenses", {{"UserID", Value::Text("amy")}, {"Description", Value::Text("Train")}});
    AddRow(data_, "WorkGrp", {{"WorkGroup", Value::Text("Office")}, {"User ID", Value::Text("amy")}});
  }
};

TEST_F(UpgradeTest, OldestLayoutReachesCurrentLayoutInOneRunKeepingEveryRow) {
  FillOldTables();
  engine::Database db(data_);
  UpgradeReport report = UpdateDatabase(db, prompter_);
  EXPECT_FALSE(report.update_failed);
  EXPECT_TRUE(report.errors.empty());
  EXPECT_TRUE(prompter_.Messages().empty());
  EXPECT_EQ(report.upgraded.size(), 10u);

  for (const auto& name : engine::DataTableNames()) {
    SCOPED_TRACE(name);
    const engine::TableDef& got = db.Definition(db.ResolveTable(name));
    engine::TableDef want = *engine::CurrentTableDef(name);
    EXPECT_EQ(got.version, want.version);
    EXPECT_EQ(got.title, want.title);
    EXPECT_EQ(got.fields, want.fields);
    EXPECT_EQ(got.indexes, want.indexes);
  }
  EXPECT_EQ(db.Definition("TimeHist").fields.size(), 14u);
  EXPECT_EQ(db.Definition("Archive").fields.size(), 14u);
  std::vector<std::string> job_fields;
  for (const auto& f : db.Definition("JobCodes").fields) job_fields.push_back(f.name);
  EXPECT_EQ(job_fields, (std::vector<std::string>{"Job Code", "Description", "Rate", "ChargeAccount", "Active"}));

  // Rows and their values survive; added fields take their defaults.
  engine::Table hist(db, "TimeHist");
  hist.Open();
  ASSERT_EQ(hist.RecordCount(), 3);
  hist.First();
  EXPECT_EQ(hist.FieldValue("Account").AsText(), "P0");
  EXPECT_EQ(FormatIsoTimestamp(hist.FieldValue("End Time").AsDateTime()), "2003-05-01 16:30:00.000");
  EXPECT_TRUE(hist.FieldValue("Invoice").IsNull());
  hist.Close();
  engine::Table archive(db, "Archive");
  archive.Open();
  archive.First();
  EXPECT_EQ(archive.FieldValue("ClientID").AsText(), "C1");
  EXPECT_TRUE(archive.FieldValue("Synch").AsBoolean());
  archive.Close();
  engine::Table jobs(db, "JobCodes");
  jobs.Open();
  jobs.First();
  EXPECT_EQ(jobs.FieldValue("Description").AsText(), "Development");
  EXPECT_TRUE(jobs.FieldValue("Active").AsBoolean());
  jobs.Close();
  EXPECT_EQ(CountRows(data_, "WorkGrp"), 1);
  EXPECT_EQ(CountRows(data_, "Expenses", "Amount = 0"), 1);

  // A second run changes nothing.
  db.DetachIdle();
  std::vector<fs::file_time_type> stamps;
  for (const auto& name : engine::DataTableNames()) stamps.push_back(fs::last_write_time(db.TableFilePath(name)));
  UpgradeReport again = UpdateDatabase(db, prompter_);
  EXPECT_TRUE(again.upgraded.empty());
  EXPECT_FALSE(again.update_failed);
  for (std::size_t i = 0; i < stamps.size(); ++i)
    EXPECT_EQ(fs::last_write_time(db.TableFilePath(engine::DataTableNames()[i])), stamps[i]);
}

TEST_F(UpgradeTest, ATableOpenElsewhereKeepsItsVersionAndTheMessageIsShownOnce) {
  FillOldTables();
  // Another program holds TimeHist open until told to let go.
  int opened[2], release[2];
  ASSERT_EQ(pipe(opened), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t holder = Spawn([&] {
    engine::Database other(data_);
    engine::Table held(other, "TimeHist");
    held.Open();
    char c = 'o';
    if (write(opened[1], &c, 1) != 1 || read(release[0], &c, 1) != 1) return 1;
    return 0;
  });
  char c = 0;
  ASSERT_EQ(read(opened[0], &c, 1), 1);

  engine::Database db(data_);
  UpgradeReport report = UpdateDatabase(db, prompter_);
  EXPECT_TRUE(report.update_failed);
  EXPECT_EQ(report.upgraded.size(), 9u);
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(prompter_.Messages()[0].text, kUpdateFailedMessage);
  EXPECT_EQ(db.Definition("TimeHist").version, (engine::UserVersion{1, 0}));
  EXPECT_EQ(db.Definition("Archive").version, (engine::UserVersion{1, 8}));

  // The next start, with nobody holding the table, finishes the job.
  ASSERT_EQ(write(release[1], &c, 1), 1);
  ASSERT_EQ(WaitFor(holder), 0);
  for (int fd : {opened[0], opened[1], release[0], release[1]}) close(fd);
  db.DetachIdle();
  UpgradeReport next = UpdateDatabase(db, prompter_);
  EXPECT_FALSE(next.update_failed);
  EXPECT_EQ(next.upgraded, std::vector<std::string>{"TimeHist"});
  EXPECT_EQ(db.Definition("TimeHist").version, (engine::UserVersion{1, 7}));
  EXPECT_EQ(CountRows(data_, "TimeHist"), 3);
}

TEST_F(UpgradeTest, AStepThatCannotApplyKeepsTheVersionReachedAndShowsWhy) {
  // A TimeHist of version 1.2 without the index that step 1.3 drops.
  engine::Database db(data_);
  engine::TableDef def = db.Definition("TimeHist");
  def.indexes.resize(1);
  def.version = {1, 2};
  def.fields.push_back({8, "ClientID", engine::FieldType::String, 10, false, ""});
  def.fields.push_back({9, "Synch", engine::FieldType::Boolean, 0, false, ""});
  engine::Restructure(db, "TimeHist", def);

  UpgradeReport report = UpdateDatabase(db, prompter_);
  EXPECT_FALSE(report.update_failed);
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_NE(report.errors[0].find("no index at position 1"), std::string::npos);
  EXPECT_EQ(db.Definition("TimeHist").version, (engine::UserVersion{1, 2}));
  EXPECT_EQ(db.Definition("Accounts").version, (engine::UserVersion{1, 3}));  // others go on
}

TEST_F(UpgradeTest, CommentsFileIsMovedToItsNewName) {
  for (bool present : {false, true}) {
    SCOPED_TRACE(present);
    fs::remove(data_ + "Comments.Dat");
    if (present) std::ofstream(data_ + "Comments.txt") << "note";
    engine::Database db(data_);
    UpdateDatabase(db, prompter_);
    EXPECT_FALSE(fs::exists(data_ + "Comments.txt"));
    EXPECT_EQ(fs::exists(data_ + "Comments.Dat"), present);
  }
}

}  // namespace
}  // namespace tikora::admin::test
