#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "engine/errors.h"
#include "engine/query.h"
#include "engine_fixture.h"

namespace tikora::engine::test {
namespace {

using TableTest = DataFolderTest;

std::vector<std::string> Column(Table& t, const std::string& field) {
  std::vector<std::string> out;
  for (t.First(); !t.Eof(); t.Next()) {
    out.push_back(t.FieldValue(field).AsText());
    if (t.RecNo() == t.RecordCount()) break;
  }
  return out;
}

TEST_F(TableTest, AppendedRowsReadBackTypedAndInIndexOrder) {
  Database db(dir_);
  Table t(db, "timehist");  // names are case-insensitive
  t.Open();
  AddTime(t, "bob", "B-ACCT", "2023-01-02 09:00", "2023-01-02 17:30:15.250");
  AddTime(t, "amy", "A-ACCT", "2023-01-01 08:00");
  AddTime(t, "cat", "C-ACCT", "2023-01-03 10:00");
  EXPECT_EQ(t.RecordCount(), 3);

  EXPECT_EQ(Column(t, "ID"), (std::vector<std::string>{"1", "2", "3"}));  // primary order
  t.SetIndexName("Account");
  EXPECT_EQ(Column(t, "User ID"), (std::vector<std::string>{"amy", "bob", "cat"}));
  t.SetIndexName("Start Time");
  t.First();
  EXPECT_EQ(t.FieldValue("Start Time").AsDateTime(), EncodeDateTime({2023, 1, 1}, {8, 0, 0, 0}));
  EXPECT_TRUE(t.FieldValue("End Time").IsNull());
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldValue("User ID").AsText(), "cat");
  t.Prior();
  EXPECT_EQ(t.FieldValue("End Time").AsDateTime(),
            EncodeDateTime({2023, 1, 2}, {17, 30, 15, 250}));
  EXPECT_EQ(t.MoveBy(-5), -1);
  EXPECT_TRUE(t.Bof());
}

TEST_F(TableTest, StoredFormsFollowFieldTypes) {
  Database db(dir_);
  Table t(db, "TimeHist");
  t.Open();
  t.Append();
  t.SetFieldValue("User ID", Value::Text("a-very-long-user-name"));  // cut to 15
  t.SetFieldValue("Account", Value::Text(""));                      // empty is NULL
  t.SetFieldValue("Synch", Value::Boolean(true));
  EXPECT_THROW(t.SetFieldValue("NumItems", Value::Integer(70000)), EngineError);
  EXPECT_THROW(t.SetFieldValue("Start Time", Value::Text("yesterday")), EngineError);
  t.Post();
  EXPECT_EQ(t.FieldValue("User ID").AsText(), "a-very-long-use");
  EXPECT_TRUE(t.FieldValue("Account").IsNull());
  EXPECT_TRUE(t.FieldValue("Synch").AsBoolean());

  Table accounts(db, "Accounts");
  accounts.Open();
  accounts.Append();
  EXPECT_TRUE(accounts.FieldValue("Active").AsBoolean());  // default "True"
  EXPECT_THROW(accounts.Post(), EngineError);              // required key missing
  accounts.SetFieldValue("Charge Account", Value::Text("X1"));
  accounts.SetFieldValue("Rate", Value::Float(12.345678));
  accounts.Post();
  EXPECT_DOUBLE_EQ(accounts.FieldValue("Rate").AsFloat(), 12.3457);
  accounts.Append();
  accounts.SetFieldValue("Charge Account", Value::Text("X1"));
  try {
    accounts.Post();
    FAIL() << "duplicate key accepted";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrKeyViolation);
  }
}

TEST_F(TableTest, FindKeyAndLocate) {
  Database db(dir_);
  Table t(db, "TimeHist");
  t.Open();
  AddTime(t, "amy", "P1", "2023-01-01 08:00", "2023-01-01 09:00");
  std::int64_t open_id = AddTime(t, "amy", "P1", "2023-01-01 10:00");
  AddTime(t, "bob", "P1", "2023-01-01 10:00");
  AddTime(t, "amy", "P2", "2023-01-01 11:00");
  t.SetIndexName("AccountEndTimeUserId");
  // The running record of a user on an account: empty End Time.
  ASSERT_TRUE(t.FindKey({Value::Text("P1"), Value::Null(), Value::Text("amy")}));
  EXPECT_EQ(t.FieldValue("ID").AsInteger(), open_id);
  EXPECT_FALSE(t.FindKey({Value::Text("P3")}));
  EXPECT_EQ(t.FieldValue("ID").AsInteger(), open_id);  // a failed search does not move
  ASSERT_TRUE(t.FindKey({Value::Text("P")}, /*partial=*/true));
  EXPECT_EQ(t.FieldValue("Account").AsText(), "P1");

  EXPECT_TRUE(t.Locate("User ID;Account", {Value::Text("AMY"), Value::Text("p2")},
                       {.case_insensitive = true}));
  EXPECT_EQ(t.FieldValue("Account").AsText(), "P2");
  EXPECT_FALSE(t.Locate("User ID", {Value::Text("AMY")}));
  EXPECT_TRUE(t.Locate("User ID", {Value::Text("bo")}, {.partial = true}));
  EXPECT_EQ(t.FieldValue("User ID").AsText(), "bob");

  Table jobs(db, "JobCodes");  // a case-insensitive primary index
  jobs.Open();
  for (const char* code : {"beta", "Alpha", "gamma"}) {
    jobs.Append();
    jobs.SetFieldValue("Job Code", Value::Text(code));
    jobs.Post();
  }
  EXPECT_EQ(Column(jobs, "Job Code"), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_TRUE(jobs.FindKey({Value::Text("ALPHA")}));
}

// Another connection (as another process would) changes key fields after this cursor read its
// order: the search must find the rows as they are now, also one the view does not hold yet.
TEST_F(TableTest, FindKeyFindsRowsThatAnotherWriterChangedOrAdded) {
  Database db(dir_);
  Table t(db, "TimeHist");
  t.Open();
  for (const char* account : {"A", "B", "C", "D", "E"})
    AddTime(t, "amy", account, "2023-01-02 09:00", "2023-01-02 10:00");
  t.SetIndexName("Account");
  t.First();

  Database other_db(dir_);
  Query other(other_db);
  other.SetSql("UPDATE TimeHist SET Account = 'Z' WHERE Account = 'C'");
  ASSERT_EQ(other.ExecSQL(), 1);
  other.SetSql("INSERT INTO TimeHist ([User ID], Account, [Start Time]) VALUES ('bob', 'F', '2023-01-03 08:00')");
  ASSERT_EQ(other.ExecSQL(), 1);

  struct Case {
    const char* account;
    bool found;
    const char* user;
  };
  const Case cases[] = {
      {"D", true, "amy"},   // unchanged, behind a row whose key moved to the end
      {"Z", true, "amy"},   // the moved row, under its new key
      {"C", false, ""},     // its old key no longer matches
      {"F", true, "bob"},   // added after the order was read
      {"B", true, "amy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    ASSERT_EQ(t.FindKey({Value::Text(c.account)}), c.found);
    if (c.found) {
      EXPECT_EQ(t.FieldValue("Account").AsText(), c.account);
      EXPECT_EQ(t.FieldValue("User ID").AsText(), c.user);
    }
  }
}

// Changes of the filter made while the table is closed decide what the next Open shows.
TEST_F(TableTest, FilterChangedWhileClosedAppliesAtTheNextOpen) {
  Database db(dir_);
  {
    Table t(db, "TimeHist");
    t.Open();
    AddTime(t, "amy", "A", "2023-01-02 09:00", "2023-01-02 10:00");
    AddTime(t, "bob", "B", "2023-01-02 09:00", "2023-01-02 10:00");
    AddTime(t, "cat", "A", "2023-01-02 11:00");
  }
  struct Case {
    const char* what;
    std::function<void(Table&)> while_closed;
    std::int64_t rows;
  };
  const Case cases[] = {
      {"filter emptied", [](Table& t) { t.SetFilter(""); }, 3},
      {"switch cleared", [](Table& t) { t.SetFiltered(false); }, 3},
      {"another filter", [](Table& t) { t.SetFilter("[User ID] = 'bob'"); }, 1},
      {"options changed", [](Table& t) { t.SetFilterOptions({.case_insensitive = true}); t.SetFilter("[User ID] = 'AMY'"); }, 1},
      {"nothing changed", [](Table&) {}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Table t(db, "TimeHist");
    t.SetFilter("[Account] = 'A'");
    t.SetFiltered(true);
    t.Open();
    ASSERT_EQ(t.RecordCount(), 2);
    t.Close();
    c.while_closed(t);
    t.Open();
    EXPECT_EQ(t.RecordCount(), c.rows);
  }
}

TEST_F(TableTest, EditPostDeleteAndEvents) {
  Database db(dir_);
  Table t(db, "TimeHist");
  t.Open();
  AddTime(t, "amy", "P1", "2023-01-01 08:00");
  AddTime(t, "bob", "P1", "2023-01-01 09:00");
  std::vector<std::string> log;
  t.BeforePost = [&](Table&) { log.push_back("before post"); };
  t.AfterDelete = [&](Table&) { log.push_back("after delete"); };
  t.OnFieldChange = [&](Table&, const FieldDef& f, const Value& old_v, const Value& new_v) {
    log.push_back(f.name + ": " + old_v.AsText() + " -> " + new_v.AsText());
    return new_v.AsText() != "forbidden";
  };
  t.First();
  t.Edit();
  t.SetFieldValue("Comments", Value::Text("hello"));
  EXPECT_THROW(t.SetFieldValue("Comments", Value::Text("forbidden")), EngineError);
  EXPECT_EQ(t.FieldValue("Comments").AsText(), "hello");
  t.Post();
  t.Refresh();
  EXPECT_EQ(t.FieldValue("Comments").AsText(), "hello");
  t.Delete();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldValue("User ID").AsText(), "bob");
  EXPECT_EQ(log, (std::vector<std::string>{"Comments:  -> hello", "Comments: hello -> forbidden",
                                           "before post", "after delete"}));
  // Auto-increment values are never reused, even after the highest row is deleted.
  t.Delete();
  EXPECT_EQ(AddTime(t, "cat", "P1", "2023-01-02 08:00"), 3);
}

TEST_F(TableTest, OptimisticEditDetectsAnotherWriterAndRetries) {
  Database db1(dir_), db2(dir_);
  Table a(db1, "TimeHist"), b(db2, "TimeHist");
  a.Open();
  AddTime(a, "amy", "P1", "2023-01-01 08:00");
  b.Open();
  a.First();
  b.First();
  a.Edit();
  b.Edit();
  b.SetFieldValue("Comments", Value::Text("from b"));
  b.Post();
  a.SetFieldValue("Account", Value::Text("P2"));
  try {
    a.Post();
    FAIL() << "lost update";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrRecordChanged);
  }
  int calls = 0;
  a.OnEditError = [&](Table&, const EngineError& e, EditOperation op) {
    ++calls;
    EXPECT_EQ(e.code(), kErrRecordChanged);
    EXPECT_EQ(op, EditOperation::Post);
    return EditErrorAction::RefreshRetry;
  };
  a.Post();  // refreshed: keeps b's comment and a's account
  EXPECT_EQ(calls, 1);
  b.Refresh();
  EXPECT_EQ(b.FieldValue("Comments").AsText(), "from b");
  EXPECT_EQ(b.FieldValue("Account").AsText(), "P2");
}

TEST_F(TableTest, ExclusiveOpenIsRefusedWhileAnyoneHasTheTable) {
  Database db1(dir_), db2(dir_);
  db1.SetBusyTimeout(100);  // a shared open waits this long for an exclusive user to finish
  Table shared(db1, "Accounts"), exclusive(db2, "Accounts");
  shared.Open();
  try {
    exclusive.Open(OpenMode::Exclusive);
    FAIL() << "exclusive open granted";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrAccessDenied);
  }
  shared.Close();
  exclusive.Open(OpenMode::Exclusive);
  EXPECT_THROW(shared.Open(), EngineError);  // and now nobody else gets in
  exclusive.Close();

  // Another process holding the table open blocks the exclusive open just the same.
  int to_child[2], to_parent[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(to_parent), 0);
  pid_t pid = fork();
  if (pid == 0) {
    Database child_db(dir_);
    Table t(child_db, "Accounts");
    t.Open();
    char c = 'o';
    (void)!write(to_parent[1], &c, 1);
    (void)!read(to_child[0], &c, 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(to_parent[0], &c, 1), 1);
  EXPECT_THROW(exclusive.Open(OpenMode::Exclusive), EngineError);
  (void)!write(to_child[1], &c, 1);
  int status = 0;
  waitpid(pid, &status, 0);
  exclusive.Open(OpenMode::Exclusive);
  EXPECT_TRUE(exclusive.Active());
}

TEST_F(TableTest, ReadOnlyOpenRefusesChanges) {
  Database db(dir_);
  Table t(db, "Items");
  t.Open(OpenMode::ReadOnly);
  EXPECT_THROW(t.Append(), EngineError);
}

TEST_F(TableTest, TransactionsCoverNamedTablesAllOrNothing) {
  Database db(dir_);
  Table hist(db, "TimeHist"), arch(db, "Archive"), items(db, "Items");
  hist.Open();
  arch.Open();
  items.Open();
  db.StartTransaction({"TimeHist", "Archive"});
  AddTime(hist, "amy", "P1", "2023-01-01 08:00");
  AddTime(arch, "amy", "P1", "2022-01-01 08:00");
  items.Append();
  items.SetFieldValue("ItemID", Value::Text("I1"));
  EXPECT_THROW(items.Post(), EngineError);  // not part of the transaction
  items.Cancel();
  db.Rollback();
  hist.Refresh();
  arch.Refresh();
  EXPECT_EQ(hist.RecordCount(), 0);
  EXPECT_EQ(arch.RecordCount(), 0);

  db.StartTransaction({"TimeHist", "Archive"});
  AddTime(hist, "amy", "P1", "2023-01-01 08:00");
  AddTime(arch, "amy", "P1", "2022-01-01 08:00");
  db.Commit();
  Database other(dir_);
  Table check(other, "Archive");
  check.Open();
  EXPECT_EQ(check.RecordCount(), 1);
}

TEST_F(TableTest, AttachManagerKeepsAtMostTenFilesAttached) {
  Database db(dir_);
  std::vector<std::unique_ptr<Table>> tables;
  for (const auto& name : DataTableNames()) {
    tables.push_back(std::make_unique<Table>(db, name));
    tables.back()->Open();
    EXPECT_LE(db.AttachedCount(), kMaxAttached);
  }
  for (auto& t : tables) EXPECT_EQ(t->RecordCount(), 0);
  // All thirteen stay open (held by their locks) although not all are attached.
  Table ex(*new Database(dir_), "Users");
  EXPECT_THROW(ex.Open(OpenMode::Exclusive), EngineError);
  delete &ex.database();
}

}  // namespace
}  // namespace tikora::engine::test
