#include "core/system_helpers.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/core_test_support.h"
#include "scripted_prompter.h"

namespace tikora {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::ScopedEnv;
using test::TempFolder;
using test::WriteText;

TEST(AppendLineTest, AppendsLinesCreatingTheFile) {
  TempFolder folder;
  test::ScriptedPrompter prompter;
  const std::string log = folder.File("TimeHist.log");
  EXPECT_TRUE(AppendLine(log, "first", prompter));
  EXPECT_TRUE(AppendLine(log, "", prompter));
  EXPECT_TRUE(AppendLine(log, "third; with = odd \"text\"", prompter));
  EXPECT_EQ(ReadText(log), "first\n\nthird; with = odd \"text\"\n");
  EXPECT_TRUE(prompter.Texts().empty());
}

TEST(AppendLineTest, MissingFolderIsReportedOnceAndReturnsFalse) {
  TempFolder folder;
  test::ScriptedPrompter prompter;
  const std::string log = folder.File("no such folder/TimeHist.log");
  EXPECT_FALSE(AppendLine(log, "line", prompter));
  ASSERT_EQ(prompter.Messages().size(), 1u);
  EXPECT_EQ(prompter.Messages()[0].text, "Could not access " + log);
  EXPECT_EQ(prompter.Messages()[0].caption, "Access Error");
  EXPECT_FALSE(fs::exists(folder.File("no such folder")));
}

TEST(FileNameTest, BaseNameAndExtension) {
  const struct {
    const char* path;
    const char* base_name;
    const char* stripped;
  } cases[] = {
      {"/data/TimeHist.DAT", "TimeHist", "/data/TimeHist"},
      {"report.frf", "report", "report"},
      {"/backups/2024-01-02_10-00-00.tar.gz", "2024-01-02_10-00-00.tar", "/backups/2024-01-02_10-00-00.tar"},
      {"/opt/README", "README", "/opt/README"},
      {"/dir.d/name", "name", "/dir.d/name"},  // a dot in a folder is no extension
      {"/home/u/.profile", ".profile", "/home/u/.profile"},
      {"/home/u/.config.bak", ".config", "/home/u/.config"},
      {"name.", "name", "name"},
      {"/dir/", "", "/dir/"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileBaseName(c.path), c.base_name) << c.path;
    EXPECT_EQ(StripExtension(c.path), c.stripped) << c.path;
  }
}

TEST(FileNameTest, WithTrailingDelimiter) {
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"/srv/tik", "/srv/tik/"},   {"/srv/tik/", "/srv/tik/"}, {"  /srv/tik \t\r\n", "/srv/tik/"},
      {"relative", "relative/"},   {"/", "/"},                 {"", ""},
      {" \t ", ""},  // blank stays empty instead of becoming the root folder
  };
  for (const auto& c : cases) EXPECT_EQ(WithTrailingDelimiter(c.path), c.expected) << c.path;
}

TEST(WriteFileAtomicallyTest, FailsWithoutAFolderAndLeavesNoTemporaryFile) {
  TempFolder folder;
  EXPECT_FALSE(WriteFileAtomically(folder.File("missing/x.ini"), "text"));
  ASSERT_TRUE(WriteFileAtomically(folder.File("x.ini"), "one"));
  ASSERT_TRUE(WriteFileAtomically(folder.File("x.ini"), "two"));
  EXPECT_EQ(ReadText(folder.File("x.ini")), "two");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
}

TEST(TempPathTest, EndsInADelimiter) {
  TempFolder folder;
  ScopedEnv tmpdir("TMPDIR", folder.path().string());
  EXPECT_EQ(TempPath(), folder.Slash());
}

TEST(CurrentUserNameTest, IsTheAccountName) {
  const std::string name = CurrentUserName();
  ASSERT_FALSE(name.empty());
  const passwd* account = ::getpwuid(::geteuid());
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(name, account->pw_name);
}

TEST(ProgramFolderTest, DefaultsToTheExecutablesFolderAndCanBeSet) {
  const std::string executable_folder = ProgramFolder();
  EXPECT_EQ(executable_folder, fs::read_symlink("/proc/self/exe").parent_path().string() + "/");
  TempFolder folder;
  SetProgramFolder(folder.path().string());
  EXPECT_EQ(ProgramFolder(), folder.Slash());
  SetProgramFolder("");
  EXPECT_EQ(ProgramFolder(), executable_folder);
}

// ---- Special folders and shortcuts ------------------------------------------------------------

class HomeTest : public ::testing::Test {
 protected:
  HomeTest() : home_("HOME", folder_.File("home")), xdg_("XDG_CONFIG_HOME", std::nullopt) {}
  TempFolder folder_;
  ScopedEnv home_;
  ScopedEnv xdg_;
  test::ScriptedPrompter prompter_;
};

TEST_F(HomeTest, SpecialFolders) {
  const std::string home = folder_.File("home") + "/";
  EXPECT_EQ(SpecialFolder(kAppDataFolder, prompter_), home + ".config/");
  EXPECT_EQ(SpecialFolder(kStartupFolder, prompter_), home + ".config/autostart/");
  EXPECT_EQ(SpecialFolder(kLocalAppDataFolder, prompter_), home + ".local/share/");
  EXPECT_EQ(SpecialFolder(kPersonalFolder, prompter_), home);
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/etc/xdg-elsewhere");
    EXPECT_EQ(SpecialFolder(kAppDataFolder, prompter_), "/etc/xdg-elsewhere/");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(SpecialFolder(kAppDataFolder, prompter_), home + ".config/");
  }
  EXPECT_TRUE(prompter_.Texts().empty());

  EXPECT_EQ(SpecialFolder(12345, prompter_), "");
  ASSERT_EQ(prompter_.Messages().size(), 1u);
  EXPECT_EQ(prompter_.Messages()[0].text, "Couldn't get pointer to IMalloc interface.");
  EXPECT_EQ(prompter_.Messages()[0].caption, "SHGetMalloc(pMalloc)");
  EXPECT_EQ(prompter_.Messages()[0].kind, MessageKind::Error);
}

TEST_F(HomeTest, StartupShortcutIsAnAutostartEntry) {
  const std::string entry = folder_.File("home") + "/.config/autostart/Tikora.desktop";
  ASSERT_TRUE(AddStartupShortcut("Tikora", "/opt/tik ora/tikoradmin", "--program-folder /opt/100%", prompter_));
  EXPECT_EQ(StartupShortcutPath("Tikora"), entry);
  EXPECT_EQ(ReadText(entry),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Tikora\n"
            "Exec=\"/opt/tik ora/tikoradmin\" \"--program-folder\" \"/opt/100%%\"\n"
            "Path=/opt/tik ora\n"
            "Terminal=false\n");
  EXPECT_TRUE(RemoveStartupShortcut("Tikora"));
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_TRUE(RemoveStartupShortcut("Tikora"));  // already gone: not an error
  EXPECT_TRUE(prompter_.Texts().empty());
}

TEST_F(HomeTest, ExecLineEscapesWhatTheLauncherWouldInterpret) {
  fs::create_directories(folder_.File("links"));
  ASSERT_TRUE(CreateShortcut("/bin/t\"$`\\x", "Odd", "", folder_.File("links"), prompter_));
  // Quoting escapes " $ ` \ with a backslash; the file format then doubles every backslash.
  EXPECT_NE(ReadText(folder_.File("links/Odd.desktop")).find("Exec=\"/bin/t\\\\\"\\\\$\\\\`\\\\\\\\x\"\n"),
            std::string::npos)
      << ReadText(folder_.File("links/Odd.desktop"));
}

TEST_F(HomeTest, ShortcutFailuresAreShown) {
  const struct {
    const char* name;
    const char* folder;
  } cases[] = {{"../escape", "links"}, {"", "links"}, {"Line\nBreak", "links"}, {"Fine", "missing"}};
  fs::create_directories(folder_.File("links"));
  for (const auto& c : cases) {
    prompter_.QueueAnswer(Answer::Ok);
    EXPECT_FALSE(CreateShortcut("/bin/true", c.name, "", folder_.File(c.folder), prompter_)) << c.name;
  }
  ASSERT_EQ(prompter_.Questions().size(), std::size(cases));
  for (const auto& question : prompter_.Questions()) {
    EXPECT_EQ(question.caption, "Exception");
    EXPECT_EQ(question.buttons, Buttons::OkCancel);
    EXPECT_FALSE(question.text.empty());
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.File("links")), fs::directory_iterator()), 0);
}

// ---- Opening addresses and files --------------------------------------------------------------

// A fake opener that records its arguments, one per line, and exits with a chosen status.
class OpenerTest : public ::testing::Test {
 protected:
  OpenerTest() {
    record_ = folder_.File("opened.txt");
    MakeOpener("good", 0);
    MakeOpener("bad", 3);
  }
  ~OpenerTest() override { SetOpenerProgram(""); }

  void MakeOpener(const std::string& name, int status) {
    const std::string path = folder_.File(name);
    WriteText(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record_ + "'\necho noise\nexit " +
                        std::to_string(status) + "\n");
    ::chmod(path.c_str(), 0755);
  }
  std::string Opened() const { return fs::exists(record_) ? ReadText(record_) : ""; }

  TempFolder folder_;
  std::string record_;
  test::ScriptedPrompter prompter_;
};

TEST_F(OpenerTest, OpenUrlAsksFirstWhenTold) {
  SetOpenerProgram(folder_.File("good"));
  prompter_.QueueAnswer(Answer::No);
  EXPECT_FALSE(OpenUrl("http://example.org/", true, prompter_));
  EXPECT_EQ(Opened(), "");  // No starts nothing

  prompter_.QueueAnswer(Answer::Yes);
  EXPECT_TRUE(OpenUrl("http://example.org/a b", true, prompter_));
  EXPECT_TRUE(OpenUrl("http://example.org/quiet", false, prompter_));
  EXPECT_EQ(Opened(), "http://example.org/a b\nhttp://example.org/quiet\n");

  ASSERT_EQ(prompter_.Questions().size(), 2u);
  EXPECT_EQ(prompter_.Questions()[0].text, "Connect to the Internet now?");
  EXPECT_EQ(prompter_.Questions()[0].buttons, Buttons::YesNo);
  EXPECT_TRUE(prompter_.Messages().empty());
}

TEST_F(OpenerTest, FailuresAreShown) {
  const struct {
    const char* opener;
  } openers[] = {{"bad"}, {"missing"}};
  for (const auto& o : openers) {
    SCOPED_TRACE(o.opener);
    SetOpenerProgram(folder_.File(o.opener));
    test::ScriptedPrompter prompter;
    EXPECT_FALSE(OpenUrl("http://example.org/", false, prompter));
    EXPECT_FALSE(LaunchFile("/tmp/report.pdf", prompter));
    ASSERT_EQ(prompter.Messages().size(), 2u);
    EXPECT_EQ(prompter.Messages()[0].text, "Could not start your Internet browser");
    EXPECT_EQ(prompter.Messages()[0].caption, "Launch Error");
    EXPECT_EQ(prompter.Messages()[1].text, "Could not launch /tmp/report.pdf");
    EXPECT_EQ(prompter.Messages()[1].caption, "Launch Error");
  }
}

TEST_F(OpenerTest, ArgumentsReachTheOpenerLiterally) {
  ScopedEnv opener("TIKORA_OPENER", folder_.File("good"));
  const std::string pwned = folder_.File("pwned");
  EXPECT_TRUE(LaunchFile("a b; touch '" + pwned + "' $(id)", prompter_));
  EXPECT_TRUE(LaunchFile("-rf", prompter_));  // never taken for an option
  EXPECT_EQ(Opened(), "a b; touch '" + pwned + "' $(id)\n./-rf\n");
  EXPECT_FALSE(fs::exists(pwned));
}

}  // namespace
}  // namespace tikora
