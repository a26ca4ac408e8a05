// A temporary installation (program folder with TIKData/ holding the thirteen tables) with a
// loaded administrator configuration, a scripted prompter and a fixed user and clock.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "admin/backup_timer.h"
#include "admin/commands.h"
#include "admin/data_access.h"
#include "admin/data_module.h"
#include "core/config.h"
#include "core/security.h"
#include "core/system_helpers.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table.h"
#include "scripted_prompter.h"

namespace tikora::admin::test {

namespace fs = std::filesystem;
using engine::Value;

class AdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tikora-admin-XXXXXX";
    root_ = mkdtemp(tmpl);
    program_ = root_ + "/prog/";
    data_ = program_ + "TIKData/";
    fs::create_directories(data_);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    SetProgramFolder(program_);
    engine::CreateDataTables(data_, Layout());
    config_ = std::make_unique<TConfig>(ConfigVariant::Administrator, ConfigServices{}, prompter_);
    ASSERT_TRUE(config_->Load());
    access_ = std::make_unique<TDataAccess>(*config_, prompter_, Environment());
  }
  void TearDown() override {
    dm_.reset();
    access_.reset();
    config_.reset();
    SetProgramFolder("");
    fs::remove_all(root_);
  }

  virtual engine::Layout Layout() const { return engine::Layout::Current; }

  AdminEnvironment Environment() {
    return {[this] { return user_; }, [this] { return now_; }};
  }

  // Creates the data module (the start sequence) with a short wait for locked data.
  TDM& StartDataModule() {
    dm_ = std::make_unique<TDM>(*config_, *access_, secure_, prompter_, timer_, TDMOptions{200, true});
    return *dm_;
  }

  // Appends one time record through `t` and returns its ID.
 public:
  static std::int64_t AddTime(engine::Table& t, const std::string& user, const std::string& account,
                              const std::string& start, const std::string& end = "",
                              const std::string& job = "", const std::string& client = "") {
    t.Append();
    t.SetFieldValue("User ID", Value::Text(user));
    t.SetFieldValue("Account", Value::Text(account));
    if (!job.empty()) t.SetFieldValue("Job_Code", Value::Text(job));
    if (!client.empty()) t.SetFieldValue("ClientID", Value::Text(client));
    t.SetFieldValue("Start Time", Value::Text(start));
    if (!end.empty()) t.SetFieldValue("End Time", Value::Text(end));
    t.Post();
    return t.FieldValue("ID").AsInteger();
  }

  // Appends a row of text (and boolean) fields to `table` of the data folder `dir`.
  static void AddRow(const std::string& dir, const std::string& table,
                     const std::vector<std::pair<std::string, Value>>& fields) {
    engine::Database db(dir);
    engine::Table t(db, table);
    t.Open();
    t.Append();
    for (const auto& [name, value] : fields) t.SetFieldValue(name, value);
    t.Post();
  }

  static std::int64_t CountRows(const std::string& dir, const std::string& table,
                                const std::string& filter = "") {
    engine::Database db(dir);
    engine::Table t(db, table);
    t.Open();
    if (!filter.empty()) {
      t.SetFilter(filter);
      t.SetFiltered(true);
    }
    return t.RecordCount();
  }

  static std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 protected:
  std::string root_, program_, data_;
  std::string user_ = "tester";
  DateTime now_ = EncodeDateTime({2024, 3, 7}, {14, 5, 9});
  tikora::test::ScriptedPrompter prompter_;
  ManualBackupTimer timer_;
  TSecure secure_;
  std::unique_ptr<TConfig> config_;
  std::unique_ptr<TDataAccess> access_;
  std::unique_ptr<TDM> dm_;
};

// A tikoradmin command run in process on the installation in `program_folder`.
struct CommandRun {
  int status;
  std::string out, err;
};
inline CommandRun RunCommandOn(const std::string& program_folder, std::vector<std::string> args) {
  args.push_back("--program-folder");
  args.push_back(program_folder);
  std::ostringstream out, err;
  const int status = RunAdminCommand(args, out, err);
  return {status, out.str(), err.str()};
}

// Runs `body` in a child process; returns its pid.
template <typename F>
pid_t Spawn(F&& body) {
  pid_t pid = fork();
  if (pid == 0) {
    int rc = 1;
    try {
      rc = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child %d: %s\n", getpid(), e.what());
    }
    _exit(rc);
  }
  return pid;
}

inline int WaitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace tikora::admin::test
