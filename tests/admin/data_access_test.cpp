// Data services: backup and restore, pruning, pick lists, look-ups, log-in tracking, presence.
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>

#include "admin/table_files.h"
#include "admin_fixture.h"
#include "engine/errors.h"
#include "engine/sqlite_util.h"

namespace tikora::admin::test {
namespace {

using DataAccessTest = AdminTest;

// Rows of TimeHist and Archive in the data folder `dir`.
std::pair<std::int64_t, std::int64_t> HistAndArchiveRows(const std::string& dir) {
  return {AdminTest::CountRows(dir, "TimeHist"), AdminTest::CountRows(dir, "Archive")};
}

TEST_F(DataAccessTest, BackupIsAConsistentSnapshotWhileAnotherProgramWritesAndRestoresWhole) {
  const std::string stop = root_ + "/stop";
  // Another program adds one row to TimeHist and one to Archive in each transaction.
  pid_t writer = Spawn([&] {
    engine::Database db(data_);
    engine::Table hist(db, "TimeHist"), archive(db, "Archive");
    hist.Open();
    archive.Open();
    for (int i = 0; !fs::exists(stop) && i < 100000; ++i) {
      db.StartTransaction({"TimeHist", "Archive"});
      AddTime(hist, "web", "P", "2024-03-01 08:00");
      AddTime(archive, "web", "P", "2024-03-01 08:00");
      db.Commit();
      usleep(500);  // a busy web server, not a loop that never lets readers in
    }
    return 0;
  });
  while (CountRows(data_, "Archive") < 20) usleep(1000);

  std::vector<std::string> archives;
  for (int i = 0; i < 3; ++i) {
    now_ = DateTime(now_.days + 1.0 / 86400);
    BackupOutcome b = access_->BackupData(false);
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(prompter_.Messages().back().text, "Data backup up to " + b.archive + ".");
    archives.push_back(b.archive);
  }
  std::ofstream(stop) << "stop";
  ASSERT_EQ(WaitFor(writer), 0);

  std::vector<std::pair<std::int64_t, std::int64_t>> snapshots;
  for (const auto& a : archives) {
    ScratchFolder check(root_);
    std::vector<std::string> names = ExtractZipArchive(a, check.path());
    EXPECT_EQ(names.size(), 13u);
    auto rows = HistAndArchiveRows(check.path());
    EXPECT_EQ(rows.first, rows.second) << a;  // never a transaction half copied
    EXPECT_GE(rows.first, 20);
    snapshots.push_back(rows);
  }

  AddRow(data_, "Items", {{"ItemID", Value::Text("NEW")}});
  prompter_.QueueAnswer(Answer::Ok);
  RestoreOutcome r = access_->RestoreData(archives[0]);
  ASSERT_EQ(r.result, RestoreOutcome::Result::Restored) << r.error;
  EXPECT_EQ(prompter_.Questions().back().text,
            "Are you sure you want to overwrite your existing data in " + data_ +
                " with this archived data?");
  EXPECT_EQ(prompter_.Messages().back().text, "Data restored.");
  EXPECT_EQ(HistAndArchiveRows(data_), snapshots[0]);
  EXPECT_EQ(CountRows(data_, "Items"), 0);
}

// Writes an archive of the data folder `dir` with `extra` entries added (name -> content).
std::string MakeArchive(const std::string& dir, const std::string& archive,
                        const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<ArchiveEntry> entries;
  for (const auto& name : BackupFileNames(dir)) entries.push_back({name, dir + "/" + name});
  for (const auto& [name, content] : extra) {
    std::string path = dir + "/../" + name + ".extra";
    std::ofstream(path, std::ios::binary) << content;
    entries.push_back({name, path});
  }
  WriteZipArchive(archive, entries);
  return archive;
}

TEST_F(DataAccessTest, ABadArchiveOrATableInUseReplacesNothing) {
  // The archive's own tables: one account "ARCH".
  const std::string other = root_ + "/other/";
  fs::create_directories(other);
  engine::CreateDataTables(other, engine::Layout::Current);
  AddRow(other, "Accounts", {{"Charge Account", Value::Text("ARCH")}});
  AddRow(data_, "Accounts", {{"Charge Account", Value::Text("LIVE")}});
  // A table file with a trigger that would run inside the programs.
  const std::string trap = root_ + "/trap.DAT";
  fs::copy_file(other + "Items.DAT", trap);
  {
    sqlite3* db = nullptr;
    sqlite3_open(trap.c_str(), &db);
    sqlite3_exec(db, "CREATE TRIGGER t AFTER INSERT ON Items BEGIN DELETE FROM Items; END", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  std::string trap_bytes(fs::file_size(trap), '\0');
  std::FILE* trap_in = std::fopen(trap.c_str(), "rb");
  ASSERT_NE(trap_in, nullptr);
  ASSERT_EQ(std::fread(trap_bytes.data(), 1, trap_bytes.size(), trap_in), trap_bytes.size());
  std::fclose(trap_in);

  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> extra;
    bool hold_accounts;
    Answer answer;
    RestoreOutcome::Result result;
    const char* says;
  } cases[] = {
      {"garbage table", {{"TimeHist.DAT", "not a table"}}, false, Answer::Ok,
       RestoreOutcome::Result::Failed, "TimeHist.DAT is not a table file"},
      {"trigger", {{"Items.DAT", trap_bytes}}, false, Answer::Ok, RestoreOutcome::Result::Failed,
       "holds objects other than tables"},
      {"in use", {}, true, Answer::Ok, RestoreOutcome::Result::Failed,
       "Could not close database, data files may be open."},
      {"cancelled", {}, false, Answer::Cancel, RestoreOutcome::Result::Cancelled, nullptr},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string archive = MakeArchive(other, root_ + "/a" + std::to_string(n++) + ".zip", c.extra);
    engine::Database holder(data_);
    engine::Table accounts(holder, "Accounts");
    if (c.hold_accounts) accounts.Open();
    prompter_.QueueAnswer(c.answer);
    RestoreOutcome r = access_->RestoreData(archive);
    EXPECT_EQ(r.result, c.result);
    if (c.says != nullptr) {
      EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
      EXPECT_EQ(prompter_.Messages().back().text, r.error);
    }
    accounts.Close();
    EXPECT_EQ(CountRows(data_, "Accounts", "[Charge Account] = 'LIVE'"), 1);
    EXPECT_EQ(CountRows(data_, "Accounts", "[Charge Account] = 'ARCH'"), 0);
  }
  // No archive there: nothing is asked or done.
  const std::size_t asked = prompter_.Questions().size();
  EXPECT_EQ(access_->RestoreData(root_ + "/missing.zip").result, RestoreOutcome::Result::NoSuchFile);
  EXPECT_EQ(prompter_.Questions().size(), asked);
}

TEST_F(DataAccessTest, ARestoreTakesEntriesByFileNameAlone) {
  const std::string other = root_ + "/other/";
  fs::create_directories(other);
  engine::CreateDataTables(other, engine::Layout::Current);
  AddRow(other, "Items", {{"ItemID", Value::Text("ARCH")}});
  std::ofstream(other + "Items.DAT.ini") << "[Options]\n";
  WriteZipArchive(root_ + "/nested.zip", {{"C:\\old\\TIKData\\items.dat", other + "Items.DAT"},
                                          {"TIKData/Tikora.ini", other + "Items.DAT.ini"},
                                          {"TIKData/tikora.sec", other + "Items.DAT.ini"}});
  prompter_.QueueAnswer(Answer::Ok);
  RestoreOutcome r = access_->RestoreData(root_ + "/nested.zip");
  ASSERT_EQ(r.result, RestoreOutcome::Result::Restored) << r.error;
  EXPECT_EQ(CountRows(data_, "Items", "ItemID = 'ARCH'"), 1);
  EXPECT_TRUE(fs::exists(data_ + "Items.DAT"));  // replaced under its installed name
  EXPECT_FALSE(fs::exists(data_ + "items.dat"));
  EXPECT_TRUE(fs::exists(data_ + "Tikora.ini"));
  EXPECT_EQ(r.skipped, std::vector<std::string>{"tikora.sec"});  // not a kind a backup holds
  EXPECT_FALSE(fs::exists(data_ + "tikora.sec"));
}

// Sets the last-write time of `path` to a local wall-clock moment.
void Stamp(const std::string& path, int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  timespec times[2] = {{mktime(&tm), 0}, {mktime(&tm), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(DataAccessTest, PruningRemovesArchivesStampedBeforeTheLimit) {
  const std::string folder = data_ + "Backup/";
  struct File {
    const char* name;
    int y, mo, d, h, mi, s;
    bool folder;
  };
  const File files[] = {
      {"feb29.zip", 2024, 2, 29, 23, 59, 0, false}, {"mar01.zip", 2024, 3, 1, 0, 0, 0, false},
      {"OLD.ZIP", 2020, 1, 1, 12, 0, 0, false},    {"old.txt", 2020, 1, 1, 12, 0, 0, false},
      {"dir.zip", 2020, 1, 1, 12, 0, 0, true},     {"mar30.zip", 2024, 3, 30, 23, 59, 59, false},
      {"mar31.zip", 2024, 3, 31, 0, 0, 0, false},
  };
  struct Case {
    bool auto_backup;
    int days;
    std::vector<std::string> removed;
  } cases[] = {
      {true, 30, {"OLD.ZIP", "feb29.zip"}},
      {true, 0, {"OLD.ZIP", "feb29.zip", "mar01.zip", "mar30.zip"}},
      {false, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.days);
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const File& f : files) {
      const std::string path = folder + f.name;
      if (f.folder) {
        fs::create_directory(path);
      } else {
        std::ofstream(path) << "x";
      }
      Stamp(path, f.y, f.mo, f.d, f.h, f.mi, f.s);
    }
    config_->AutoBackup = c.auto_backup;
    config_->BackupDays = static_cast<std::int16_t>(c.days);
    config_->DataBackupPath = root_ + "/elsewhere/";  // not consulted by pruning
    EXPECT_EQ(PruneOldBackups(*config_, EncodeDate(2024, 3, 31)), c.removed);
    EXPECT_TRUE(fs::is_directory(folder + "dir.zip"));
  }
}

TEST_F(DataAccessTest, PickListsFollowTheIdInPullDownsSetting) {
  auto add = [&](const char* table, std::vector<std::pair<std::string, Value>> row) { AddRow(data_, table, row); };
  add("Accounts", {{"Charge Account", Value::Text("A1")}, {"Description", Value::Text("Zeta")}, {"Client", Value::Text("C1")}});
  add("Accounts", {{"Charge Account", Value::Text("A2")}});
  add("Accounts", {{"Charge Account", Value::Text("A3")}, {"Description", Value::Text("Alpha")}, {"Client", Value::Text("C2")}});
  add("Accounts", {{"Charge Account", Value::Text("A4")}, {"Description", Value::Text("Beta")}, {"Active", Value::Boolean(false)}});
  add("JobCodes", {{"Job Code", Value::Text("J1")}, {"Description", Value::Text("Dev")}, {"ChargeAccount", Value::Text("A1")}});
  add("JobCodes", {{"Job Code", Value::Text("J2")}, {"Description", Value::Text("Admin")}});
  add("JobCodes", {{"Job Code", Value::Text("J3")}, {"Description", Value::Text("Old")}, {"Active", Value::Boolean(false)}});
  add("Clients", {{"ClientID", Value::Text("C1")}, {"Name", Value::Text("Zed Ltd")}});
  add("Clients", {{"ClientID", Value::Text("C2")}, {"Name", Value::Text("Acme")}});

  using Items = std::vector<PickItem>;
  struct Case {
    bool ids;
    std::function<void(Items&)> fill;
    Items want;
    std::size_t messages;
  } cases[] = {
      {false, [&](Items& i) { access_->FillAccountCombo(i, "", false); },
       {{}, {"Alpha", "", "A3"}, {"Zeta", "", "A1"}}, 1},
      {true, [&](Items& i) { access_->FillAccountCombo(i, "", false); },
       {{}, {"A1", "", "Zeta"}, {"A2", "", ""}, {"A3", "", "Alpha"}}, 0},
      {false, [&](Items& i) { access_->FillAccountCombo(i, "C1", true); }, {{}, {"Zeta", "", "A1"}}, 1},
      {true, [&](Items& i) { access_->FillAccountCombo(i, "C1", false); },
       {{}, {"A1", "", "Zeta"}, {"A2", "", ""}, {"A3", "", "Alpha"}}, 0},
      {false, [&](Items& i) { access_->FillJobCodeCombo(i, "A1"); }, {{}, {"Dev", "", "J1"}}, 0},
      {false, [&](Items& i) { access_->FillJobCodeCombo(i, "A9"); },
       {{}, {"Admin", "", "J2"}, {"Dev", "", "J1"}}, 0},
      {true, [&](Items& i) { access_->FillJobCodeCombo(i, ""); },
       {{}, {"J1", "", "Dev"}, {"J2", "", "Admin"}}, 0},
      {false, [&](Items& i) { access_->FillClientCombo(i); },
       {{}, {"Acme", "", "C2"}, {"Zed Ltd", "", "C1"}}, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n++);
    config_->IDInPullDowns = c.ids;
    const std::size_t shown = prompter_.Messages().size();
    Items items = {{"stale", "", ""}};
    c.fill(items);
    EXPECT_EQ(items, c.want);
    ASSERT_EQ(prompter_.Messages().size(), shown + c.messages);
    if (c.messages > 0) {
      EXPECT_EQ(prompter_.Messages().back().text, "Charge Account:A2 has no associated description");
    }
  }
}

TEST_F(DataAccessTest, LookUpsListsPrintedMarksAndLogins) {
  AddRow(data_, "Accounts", {{"Charge Account", Value::Text("A1")}, {"Description", Value::Text("Alpha")}});
  EXPECT_EQ(access_->GetAccountDescription("A1"), "Alpha");
  EXPECT_EQ(access_->GetAccountDescription("A9"), "");

  const std::pair<std::int64_t, const char*> reports[] = {{7, "Invoice"}, {1, "Hours"}, {5, "Hidden"}};
  for (const auto& [id, title] : reports)
    AddRow(data_, "Reports", {{"ReportID", Value::Integer(id)}, {"ReportTitle", Value::Text(title)},
                              {"FileName", Value::Text(std::string(title) + ".frf")},
                              {"Position", Value::Integer(10 - id)}, {"Visible", Value::Boolean(id != 5)}});
  EXPECT_EQ(access_->GetReportFileName("Invoice"), "Invoice.frf");
  EXPECT_EQ(access_->GetReportFileName("None"), "");
  std::vector<ReportListEntry> list = {{"kept", 0}};
  access_->FillReportList(list);
  EXPECT_EQ(list, (std::vector<ReportListEntry>{{"kept", 0}, {"Invoice", 7}, {"Hours", 1}}));

  {
    engine::Database db(data_);
    engine::Table hist(db, "TimeHist");
    hist.Open();
    AddTime(hist, "zoe", "A1", "2024-03-04 08:00", "2024-03-04 12:00");
    AddTime(hist, "amy", "A1", "2024-03-05 08:00", "2024-03-05 12:00");
    AddTime(hist, "amy", "A1", "2024-03-12 08:00", "2024-03-12 12:00");
  }
  std::vector<std::string> users = {"stale"};
  access_->FillUserList(users);
  EXPECT_EQ(users, (std::vector<std::string>{"amy", "zoe"}));

  struct Case {
    std::string filter;
    std::int64_t marked;
  } cases[] = {
      {"", 0},
      {"([Start Time] >= :Date1) AND ([Start Time] < :Date2)", 2},
      {"[User ID] = 'amy'", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    {
      engine::Database db(data_);
      engine::Query reset(db);
      reset.SetSql("UPDATE TimeHist SET Printed = False");
      reset.ExecSQL();
    }
    config_->ReportFilter = c.filter;
    EXPECT_EQ(access_->MarkPrinted(EncodeDateTime({2024, 3, 4}, {15, 0, 0}), EncodeDate(2024, 3, 11)), c.marked);
    EXPECT_EQ(CountRows(data_, "TimeHist", "Printed = True"), c.marked);
  }

  user_ = "a-very-long-user-name-of-more-than-thirty-characters";
  access_->RecordLogin();
  access_->RecordLogin();
  EXPECT_EQ(CountRows(data_, "Users"), 1);
  EXPECT_EQ(CountRows(data_, "Users", "LoginID = 'a-very-long-user-name-of-more-'"), 1);
  EXPECT_EQ(CutToCharacters("ääääb", 4), "ääää");
}

TEST_F(DataAccessTest, DataFilesPresentNeedsEveryTableInAnyLetterCase) {
  EXPECT_TRUE(access_->DataFilesPresent());
  fs::rename(data_ + "Items.DAT", data_ + "items.dat");
  EXPECT_TRUE(access_->DataFilesPresent());
  fs::remove(data_ + "items.dat");
  EXPECT_FALSE(access_->DataFilesPresent());
}

}  // namespace
}  // namespace tikora::admin::test
