// What the engine keeps between calls (the folder's list of table files, table definitions, a
// cursor's order) must stay true when another connection changes the data folder. A second
// Database on the same folder is another connection, as another process would be.
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "engine/errors.h"
#include "engine/query.h"
#include "engine/table_file.h"
#include "engine_fixture.h"

namespace tikora::engine::test {
namespace {

using FreshnessTest = DataFolderTest;

// Dates the folder's last change an hour back, so that a listing read now counts as settled and
// is reused for as long as the folder stays unchanged.
void SettleFolder(const std::string& dir) {
  struct stat st {};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  timespec times[2] = {st.st_atim, st.st_mtim};
  times[1].tv_sec -= 3600;
  ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
}

TEST_F(FreshnessTest, TableNamesFollowFilesAddedRenamedAndRemovedByOthers) {
  SettleFolder(dir_);
  Database db(dir_);
  EXPECT_FALSE(db.TableExists("Extra"));  // the listing is read and kept

  TableDef def = *CurrentTableDef("Items");
  def.name = "Extra";
  CreateTableFile(dir_ + "/EXTRA.dat", def);
  EXPECT_EQ(db.ResolveTable("extra.DAT"), "EXTRA");

  SettleFolder(dir_);
  EXPECT_TRUE(db.TableExists("Extra"));
  std::filesystem::rename(dir_ + "/EXTRA.dat", dir_ + "/Extra.Dat");
  EXPECT_EQ(db.TableFilePath("extra"), dir_ + "/Extra.Dat");

  SettleFolder(dir_);
  EXPECT_TRUE(db.TableExists("Extra"));
  std::filesystem::remove(dir_ + "/Extra.Dat");
  EXPECT_FALSE(db.TableExists("Extra"));
  try {
    db.TableFilePath("Extra");
    FAIL() << "a removed table was still found";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.code(), kErrFileNotFound);
  }
}

TEST_F(FreshnessTest, RefreshShowsEveryWriterAndKeepsTheViewWhenNothingChanged) {
  Database db(dir_);
  Table t(db, "Accounts");
  t.Open();
  auto add = [](Table& table, const std::string& code) {
    table.Append();
    table.SetFieldValue("Charge Account", Value::Text(code));
    table.Post();
  };
  add(t, "B");
  add(t, "D");
  t.Refresh();
  t.Last();
  ASSERT_EQ(t.FieldValue("Charge Account").AsText(), "D");
  t.Refresh();  // nothing written since: same rows, same record
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldValue("Charge Account").AsText(), "D");

  struct Writer {
    const char* who;
    std::function<void(const std::string& dir, Database& same)> write;
  };
  const Writer writers[] = {
      {"another connection",
       [&](const std::string& dir, Database&) {
         Database other(dir);
         Table o(other, "Accounts");
         o.Open();
         add(o, "A");
       }},
      {"another table object of this connection",
       [&](const std::string&, Database& same) {
         Table o(same, "Accounts");
         o.Open();
         add(o, "C");
       }},
      {"a statement of this connection",
       [](const std::string&, Database& same) {
         Query q(same);
         q.SetSql("INSERT INTO Accounts ([Charge Account]) VALUES ('E')");
         q.ExecSQL();
       }},
      {"a change of a row's value by another connection",
       [](const std::string& dir, Database&) {
         Database other(dir);
         Query q(other);
         q.SetSql("UPDATE Accounts SET [Charge Account] = 'AA' WHERE [Charge Account] = 'A'");
         q.ExecSQL();
       }},
  };
  const std::vector<std::vector<std::string>> expected = {
      {"A", "B", "D"}, {"A", "B", "C", "D"}, {"A", "B", "C", "D", "E"}, {"AA", "B", "C", "D", "E"}};
  for (std::size_t i = 0; i < std::size(writers); ++i) {
    SCOPED_TRACE(writers[i].who);
    writers[i].write(dir_, db);
    t.Refresh();
    std::vector<std::string> codes;
    for (t.First(); !t.Eof(); t.Next()) {
      codes.push_back(t.FieldValue("Charge Account").AsText());
      if (t.RecNo() == t.RecordCount()) break;
    }
    EXPECT_EQ(codes, expected[i]);
  }
}

TEST_F(FreshnessTest, DefinitionsFollowARestructureByAnotherConnection) {
  Database db(dir_);
  {
    Table t(db, "Items");
    t.Open();
    EXPECT_EQ(t.Definition().FindField("Note"), nullptr);
  }  // closed: the file is no longer attached here, so others may restructure it
  {
    Database other(dir_);
    TableDef def = other.Definition("Items");
    def.fields.push_back(FieldDef{static_cast<int>(def.fields.size()) + 1, "Note",
                                  FieldType::String, 20, false, ""});
    Restructure(other, "Items", def);
  }
  Table t(db, "Items");
  t.Open();
  EXPECT_NE(t.Definition().FindField("Note"), nullptr);
  Query q(db);
  q.SetSql("SELECT Note FROM Items");  // the translator sees the new field too
  EXPECT_NO_THROW(q.Open());
}

}  // namespace
}  // namespace tikora::engine::test
