// The data module: start sequence, change log, edit restrictions, cascades, edit errors, timer.
#include <functional>

#include "admin_fixture.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "engine/schema.h"

namespace tikora::admin::test {
namespace {

using DataModuleTest = AdminTest;

TEST_F(DataModuleTest, StartRecordsTheUserAndCreatesTheTimeSheetTableAndEndRecordsTheLogout) {
  TDM& dm = StartDataModule();
  EXPECT_TRUE(dm.tblHist().Active());
  EXPECT_FALSE(dm.tblSecure().Active());
  EXPECT_TRUE(dm.tblmemTS().Active());
  EXPECT_TRUE(dm.tblmemTS().Exclusive());
  EXPECT_EQ(dm.tblmemTS().FieldCount(), static_cast<int>(engine::MemTimeSheetDef().fields.size()));
  EXPECT_EQ(dm.CurrentEditKind(), EditKind::None);

  auto users = [&] {
    engine::Database db(data_);
    engine::Table t(db, "Users");
    t.Open();
    EXPECT_TRUE(t.FindKey({Value::Text("tester")}));
    return std::make_pair(t.FieldValue("LastIn"), t.FieldValue("LastOut"));
  };
  auto [in, out] = users();
  EXPECT_EQ(in.AsDateTime(), now_);
  EXPECT_TRUE(out.IsNull());

  now_ = DateTime(now_.days + 0.25);
  dm_.reset();
  auto [in2, out2] = users();
  EXPECT_EQ(in2.AsDateTime(), DateTime(now_.days - 0.25));
  EXPECT_EQ(out2.AsDateTime(), now_);
}

TEST_F(DataModuleTest, ChangeLogHasOneLinePerInsertAndDeleteAndTwoPerEdit) {
  config_->LogTimeHistoryChanges = true;
  TDM& dm = StartDataModule();
  engine::Table& hist = dm.tblHist();
  hist.Append();
  hist.SetFieldValue("User ID", Value::Text("amy"));
  hist.SetFieldValue("Account", Value::Text("P1"));
  hist.SetFieldValue("Comments", Value::Text("say \"hi\"\nbye"));
  EXPECT_EQ(dm.CurrentEditKind(), EditKind::Inserting);
  hist.Post();
  EXPECT_EQ(dm.CurrentEditKind(), EditKind::None);
  hist.Edit();
  EXPECT_EQ(dm.CurrentEditKind(), EditKind::Editing);
  hist.SetFieldValue("Account", Value::Text("P2"));
  hist.Post();
  hist.Delete();

  const std::string moment = FormatShortDate(now_) + " " + FormatLocaleTime(now_);
  const std::string tail = "\"say \"hi\" bye\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"";
  auto line = [&](const char* kind, const char* id, const char* account) {
    return moment + kind + "tester,\"" + id + "\",\"amy\",\"" + account + "\",\"\",\"\",\"\"," + tail;
  };
  EXPECT_EQ(ReadLines(dm.ChangeLogPath()),
            (std::vector<std::string>{line(",added,", "", "P1"), line(",edited from,", "1", "P1"),
                                      line(",edited to,", "1", "P2"), line(",deleted,", "1", "P2")}));
  EXPECT_EQ(dm.ChangeLogPath(), data_ + "TimeHist.log");
}

TEST_F(DataModuleTest, SynchronisedAndPrintedRecordsAreRefusedSilentlyWithSecurityOn) {
  struct Case {
    bool security, allow_synch, allow_printed, synch, printed, editable;
  } cases[] = {
      {true, false, true, true, false, false},   {true, true, true, true, false, true},
      {true, true, false, false, true, false},   {true, false, false, false, false, true},
      {false, false, false, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.security << c.allow_synch << c.allow_printed << c.synch << c.printed);
    fs::remove(data_ + "TimeHist.log");
    AddRow(data_, "TimeHist", {{"User ID", Value::Text("amy")}, {"Synch", Value::Boolean(c.synch)},
                               {"Printed", Value::Boolean(c.printed)}});
    secure_.SetSecuritySwitch(c.security);
    config_->AllowSynchEdits = c.allow_synch;
    config_->AllowPrintedEdits = c.allow_printed;
    config_->LogTimeHistoryChanges = true;
    TDM& dm = StartDataModule();
    dm.tblHist().Last();
    if (c.editable) {
      dm.tblHist().Edit();
      EXPECT_EQ(dm.tblHist().state(), engine::TableState::Edit);
      dm.tblHist().Cancel();
      EXPECT_EQ(ReadLines(dm.ChangeLogPath()).size(), 1u);
    } else {
      try {
        dm.tblHist().Edit();
        ADD_FAILURE() << "edit allowed";
      } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.code(), engine::kErrAborted);
      }
      EXPECT_EQ(dm.tblHist().state(), engine::TableState::Browse);
      EXPECT_FALSE(fs::exists(dm.ChangeLogPath()));
    }
    EXPECT_TRUE(prompter_.Texts().empty());
    dm_.reset();
  }
}

TEST_F(DataModuleTest, DeletingOrRenamingACodeAsksWhetherTheTimeRecordsFollow) {
  {
    engine::Database db(data_);
    engine::Table hist(db, "TimeHist");
    hist.Open();
    AddTime(hist, "amy", "P1", "2024-03-01 08:00", "2024-03-01 09:00", "DEV", "O'N");
    AddTime(hist, "amy", "P1", "2024-03-02 08:00", "2024-03-02 09:00", "DEV", "O'N");
  }
  struct Case {
    const char* table;
    const char* key_field;
    const char* hist_field;
    const char* key;
    std::optional<Answer> answer;  // none: no question expected
    const char* question;
  } deletes[] = {
      {"Accounts", "Charge Account", "Account", "P9", std::nullopt, nullptr},
      {"Accounts", "Charge Account", "Account", "P1", Answer::No,
       "Do you wish to delete all time records of this project as well?"},
      {"JobCodes", "Job Code", "Job_Code", "DEV", Answer::Yes,
       "Do you wish to delete all time records of this Job Code as well?"},
  };
  for (const Case& c : deletes) {
    SCOPED_TRACE(std::string(c.table) + " " + c.key);
    AddRow(data_, c.table, {{c.key_field, Value::Text(c.key)}});
    const std::int64_t before = CountRows(data_, "TimeHist");
    const std::int64_t using_key = CountRows(data_, "TimeHist", std::string("[") + c.hist_field + "] = '" + c.key + "'");
    TDM& dm = StartDataModule();
    engine::Table& t = c.table == std::string("Accounts") ? dm.tblAccts() : dm.tblJobs();
    ASSERT_TRUE(t.Locate(c.key_field, {Value::Text(c.key)}));
    const std::size_t asked = prompter_.Questions().size();
    if (c.answer) prompter_.QueueAnswer(*c.answer);
    t.Delete();
    EXPECT_FALSE(t.Locate(c.key_field, {Value::Text(c.key)}));
    ASSERT_EQ(prompter_.Questions().size(), asked + (c.answer ? 1 : 0));
    if (c.answer) {
      EXPECT_EQ(prompter_.Questions().back().text, c.question);
    }
    const bool removed = c.answer == Answer::Yes;
    EXPECT_EQ(CountRows(data_, "TimeHist"), before - (removed ? using_key : 0));
    dm_.reset();
  }

  // Renaming: only while editing an existing row, and the key is quoted safely.
  AddRow(data_, "Clients", {{"ClientID", Value::Text("O'N")}});
  AddRow(data_, "TimeHist", {{"User ID", Value::Text("bob")}, {"ClientID", Value::Text("O'N")}});
  const std::int64_t with_client = CountRows(data_, "TimeHist", "ClientID = 'O''N'");
  ASSERT_GT(with_client, 0);
  TDM& dm = StartDataModule();
  ASSERT_TRUE(dm.tblClient().Locate("ClientID", {Value::Text("O'N")}));
  dm.tblClient().Edit();
  prompter_.QueueAnswer(Answer::Yes);
  dm.tblClient().SetFieldValue("ClientID", Value::Text("O'M"));
  EXPECT_EQ(prompter_.Questions().back().text,
            "Do you wish to update all time records of this Client as well?");
  EXPECT_EQ(CountRows(data_, "TimeHist", "ClientID = 'O''M'"), with_client);
  dm.tblClient().Cancel();  // cancelling the row does not undo the time records
  EXPECT_EQ(CountRows(data_, "TimeHist", "ClientID = 'O''M'"), with_client);

  const std::size_t asked = prompter_.Questions().size();
  dm.tblClient().Append();
  dm.tblClient().SetFieldValue("ClientID", Value::Text("O'M"));
  dm.tblClient().Post();
  EXPECT_EQ(prompter_.Questions().size(), asked);
}

// A prompter that runs an action when it is asked for the n-th time.
class ActingPrompter : public tikora::test::ScriptedPrompter {
 public:
  int asked = 0;
  int act_at = 0;
  std::function<void()> action;
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override {
    if (++asked == act_at && action) action();
    return ScriptedPrompter::Ask(text, caption, buttons);
  }
};

TEST_F(DataModuleTest, ALockedRecordIsRetriedWhileTheUserSaysYes) {
  AddRow(data_, "TimeHist", {{"User ID", Value::Text("amy")}, {"Account", Value::Text("P1")}});
  struct Case {
    std::vector<Answer> answers;
    const char* account;
    bool posted;
  } cases[] = {{{Answer::Yes, Answer::Yes}, "P2", true}, {{Answer::No}, "P3", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers.size());
    ActingPrompter prompter;
    for (Answer a : c.answers) prompter.QueueAnswer(a);
    TDM dm(*config_, *access_, secure_, prompter, timer_, TDMOptions{100, true});
    // Another program in the middle of a write, until it is told to finish.
    int busy[2], finish[2];
    ASSERT_EQ(pipe(busy), 0);
    ASSERT_EQ(pipe(finish), 0);
    pid_t web = Spawn([&] {
      engine::Database db(data_);
      db.StartTransaction({"TimeHist"});
      char signal = 'b';
      if (write(busy[1], &signal, 1) != 1 || read(finish[0], &signal, 1) != 1) return 1;
      db.Rollback();
      return 0;
    });
    char token = 0;
    ASSERT_EQ(read(busy[0], &token, 1), 1);
    auto finish_web = [&] {
      if (web == 0) return;
      EXPECT_EQ(write(finish[1], &token, 1), 1);
      EXPECT_EQ(WaitFor(web), 0);
      web = 0;
    };
    prompter.act_at = 2;
    prompter.action = finish_web;

    dm.tblHist().First();
    dm.tblHist().Edit();
    dm.tblHist().SetFieldValue("Account", Value::Text(c.account));
    if (c.posted) {
      dm.tblHist().Post();
    } else {
      EXPECT_THROW(dm.tblHist().Post(), engine::EngineError);
      dm.tblHist().Cancel();
      finish_web();
    }
    for (int fd : {busy[0], busy[1], finish[0], finish[1]}) close(fd);
    ASSERT_EQ(prompter.Questions().size(), c.answers.size());
    for (const auto& q : prompter.Questions()) EXPECT_EQ(q.text, kRecordLockedMessage);
    EXPECT_EQ(CountRows(data_, "TimeHist", std::string("Account = '") + c.account + "'"), c.posted ? 1 : 0);
  }
}

TEST_F(DataModuleTest, ARecordChangedElsewhereIsRefreshedAndPostedWithBothChanges) {
  AddRow(data_, "TimeHist", {{"User ID", Value::Text("amy")}, {"Account", Value::Text("P1")}});
  TDM& dm = StartDataModule();
  dm.tblHist().First();
  dm.tblHist().Edit();
  dm.tblHist().SetFieldValue("Account", Value::Text("P2"));
  {
    engine::Database web(data_);
    engine::Table other(web, "TimeHist");
    other.Open();
    other.First();
    other.Edit();
    other.SetFieldValue("Comments", Value::Text("from the web"));
    other.Post();
  }
  dm.tblHist().Post();
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(prompter_.Messages()[0].text, kRecordChangedMessage);
  EXPECT_EQ(CountRows(data_, "TimeHist", "Account = 'P2' AND Comments = 'from the web'"), 1);

  // A record deleted elsewhere: the view is refreshed and editing goes to the record now current;
  // with no record left, editing is abandoned.
  AddRow(data_, "TimeHist", {{"User ID", Value::Text("bob")}});
  dm.tblHist().Refresh();
  for (int left : {1, 0}) {
    SCOPED_TRACE(left);
    dm.tblHist().First();
    {
      engine::Database web(data_);
      engine::Table other(web, "TimeHist");
      other.Open();
      other.First();
      other.Delete();
    }
    if (left == 1) {
      dm.tblHist().Edit();
      EXPECT_EQ(dm.tblHist().FieldValue("User ID").AsText(), "bob");
      dm.tblHist().Cancel();
    } else {
      EXPECT_THROW(dm.tblHist().Edit(), engine::EngineError);
    }
    EXPECT_EQ(prompter_.Messages().back().text, kRecordChangedMessage);
  }
}

TEST_F(DataModuleTest, BackupTimerFollowsTheSettings) {
  struct Case {
    bool auto_backup;
    int minutes;
    std::int64_t advance_ms;
    int ticks;
  } cases[] = {
      {true, 0, 86'400'000, 0},    // an interval of zero never fires
      {false, 60, 86'400'000, 0},  // automatic backups off
      {true, 1, 150'000, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minutes);
    fs::remove_all(data_ + "Backup");
    config_->AutoBackup = c.auto_backup;
    config_->BackupTimerInterval = static_cast<std::int16_t>(c.minutes);
    StartDataModule();
    EXPECT_EQ(timer_.Advance(c.advance_ms), c.ticks);
    EXPECT_EQ(fs::exists(data_ + "Backup/2024-03-07_14-05-09.zip"), c.ticks > 0);
    EXPECT_TRUE(prompter_.Messages().empty());  // silent
    dm_.reset();
    EXPECT_FALSE(timer_.Running());
  }

  // A change of the options counts the next tick from the moment it takes effect.
  config_->AutoBackup = true;
  config_->BackupTimerInterval = 60;
  TDM& dm = StartDataModule();
  EXPECT_EQ(timer_.Advance(30 * 60'000), 0);
  config_->BackupTimerInterval = 10;
  dm.RefreshControls();
  EXPECT_EQ(timer_.Advance(9 * 60'000), 0);
  EXPECT_EQ(timer_.Advance(60'000), 1);
}

}  // namespace
}  // namespace tikora::admin::test
