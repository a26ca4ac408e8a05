// The headless data commands on a real data folder.
#include "admin/data_commands.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "admin/commands.h"
#include "admin_fixture.h"

namespace tikora::admin::test {
namespace {

class DataCommandsTest : public AdminTest {
 protected:
  using Run = CommandRun;
  Run Command(std::vector<std::string> args) {
    Run r = RunCommandOn(program_, std::move(args));
    SetProgramFolder(program_);
    return r;
  }
  void Time(const std::string& account, const std::string& start, const std::string& end) {
    engine::Database db(data_);
    engine::Table t(db, "TimeHist");
    t.Open();
    AddTime(t, "ann", account, start, end);
  }
  std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(DataCommandsTest, EveryDataCommandRunsHeadless) {
  Time("ACC", "2023-01-10 09:00:00", "2023-01-10 17:00:00");
  Time("ACC", "2023-01-11 09:00:00", "2023-01-11 10:30:00");
  Time("ACC", "2023-02-01 09:00:00", "2023-02-01 10:00:00");
  const std::string csv = root_ + "/hist.csv";
  const std::string sql = root_ + "/q.sql";
  std::ofstream(sql) << "SELECT [Account], [Job_Code] FROM TimeHist WHERE [Account] = 'ACC'";
  const std::string bad_csv = root_ + "/bad.csv";
  std::ofstream(bad_csv) << "J1,One\r\nJ2,Two,notanumber\r\n";

  struct Step {
    std::vector<std::string> args;
    int status;
    const char* err_has;
    const char* out_has;
  } steps[] = {
      {{"export-csv", "TimeHist", csv}, 0, "3 records written", ""},
      {{"export-csv", "Items", root_ + "/items.csv"}, 1, "not exported", ""},
      {{"export-csv", "Nowhere", csv}, 1, "no table named", ""},
      {{"import-csv", "JobCodes", bad_csv}, 1, " at line: 2 J2,Two,notanumber", ""},
      {{"archive", "--from", "2023-01-01", "--to", "2023-01-31"},
       0,
       "2 records moved to Archive",
       ""},
      {{"unarchive", "--from", "2023-01-11", "--to", "2023-01-12"},
       0,
       "1 records moved to TimeHist",
       ""},
      {{"archive", "--from", "2023-13-01", "--to", "2023-01-31"}, 1, "2023-13-01", ""},
      {{"archive", "--to", "2023-01-31"}, 1, "needs --from", ""},
      {{"sql", sql}, 0, "", "\"ACC\",\"\"\r\n\"ACC\",\"\"\r\n"},
      {{"sql", root_ + "/none.sql"}, 1, "does not exist", ""},
      {{"timesheet-data", "--report", "1", "--from", "2023-01-01", "--to", "2023-02-28"},
       0,
       "",
       "\"ACC\""},
      {{"timesheet-data", "--report", "4", "--from", "2023-01-01", "--to", "2023-02-28"},
       1,
       "--report 1, 2 or 3",
       ""},
      {{"invoice", "--from", "2023-01-01", "--to", "2023-02-28"}, 1, "no invoice", ""},
      {{"invoice", "--from", "2023-01-01", "--to", "2023-02-28", "--number", "INV-7"},
       0,
       "2 time records",
       "INV-7\n"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.args[0] + " " + s.args[1]);
    Run r = Command(s.args);
    EXPECT_EQ(r.status, s.status) << r.err;
    EXPECT_NE(r.err.find(s.err_has), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(s.out_has), std::string::npos) << r.out;
  }
  EXPECT_EQ(Slurp(csv).substr(0, 6), "\"1\",\"a");
  EXPECT_EQ(CountRows(data_, "JobCodes"), 0);
  EXPECT_EQ(CountRows(data_, "Archive"), 1);
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Invoice] = 'INV-7'"), 2);

  // The export carries the record numbers: importing it where a number is taken changes nothing.
  Run again = Command({"import-csv", "Archive", csv});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("Key violation at line: "), std::string::npos) << again.err;
  EXPECT_EQ(CountRows(data_, "Archive"), 1);
}

TEST_F(DataCommandsTest, TheReportCommandRunsACatalogueEntryIntoAFile) {
  fs::copy(fs::path(TIKORA_SOURCE_DIR) / "install" / "TIKReports", program_ + "TIKReports",
           fs::copy_options::recursive);
  for (const auto& [id, title] : {std::pair{1, "Time sheet"}, std::pair{4, "Detail"}}) {
    AddRow(data_, "Reports", {{"ReportID", Value::Integer(id)},
                              {"ReportTitle", Value::Text(title)},
                              {"Visible", Value::Boolean(true)}});
  }
  Time("ACC", "2023-01-10 09:00:00", "2023-01-10 17:00:00");
  Time("OTHER", "2023-01-11 09:00:00", "2023-01-11 10:30:00");
  const std::string csv = root_ + "/detail.csv";
  const std::string pdf = root_ + "/sheet.pdf";
  const std::vector<std::string> period = {"--from", "2023-01-09", "--to", "2023-01-15"};
  auto with_period = [&](std::vector<std::string> args) {
    args.insert(args.begin() + 1, period.begin(), period.end());
    return args;
  };
  struct Step {
    std::vector<std::string> args;
    int status;
    const char* err_has;
  } steps[] = {
      {with_period({"report", "--id", "4", "--account", "ACC", "--format", "CSV", "--out", csv}),
       0, "1 page of \"Detail Time Report for period\" written"},
      {with_period({"report", "--id", "1", "--format", "pdf", "--out", pdf}), 0, "1 page"},
      {with_period({"report", "--id", "5", "--format", "pdf", "--out", pdf}), 1,
       "lists no report with ID 5"},
      {with_period({"report", "--id", "4", "--format", "doc", "--out", csv}), 1, "--format pdf"},
      {with_period({"report", "--id", "4", "--file", "x.frf", "--format", "pdf", "--out", csv}), 1,
       "--id N or --file F"},
      {with_period({"report", "--id", "4x", "--format", "pdf", "--out", csv}), 1, "--id needs"},
      {with_period({"report", "--id", "4", "--format", "pdf"}), 1, "--out FILE"},
      {{"report", "--id", "4", "--from", "2023-02-01", "--to", "2023-01-31", "--format", "pdf",
        "--out", csv},
       1, "--to is before --from"},
      {with_period({"report", "--file", root_ + "/none.frf", "--format", "pdf", "--out", pdf}), 1,
       "Could not find report file: "},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(::testing::PrintToString(s.args));
    Run r = Command(s.args);
    EXPECT_EQ(r.status, s.status) << r.err;
    EXPECT_NE(r.err.find(s.err_has), std::string::npos) << r.err;
  }
  const std::string detail = Slurp(csv);
  EXPECT_NE(detail.find("ACC"), std::string::npos) << detail;
  EXPECT_EQ(detail.find("OTHER"), std::string::npos) << detail;
  EXPECT_EQ(Slurp(pdf).substr(0, 5), "%PDF-");
  // The time sheet marked the week's two records printed.
  EXPECT_EQ(CountRows(data_, "TimeHist", "[Printed] = True"), 2);
}

TEST_F(DataCommandsTest, HelpNamesTheDataCommands) {
  Run r = Command({"--help"});
  for (const auto& name : DataCommandNames())
    EXPECT_NE(r.out.find("  " + name + " "), std::string::npos) << name;
}

}  // namespace
}  // namespace tikora::admin::test
