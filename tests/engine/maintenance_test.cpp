#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/errors.h"
#include "engine/table_file.h"
#include "engine_fixture.h"

namespace tikora::engine::test {
namespace {

using MaintenanceTest = DataFolderTest;

void FillTimeHist(const std::string& dir, int rows) {
  Database db(dir);
  Table t(db, "TimeHist");
  t.Open();
  db.StartTransaction({"TimeHist"});
  for (int i = 0; i < rows; ++i) {
    t.Append();
    t.SetFieldValue("User ID", Value::Text("user" + std::to_string(i % 7)));
    t.SetFieldValue("Account", Value::Text("ACCT" + std::to_string(i % 13)));
    t.SetFieldValue("Start Time", Value::Date(FromMilliseconds(3'900'000'000'000 + i * 60'000LL)));
    t.SetFieldValue("Comments", Value::Text(std::string(40, 'x')));
    t.Post();
  }
  db.Commit();
}

TEST_F(MaintenanceTest, RestructureKeepsRowsByFieldNumberAndTheCounter) {
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directory(dir_);
  CreateDataTables(dir_, Layout::Base);
  {
    Database db(dir_);
    Table t(db, "JobCodes");
    t.Open();
    t.Append();
    t.SetFieldValue("Job Code", Value::Text("J1"));
    t.SetFieldValue("Description", Value::Text("Design"));
    t.Post();
  }
  Database db(dir_);
  TableDef def = db.Definition("JobCodes");
  EXPECT_EQ(def.version, (UserVersion{1, 0}));
  def.fields.insert(def.fields.begin() + 2, FieldDef{3, "Active", FieldType::Boolean, 0, false, "True"});
  def.indexes.push_back({"Active", {"Active"}, false, false, false, false, IndexCompression::DupByte});
  def.version = {1, 2};
  Restructure(db, "JobCodes", def);
  Table t(db, "JobCodes");
  t.Open();
  ASSERT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldValue("Description").AsText(), "Design");
  EXPECT_TRUE(t.FieldValue("Active").AsBoolean());  // existing rows take the default
  EXPECT_EQ(t.Definition().version, (UserVersion{1, 2}));
  EXPECT_NE(t.Definition().FindIndex("Active"), nullptr);

  // The auto-increment counter survives: the next ID is not reused after the top row is gone.
  Table hist(db, "TimeHist");
  hist.Open();
  AddTime(hist, "a", "P", "2023-01-01 08:00");
  AddTime(hist, "a", "P", "2023-01-01 09:00");
  hist.Last();
  hist.Delete();
  hist.Close();
  TableDef hdef = db.Definition("TimeHist");
  hdef.fields.push_back(FieldDef{8, "ClientID", FieldType::String, 10, false, ""});
  Restructure(db, "TimeHist", hdef);
  hist.Open();
  EXPECT_EQ(AddTime(hist, "a", "P", "2023-01-01 10:00"), 3);

  // Nobody may have the table open meanwhile.
  try {
    Restructure(db, "TimeHist", hdef);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrAccessDenied);
  }
}

// Overwrites one page of a file with garbage.
void SmashPage(const std::string& path, int page, int page_size = 4096) {
  int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  std::string junk(static_cast<std::size_t>(page_size), '\x5a');
  ASSERT_EQ(pwrite(fd, junk.data(), junk.size(), static_cast<off_t>(page - 1) * page_size),
            static_cast<ssize_t>(junk.size()));
  close(fd);
}

// The page number of the root of a b-tree (table or index) in a table file.
int RootPage(const std::string& path, const std::string& name) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = ?", -1, &s, nullptr);
  sqlite3_bind_text(s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
  int page = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : 0;
  sqlite3_finalize(s);
  sqlite3_close(db);
  return page;
}

// A leaf page of a table's b-tree from the middle of the table.
int MiddleLeafPage(const std::string& path, const std::string& table) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT pageno FROM dbstat WHERE name = ?1 AND pagetype = 'leaf' "
                     "LIMIT 1 OFFSET (SELECT count(*) / 2 FROM dbstat WHERE name = ?1 "
                     "AND pagetype = 'leaf')",
                     -1, &s, nullptr);
  sqlite3_bind_text(s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  int page = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : 0;
  sqlite3_finalize(s);
  sqlite3_close(db);
  return page;
}

TEST_F(MaintenanceTest, OpenTableRepairsADamagedFileKeepingEveryReadableRow) {
  constexpr int kRows = 3000;
  FillTimeHist(dir_, kRows);
  const std::string path = dir_ + "/TimeHist.DAT";
  // First an index page: every row is still readable from the table itself.
  int index_root = RootPage(path, "TimeHist$Start Time");
  ASSERT_GT(index_root, 0);
  SmashPage(path, index_root);
  {
    Database db(dir_);
    EXPECT_FALSE(Verify(db, "TimeHist").ok);
    Table t(db, "TimeHist");
    t.SetIndexName("Start Time");
    OpenTable(t);
    ASSERT_TRUE(t.Active());
    EXPECT_EQ(t.RecordCount(), kRows);
    t.Close();
    EXPECT_TRUE(Verify(db, "TimeHist").ok);
  }
  // Then a data page in the middle of the table: the rows on it are lost, no others.
  SmashPage(path, MiddleLeafPage(path, "TimeHist"));
  Database db(dir_);
  Table t(db, "TimeHist");
  OpenTable(t);
  ASSERT_TRUE(t.Active());
  EXPECT_LT(t.RecordCount(), kRows);
  EXPECT_GT(t.RecordCount(), kRows - 200);  // one leaf page of rows at most
  t.Last();
  EXPECT_EQ(t.FieldValue("ID").AsInteger(), kRows);  // rows after the damage are kept
  t.Close();
  EXPECT_TRUE(Verify(db, "TimeHist").ok);
  EXPECT_TRUE(std::filesystem::exists(path + ".damaged"));
}

TEST_F(MaintenanceTest, OpenTableConvertsAnOlderEngineFormat) {
  FillTimeHist(dir_, 10);
  const std::string path = dir_ + "/Items.DAT";
  {
    // Rewrite Items in the older format: user version kept as one "major.minor" text.
    sqlite3* raw = nullptr;
    sqlite3_open(path.c_str(), &raw);
    sqlite3_exec(raw,
                 "INSERT INTO Items (ItemID, Description) VALUES ('I1', 'Travel');"
                 "DELETE FROM tikora_meta WHERE key LIKE 'version_%';"
                 "INSERT INTO tikora_meta VALUES ('version', '1.0');"
                 "PRAGMA user_version = 1;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(raw);
  }
  Database db(dir_);
  Table t(db, "Items");
  try {
    t.Open();
    FAIL() << "old format opened without conversion";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrOldFormat);
  }
  OpenTable(t);
  ASSERT_TRUE(t.Active());
  EXPECT_EQ(t.FieldValue("Description").AsText(), "Travel");
  EXPECT_EQ(t.Definition().version, (UserVersion{1, 0}));
}

TEST_F(MaintenanceTest, OpenTableLeavesAMissingTableClosed) {
  Database db(dir_);
  Table t(db, "NoSuchTable");
  OpenTable(t);
  EXPECT_FALSE(t.Active());
}

TEST_F(MaintenanceTest, CreatedFilesAreReadableBySqliteAndCarryTheirDefinition) {
  Database db(dir_);
  for (const auto& name : DataTableNames()) {
    SCOPED_TRACE(name);
    EXPECT_EQ(db.Definition(db.ResolveTable(name)), *CurrentTableDef(name));
  }
  EXPECT_EQ(db.ResolveTable("workgrp.dat"), "WorkGrp");
}

}  // namespace
}  // namespace tikora::engine::test
