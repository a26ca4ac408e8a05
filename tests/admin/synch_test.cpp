// Synchronisation between the data folder and a network copy.
#include "admin_fixture.h"
#include "engine/errors.h"

namespace tikora::admin::test {
namespace {

class SynchTest : public AdminTest {
 protected:
  void SetUp() override {
    AdminTest::SetUp();
    net_ = root_ + "/net/";
    fs::create_directories(net_);
    engine::CreateDataTables(net_, engine::Layout::Current);
    config_->NetSynchDataPath = net_;
    AddRow(net_, "Accounts", {{"Charge Account", Value::Text("NETA")}});
    AddRow(data_, "Accounts", {{"Charge Account", Value::Text("LOCAL")}});
  }

  // Finished unsent records of amy (with and without a client), a running one, one already
  // sent, and a finished one of bob.
  void AddLocalRecords(bool second_without_client = false) {
    engine::Database db(data_);
    engine::Table hist(db, "TimeHist");
    hist.Open();
    AddTime(hist, "amy", "P1", "2024-03-04 08:00", "2024-03-04 12:00", "DEV", "C1");
    AddTime(hist, "amy", "P1", "2024-03-05 08:00", "2024-03-05 12:00", "DEV", second_without_client ? "" : "C1");
    AddTime(hist, "amy", "P2", "2024-03-06 08:00", "2024-03-06 12:00", "", "C2");
    AddTime(hist, "amy", "P2", "2024-03-07 08:00");  // still running
    AddTime(hist, "bob", "P2", "2024-03-06 08:00", "2024-03-06 09:00");
    hist.Last();
    hist.Edit();
    hist.SetFieldValue("Comments", Value::Text("already sent"));
    hist.Post();
    AddTime(hist, "amy", "P9", "2024-03-01 08:00", "2024-03-01 09:00");
    hist.Edit();
    hist.SetFieldValue("Synch", Value::Boolean(true));
    hist.Post();
  }

  std::string net_;
};

TEST_F(SynchTest, SendsFinishedRecordsOnceAndTakesTheNetworkMasters) {
  AddLocalRecords();
  TDM& dm = StartDataModule();
  dm.tblHist().SetFilter("[User ID] = 'amy'");
  dm.tblHist().SetFiltered(true);

  TDM::SyncOutcome s = dm.SynchData();
  EXPECT_TRUE(s.sent_ok);
  EXPECT_TRUE(s.masters_ok);
  EXPECT_EQ(s.records_sent, 3);
  EXPECT_TRUE(prompter_.Messages().empty());
  EXPECT_EQ(CountRows(net_, "TimeHist"), 3);
  EXPECT_EQ(CountRows(net_, "TimeHist", "Synch = NULL AND Invoice = NULL AND [End Time] <> NULL"), 3);
  EXPECT_EQ(CountRows(net_, "TimeHist", "[User ID] = 'amy' AND Job_Code = 'DEV' AND ClientID = 'C1'"), 2);
  EXPECT_EQ(CountRows(data_, "TimeHist", "Synch = TRUE"), 4);
  EXPECT_EQ(CountRows(data_, "TimeHist", "[User ID] = 'bob' AND Synch = NULL"), 1);
  EXPECT_EQ(CountRows(data_, "TimeHist", "[End Time] = NULL AND Synch = NULL"), 1);

  // The data module is open again with the filter it had.
  EXPECT_TRUE(dm.tblHist().Active());
  EXPECT_EQ(dm.tblHist().Filter(), "[User ID] = 'amy'");
  EXPECT_TRUE(dm.tblHist().Filtered());
  EXPECT_TRUE(dm.tblAccts().Active());
  EXPECT_EQ(s.masters_replaced,
            (std::vector<std::string>{"Accounts.DAT", "JobCodes.DAT", "Clients.DAT", "WorkGrp.Dat"}));
  EXPECT_TRUE(dm.tblAccts().Locate("Charge Account", {Value::Text("NETA")}));
  EXPECT_FALSE(dm.tblAccts().Locate("Charge Account", {Value::Text("LOCAL")}));

  TDM::SyncOutcome again = dm.SynchData();
  EXPECT_EQ(again.records_sent, 0);
  EXPECT_EQ(CountRows(net_, "TimeHist"), 3);
}

TEST_F(SynchTest, AFailureWhileSendingSendsNothingButStillTakesTheMasters) {
  // The network table refuses a record without a client: the second record fails.
  {
    engine::Database db(net_);
    engine::TableDef def = db.Definition("TimeHist");
    for (auto& f : def.fields)
      if (f.name == "ClientID") f.required = true;
    engine::Restructure(db, "TimeHist", def);
  }
  AddLocalRecords(/*second_without_client=*/true);
  TDM& dm = StartDataModule();
  TDM::SyncOutcome s = dm.SynchData();
  EXPECT_FALSE(s.sent_ok);
  EXPECT_EQ(s.records_sent, 0);
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_NE(prompter_.Messages()[0].text.find("ClientID"), std::string::npos);
  EXPECT_EQ(CountRows(net_, "TimeHist"), 0);
  EXPECT_EQ(CountRows(data_, "TimeHist", "Synch = TRUE"), 1);  // only the one sent long ago
  EXPECT_TRUE(s.masters_ok);
  EXPECT_EQ(CountRows(data_, "Accounts", "[Charge Account] = 'NETA'"), 1);
  EXPECT_TRUE(dm.tblHist().Active());
}

TEST_F(SynchTest, MastersAreReplacedAllOrNothing) {
  AddLocalRecords();
  TDM& dm = StartDataModule();
  engine::Database other(data_);  // another administrator has the job codes open
  engine::Table jobs(other, "JobCodes");
  jobs.Open();
  TDM::SyncOutcome s = dm.SynchData();
  EXPECT_TRUE(s.sent_ok);
  EXPECT_EQ(s.records_sent, 4);  // no filter: bob's record goes too
  EXPECT_FALSE(s.masters_ok);
  EXPECT_TRUE(s.masters_replaced.empty());
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_NE(prompter_.Messages()[0].text.find("JobCodes"), std::string::npos);
  jobs.Close();
  EXPECT_EQ(CountRows(data_, "Accounts", "[Charge Account] = 'LOCAL'"), 1);
  EXPECT_EQ(CountRows(data_, "Accounts", "[Charge Account] = 'NETA'"), 0);
  EXPECT_TRUE(dm.tblAccts().Active());
}

TEST_F(SynchTest, AMissingNetworkFolderStopsBeforeAnythingIsClosed) {
  AddLocalRecords();
  config_->NetSynchDataPath = root_ + "/nowhere/";
  TDM& dm = StartDataModule();
  TDM::SyncOutcome s = dm.SynchData();
  EXPECT_FALSE(s.sent_ok);
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(CountRows(data_, "TimeHist", "Synch = TRUE"), 1);
  EXPECT_TRUE(dm.tblHist().Active());
  EXPECT_EQ(CountRows(data_, "Accounts", "[Charge Account] = 'LOCAL'"), 1);
}

TEST_F(SynchTest, TheDataModuleSynchronisesAtStartOnlyWithSecurityOnAndOnProgramStart) {
  AddLocalRecords();
  struct Case {
    bool security;
    int synchronize;
    std::int64_t on_network;
  } cases[] = {{false, 1, 0}, {true, 2, 0}, {true, 1, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.security << " " << c.synchronize);
    secure_.SetSecuritySwitch(c.security);
    config_->Synchronize = c.synchronize;
    StartDataModule();
    EXPECT_EQ(CountRows(net_, "TimeHist"), c.on_network);
    dm_.reset();
  }
}

}  // namespace
}  // namespace tikora::admin::test
