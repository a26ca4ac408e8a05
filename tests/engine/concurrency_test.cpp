// Several processes on one data folder: writers at once, a crash in the middle of a transaction
// over two files, a lock held past the busy timeout.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>
#include <set>

#include <gtest/gtest.h>

#include "engine/errors.h"
#include "engine_fixture.h"

namespace tikora::engine::test {
namespace {

using ConcurrencyTest = DataFolderTest;

// Runs `body` in a child process; returns its exit status (0 = success).
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

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::multiset<std::string> Comments(const std::string& dir, const std::string& table) {
  Database db(dir);
  Table t(db, table);
  t.Open();
  std::multiset<std::string> out;
  for (t.First(); !t.Eof(); t.Next()) out.insert(t.FieldValue("Comments").AsText());
  return out;
}

TEST_F(ConcurrencyTest, SixteenWritersAtOnceGetNoBusyError) {
  constexpr int kProcs = 16, kRows = 40;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcs; ++p) {
    pids.push_back(Spawn([&, p] {
      Database db(dir_);
      Table t(db, "TimeHist");
      t.Open();
      for (int i = 0; i < kRows; ++i) {
        t.Append();
        t.SetFieldValue("User ID", Value::Text("p" + std::to_string(p)));
        t.SetFieldValue("Start Time", Value::Text("2023-01-01 08:00"));
        t.SetFieldValue("Comments", Value::Text(std::to_string(p) + "/" + std::to_string(i)));
        t.Post();
      }
      return 0;
    }));
  }
  for (pid_t pid : pids) EXPECT_EQ(Wait(pid), 0);
  auto rows = Comments(dir_, "TimeHist");
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(kProcs * kRows));
  EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()).size(), rows.size());
}

TEST_F(ConcurrencyTest, AKilledTransactionOverTwoFilesIsWhollyThereOrWhollyAbsent) {
  std::mt19937 rng(20261211);
  constexpr int kTrials = 150;
  for (int trial = 0; trial < kTrials; ++trial) {
    pid_t pid = Spawn([&]() -> int {
      Database db(dir_);
      Table hist(db, "TimeHist"), arch(db, "Archive");
      hist.Open();
      arch.Open();
      for (int k = 0;; ++k) {
        std::string tag = std::to_string(getpid()) + "-" + std::to_string(k);
        db.StartTransaction({"TimeHist", "Archive"});
        for (Table* t : {&hist, &arch}) {
          t->Append();
          t->SetFieldValue("Comments", Value::Text(tag));
          t->SetFieldValue("Start Time", Value::Text("2023-01-01 08:00"));
          t->Post();
        }
        db.Commit();
      }
    });
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(5000, 120000)(rng)));
    kill(pid, SIGKILL);
    Wait(pid);
  }
  Database db(dir_);
  EXPECT_TRUE(Verify(db, "TimeHist").ok);
  EXPECT_TRUE(Verify(db, "Archive").ok);
  auto hist = Comments(dir_, "TimeHist");
  auto arch = Comments(dir_, "Archive");
  EXPECT_GT(hist.size(), 0u);
  EXPECT_EQ(hist, arch);
}

TEST_F(ConcurrencyTest, AWriteBlockedPastTheTimeoutFailsAsLockedAndReadersCarryOn) {
  Database seed(dir_);
  {
    Table t(seed, "TimeHist");
    t.Open();
    AddTime(t, "amy", "P1", "2023-01-01 08:00");
  }
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t pid = Spawn([&] {
    Database db(dir_);
    Table t(db, "TimeHist");
    t.Open();
    db.StartTransaction({"TimeHist"});  // holds the write lock
    t.First();
    t.Edit();
    t.SetFieldValue("Comments", Value::Text("held"));
    t.Post();
    char c = 'r';
    (void)!write(ready[1], &c, 1);
    (void)!read(done[0], &c, 1);
    db.Rollback();
    return 0;
  });
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  Database db(dir_);
  db.SetBusyTimeout(200);
  Table t(db, "TimeHist");
  t.Open();  // a reader is not blocked by a pending write
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_TRUE(t.FieldValue("Comments").IsNull());
  t.Edit();
  t.SetFieldValue("Comments", Value::Text("mine"));
  try {
    t.Post();
    FAIL() << "write went through a held lock";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrRecordLocked);
  }
  (void)!write(done[1], &c, 1);
  EXPECT_EQ(Wait(pid), 0);
  t.Post();  // the lock is gone: the same post succeeds now
  t.Refresh();
  EXPECT_EQ(t.FieldValue("Comments").AsText(), "mine");
}

}  // namespace
}  // namespace tikora::engine::test
