// CSV export and import over real tables of a temporary data folder.
#include "admin/csv_transfer.h"

#include <fstream>
#include <sstream>

#include "admin_fixture.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "locale_guard.h"

namespace tikora::admin::test {
namespace {

using engine::FieldType;

class CsvTest : public AdminTest {
 protected:
  engine::Table& Jobs() { return dm_->tblJobs(); }
  void AddJob(const std::string& code, const std::string& description, const std::string& account) {
    Jobs().Append();
    Jobs().SetFieldValue("Job Code", Value::Text(code));
    if (!description.empty()) Jobs().SetFieldValue("Description", Value::Text(description));
    if (!account.empty()) Jobs().SetFieldValue("ChargeAccount", Value::Text(account));
    Jobs().Post();
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = root_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

TEST(FieldTextTest, TextFormsReadBackInTheProcessLocale) {
  struct Case {
    FieldType type;
    Value value;
    std::string c_text;
  };
  const DateTime noon = EncodeDateTime({2024, 2, 29}, {12, 30, 5});
  const Case cases[] = {
      {FieldType::String, Value::Text("plain"), "plain"},
      {FieldType::Boolean, Value::Boolean(true), "True"},
      {FieldType::Boolean, Value::Boolean(false), "False"},
      {FieldType::Integer, Value::Integer(-42), "-42"},
      {FieldType::Currency, Value::Float(1234.5), "1234.5"},
      {FieldType::Float, Value::Float(0.1), "0.1"},
      {FieldType::Date, Value::Date(EncodeDate(2024, 2, 29)), "02/29/2024"},
      {FieldType::Timestamp, Value::Date(noon), "02/29/2024 12:30:05"},
      {FieldType::Timestamp, Value::Date(EncodeDate(2024, 2, 29)), "02/29/2024"},
      {FieldType::String, Value::Null(), ""},
  };
  tikora::test::ScopedLocale c_locale("C.UTF-8");
  ASSERT_TRUE(c_locale.ok());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.c_text);
    EXPECT_EQ(FieldText(c.type, c.value), c.c_text);
    EXPECT_EQ(ParseFieldText(c.type, c.c_text), c.value);
  }
  EXPECT_THROW(ParseFieldText(FieldType::Integer, "12x"), ConversionError);
  EXPECT_THROW(ParseFieldText(FieldType::Boolean, "maybe"), ConversionError);
  EXPECT_THROW(ParseFieldText(FieldType::Date, "2024-13-01"), ConversionError);

  tikora::test::ScopedLocale german("de_DE.UTF-8");
  if (!german.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  EXPECT_EQ(FieldText(FieldType::Currency, Value::Float(1234.5)), "1234,5");
  EXPECT_EQ(FieldText(FieldType::Timestamp, Value::Date(noon)), "29.02.2024 12:30:05");
  EXPECT_EQ(ParseFieldText(FieldType::Currency, "1234,5"), Value::Float(1234.5));
}

TEST_F(CsvTest, ExportWritesQuotedValuesWithCrLfAndReadsBackWithSemicolons) {
  StartDataModule();
  AddJob("A;B", "say \"hi\"\r\nthere", "C");
  AddJob("E", "", "");
  TableCursor cursor(Jobs());
  const std::string path = root_ + "/JobCodes.Csv";
  EXPECT_EQ(ExportCsvFile(cursor, ';', path), 2);
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  EXPECT_EQ(text,
            "\"A;B\";\"say 'hi' there\";\"\";\"C\";\"True\"\r\n"
            "\"E\";\"\";\"\";\"\";\"True\"\r\n");

  // Round trip into an emptied table.
  {
    engine::Query del(dm_->Db());
    del.SetSql("DELETE FROM JobCodes");
    del.ExecSQL();
  }
  Jobs().Refresh();
  CsvImportOutcome r = ImportCsvFile(dm_->Db(), {Jobs().Schema()}, cursor, path, ';');
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.records, 2);
  ASSERT_TRUE(Jobs().Locate("Job Code", {Value::Text("A;B")}));
  EXPECT_EQ(Jobs().FieldValue("Description").AsText(), "say 'hi' there");
  EXPECT_EQ(Jobs().FieldValue("ChargeAccount").AsText(), "C");
  EXPECT_TRUE(Jobs().FieldValue("Rate").IsNull());
}

TEST_F(CsvTest, AnEmptyTableExportsAnEmptyFile) {
  StartDataModule();
  TableCursor cursor(Jobs());
  EXPECT_EQ(ExportCsvText(cursor, ','), "");
}

TEST_F(CsvTest, ImportSkipsBlankLinesAndTakesUnquotedShortLines) {
  StartDataModule();
  TableCursor cursor(Jobs());
  const std::vector<std::string> lines = {"", "A1,B2", "   ", "\t", "\"Z\",\"Zed\",7.5"};
  CsvImportOutcome r = ImportCsvLines(dm_->Db(), {Jobs().Schema()}, cursor, lines, ',');
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.records, 2);
  ASSERT_TRUE(Jobs().Locate("Job Code", {Value::Text("A1")}));
  EXPECT_EQ(Jobs().FieldValue("Description").AsText(), "B2");
  EXPECT_TRUE(Jobs().FieldValue("Rate").IsNull());
  ASSERT_TRUE(Jobs().Locate("Job Code", {Value::Text("Z")}));
  EXPECT_EQ(Jobs().FieldValue("Description").AsText(), "Zed");
}

TEST_F(CsvTest, AnErrorOnTheThirdLineOfTenLeavesNothingAndNamesTheLine) {
  StartDataModule();
  struct Case {
    const char* name;
    std::string bad_line;
  };
  const Case cases[] = {{"not a number", "J3,Third,abc"}, {"duplicate key", "J1,Again"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> lines;
    for (int i = 1; i <= 10; ++i) lines.push_back("J" + std::to_string(i) + ",Line");
    lines.insert(lines.begin(), "");  // a blank first line still counts as line 1
    lines[3] = c.bad_line;
    TableCursor cursor(Jobs());
    CsvImportOutcome r = ImportCsvLines(dm_->Db(), {Jobs().Schema()}, cursor, lines, ',');
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failed_line, 4);
    EXPECT_NE(r.message.find(" at line: 4 " + c.bad_line), std::string::npos) << r.message;
    EXPECT_EQ(Jobs().RecordCount(), 0);
    EXPECT_EQ(CountRows(data_, "JobCodes"), 0);
  }
}

TEST_F(CsvTest, DefaultFileNamesLeaveOutItemsAndReports) {
  EXPECT_EQ(CsvDefaultFileName(0), "Accounts.Csv");
  EXPECT_EQ(CsvDefaultFileName(10), "WorkGroups.Csv");
  EXPECT_EQ(CsvDefaultFileName(13), "Query.Csv");
  EXPECT_EQ(CsvDefaultFileName(8), std::nullopt);
  EXPECT_EQ(CsvDefaultFileName(9), std::nullopt);
  EXPECT_EQ(CsvDefaultFileName(14), std::nullopt);
  EXPECT_EQ(CsvDefaultFileNameOfTable("estimate"), "Estimates.Csv");
  EXPECT_EQ(CsvDefaultFileNameOfTable("Items"), std::nullopt);
  EXPECT_EQ(CsvDefaultFileNameOfTable("Reports"), std::nullopt);
}

TEST_F(CsvTest, AQueryResultTakesNoImport) {
  StartDataModule();
  engine::Query q(dm_->Db());
  q.SetSql("SELECT * FROM JobCodes");
  q.Open();
  QueryCursor cursor(q);
  CsvImportOutcome r = ImportCsvLines(dm_->Db(), {"JobCodes"}, cursor, {"A1,B2"}, ',');
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Cannot import into a Query");
  EXPECT_FALSE(dm_->Db().InTransaction());
}

TEST_F(CsvTest, AMissingImportFileIsNamed) {
  StartDataModule();
  TableCursor cursor(Jobs());
  CsvImportOutcome r =
      ImportCsvFile(dm_->Db(), {Jobs().Schema()}, cursor, root_ + "/none.csv", ',');
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, root_ + "/none.csv does not exist");
}

}  // namespace
}  // namespace tikora::admin::test
