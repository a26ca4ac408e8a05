// The headless sub-commands, run as a cron job would run them.
#include <sstream>

#include "admin/commands.h"
#include "admin_fixture.h"
#include "core/password.h"

namespace tikora::admin::test {
namespace {

class CommandsTest : public AdminTest {
 protected:
  using Run = CommandRun;
  Run Command(std::vector<std::string> args) { return RunCommandOn(cli_, std::move(args)); }
  std::string cli_ = "";
};

TEST_F(CommandsTest, ADataFolderMadeByCreateDataGoesThroughEveryCommand) {
  cli_ = root_ + "/cli/";
  const std::string data = cli_ + "TIKData/";
  struct Step {
    std::vector<std::string> args;
    int status;
    const char* err_has;
  } steps[] = {
      {{"check"}, 1, "At least some data files are missing from"},
      {{"create-data", "--layout", "1.0"}, 0, "created"},
      {{"upgrade"}, 0, "upgraded TimeHist"},
      {{"upgrade"}, 0, "every table is at its current version"},
      {{"check"}, 0, "the security switch is off"},
      {{"create-data", "--demo", "--layout", "1.0"}, 1, "--demo needs the current layout"},
      {{"create-data", "--demo"}, 0, "log-ins and their passwords"},
      {{"backup"}, 0, "Data backup up to "},
      {{"restore"}, 1, "restore needs the archive"},
      {{"restore", "/nonexistent.zip"}, 1, "no archive"},
      {{"prune-backups"}, 0, "automatic backups are off"},
      {{"sync"}, 1, "Data"},  // the default network folder does not exist
      {{"frobnicate"}, 1, "unknown command"},
      {{"backup", "--yes", "--no"}, 1, "exclude each other"},
  };
  Run demo;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.args[0] + (s.args.size() > 1 ? " " + s.args[1] : ""));
    Run r = Command(s.args);
    EXPECT_EQ(r.status, s.status) << r.err;
    EXPECT_NE(r.err.find(s.err_has), std::string::npos) << r.err;
    if (s.args == std::vector<std::string>{"create-data", "--demo"}) demo = r;
  }

  // The demo passwords are printed once and stored only as hashes.
  std::istringstream lines(demo.out);
  std::vector<std::pair<std::string, std::string>> logins;
  for (std::string login, password; lines >> login >> password;) logins.emplace_back(login, password);
  ASSERT_EQ(logins.size(), 3u);
  EXPECT_EQ(logins[0].first, "Administrator");
  EXPECT_EQ(logins[1].first, "Superuser");
  {
    engine::Database db(data);
    engine::Table security(db, "Security");
    security.Open();
    ASSERT_TRUE(security.FindKey({Value::Text("Administrator")}));
    const std::string stored = security.FieldValue("Password").AsText();
    EXPECT_TRUE(IsPasswordHash(stored));
    EXPECT_TRUE(VerifyPassword(stored, logins[0].second).ok);
  }
  EXPECT_GT(CountRows(data, "Reports"), 0);
  Run again = Command({"create-data", "--demo"});
  EXPECT_EQ(again.status, 0);
  EXPECT_TRUE(again.out.empty());  // no new passwords over existing log-ins

  // Restore asks; without --yes nothing changes.
  std::string archive;
  for (const auto& e : fs::directory_iterator(data + "Backup")) archive = e.path().string();
  AddRow(data, "Items", {{"ItemID", Value::Text("LATER")}});
  EXPECT_EQ(Command({"restore", archive}).status, 1);
  EXPECT_EQ(CountRows(data, "Items", "ItemID = 'LATER'"), 1);
  Run restored = Command({"restore", archive, "--yes"});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(CountRows(data, "Items", "ItemID = 'LATER'"), 0);

  // A restore while another program has a table open replaces nothing and fails.
  engine::Database other(data);
  engine::Table held(other, "Users");
  held.Open();
  Run blocked = Command({"restore", archive, "--yes"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_NE(blocked.err.find("Could not close database"), std::string::npos) << blocked.err;
}

TEST_F(CommandsTest, HelpListsEveryCommand) {
  Run r = Command({"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* c : {"create-data", "check", "upgrade", "backup", "restore", "sync", "prune-backups",
                        "--program-folder", "--yes"})
    EXPECT_NE(r.out.find(c), std::string::npos) << c;
  EXPECT_TRUE(IsHeadlessCommand({"--program-folder", "x", "backup"}));
  EXPECT_FALSE(IsHeadlessCommand({"--program-folder", "x"}));
}

}  // namespace
}  // namespace tikora::admin::test
