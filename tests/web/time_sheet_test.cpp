// The time sheet page: the week shown, its grid, and saving it.

#include <map>
#include <optional>
#include <regex>

#include "web_fixture.h"

namespace tikora::web::test {
namespace {

class TimeSheetTest : public WebTest {
 protected:
  void SetUp() override {
    WebTest::SetUp();
    LogIn("alice", "secret");
  }
  Response Sheet(const std::string& date) {
    return Get({{"Page", "Main"}, {"Action", "tsheet"}, {"Dte", date}});
  }
  Response Save(const std::string& first_date, Fields cells) {
    cells.emplace_back("Page", "TSheet");
    cells.emplace_back("TSDate", first_date);
    return Post(cells);
  }
  // The value of a grid input, or "<none>" when the input has no value.
  static std::string Cell(const std::string& body, const std::string& name) {
    const std::string key = "name=\"" + name + "\"";
    const std::size_t at = body.find(key);
    if (at == std::string::npos) return "<missing>";
    const std::size_t end = body.find('>', at);
    const std::size_t value = body.find(" value=\"", at);
    if (value == std::string::npos || value > end) return "<none>";
    return body.substr(value + 8, body.find('"', value + 8) - value - 8);
  }
  // The fields a browser posts from a page's grid: each input's value, each list's selected
  // option (else its first; a list without options posts nothing).
  static Fields GridFields(const std::string& body) {
    auto unescape = [](std::string text) {
      for (const auto& [entity, character] : std::vector<std::pair<std::string, std::string>>{
               {"&quot;", "\""}, {"&#39;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
        for (std::size_t at; (at = text.find(entity)) != std::string::npos;)
          text.replace(at, entity.size(), character);
      }
      return text;
    };
    Fields fields;
    static const std::regex control(
        "<SELECT name=\"(\\w+)\">(.*?)</SELECT>|<INPUT[^>]* name=\"(\\w+)\"(?: value=\"([^\"]*)\")?>");
    static const std::regex option("<OPTION( SELECTED)?>([^<]*)</OPTION>");
    for (std::sregex_iterator it(body.begin(), body.end(), control), end; it != end; ++it) {
      const std::smatch& m = *it;
      if (m[3].matched) {
        if (m[3] != "csrf_token") fields.emplace_back(m[3], unescape(m[4]));
        continue;
      }
      const std::string options = m[2];
      std::optional<std::string> chosen;
      for (std::sregex_iterator o(options.begin(), options.end(), option); o != end; ++o) {
        if (!chosen || (*o)[1].matched) chosen = (*o)[2];
        if ((*o)[1].matched) break;
      }
      if (chosen) fields.emplace_back(m[1], unescape(*chosen));
    }
    return fields;
  }
  static void Set(Fields& fields, const std::string& name, const std::string& value) {
    for (auto& field : fields)
      if (field.first == name) field.second = value;
  }
  // Adds a closed whole-day entry with more fields set.
  void AddSheetEntry(const std::string& day, const std::string& end, const std::string& account,
                     const std::string& job_code, const std::string& client,
                     const std::map<std::string, engine::Value>& more = {}) {
    engine::Database db(folder_ + "TIKData");
    engine::Table t(db, "TimeHist.DAT");
    t.Open();
    t.Append();
    t.SetFieldValue("User ID", engine::Value::Text("alice"));
    t.SetFieldValue("Account", engine::Value::Text(account));
    if (!job_code.empty()) t.SetFieldValue("Job_Code", engine::Value::Text(job_code));
    if (!client.empty()) t.SetFieldValue("ClientID", engine::Value::Text(client));
    t.SetFieldValue("Start Time", engine::Value::Date(At(day + " 00:00")));
    t.SetFieldValue("End Time", engine::Value::Date(At(end)));
    for (const auto& [field, value] : more) t.SetFieldValue(field, value);
    t.Post();
  }
  // "ID account/job/client start-end comment" of every entry, in ID order.
  std::vector<std::string> Stored() {
    engine::Database db(folder_ + "TIKData");
    engine::Table t(db, "TimeHist.DAT");
    t.Open();
    std::vector<std::string> lines;
    auto text = [&](const char* field) { return t.FieldValue(field).AsText(); };
    for (t.First(); !t.Eof(); t.Next()) {
      lines.push_back(text("ID") + " " + text("Account") + "/" + text("Job_Code") + "/" +
                      text("ClientID") + " " +
                      FormatIsoTimestamp(t.FieldValue("Start Time").AsDateTime()).substr(5, 11) +
                      "-" + FormatIsoTimestamp(t.FieldValue("End Time").AsDateTime()).substr(11, 5) +
                      (text("Comments").empty() ? "" : " " + text("Comments")));
    }
    return lines;
  }

  std::vector<std::pair<std::string, std::string>> Spans() {
    std::vector<std::pair<std::string, std::string>> spans;
    for (const Entry& e : Entries()) spans.emplace_back(e.start, e.end);
    return spans;
  }
};

TEST_F(TimeSheetTest, SavedRowsComeBackInTheirDayColumns) {
  const Response saved = Save("2020-03-02", {{"Account0", "ADMIN"}, {"JobCode0", "DESIGN"},
                                             {"D10", "8"}, {"D30", "4.5"}, {"Comments0", "a; \"b\""},
                                             {"Account1", "ADMIN"}, {"JobCode1", "PROGRAM"},
                                             {"D21", "2"}, {"D12", "7"}});
  EXPECT_NE(saved.Body().find("MAIN|"), std::string::npos);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"2020-03-02 00:00", "2020-03-02 08:00"},
      {"2020-03-04 00:00", "2020-03-04 04:30"},
      {"2020-03-03 00:00", "2020-03-03 02:00"}};
  EXPECT_EQ(Spans(), expected) << "row 2 has no charge account and is skipped";
  EXPECT_EQ(Entries()[0].comments, "a; \"b\"");

  const Response sheet = Sheet("2020-03-04");  // any day of the week shows the whole week
  const std::string& body = sheet.Body();
  EXPECT_EQ(Part(body, "date"), "2020-03-02");
  EXPECT_NE(body.find("Mo,Tu,We,Th,Fr,Sa,Su"), std::string::npos);
  EXPECT_NE(body.find("<SELECT name=\"Account0\">\t\t\t<OPTION></OPTION>\t\t\t<OPTION SELECTED>ADMIN"),
            std::string::npos);
  EXPECT_NE(body.find("<OPTION SELECTED>PROGRAM</OPTION></SELECT>"), std::string::npos);
  const struct {
    const char* name;
    const char* value;
  } cells[] = {{"D10", "8"},     {"D20", ""},     {"D30", "4.5"},  {"Comments0", "a; &quot;b&quot;"},
               {"D21", "2"},     {"D11", ""},     {"D12", ""},     {"D19", ""},
               {"Comments9", ""}};
  for (const auto& cell : cells) {
    // Hours are written in the locale's decimal notation.
    std::string value = cell.value;
    if (value == "4.5") value = FormatLocaleFloat(4.5);
    EXPECT_EQ(Cell(body, cell.name), value) << cell.name;
  }
}

TEST_F(TimeSheetTest, SavingReplacesTheWeeksEntriesOfTheRow) {
  const Fields row{{"Account0", "ADMIN"}, {"D10", "8"}, {"D20", "6"}};
  Save("2020-03-02", row);
  Save("2020-03-02", row);
  EXPECT_EQ(Entries().size(), 2u) << "posting the pre-filled sheet back stores nothing twice";

  AddEntry("alice", "ADMIN", "2020-03-03 09:00", "2020-03-03 10:00");  // a punched entry
  AddEntry("bob", "ADMIN", "2020-03-03 00:00", "2020-03-03 05:00");    // another user's
  AddEntry("alice", "ADMIN", "2020-03-09 00:00", "2020-03-09 03:00");  // the next week's
  Save("2020-03-02", {{"Account0", "ADMIN"}, {"D10", "7.5"}, {"D20", ""}});
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"2020-03-02 00:00", "2020-03-02 07:30"},  // changed in place
      {"2020-03-03 09:00", "2020-03-03 10:00"},
      {"2020-03-03 00:00", "2020-03-03 05:00"},
      {"2020-03-09 00:00", "2020-03-09 03:00"}};
  EXPECT_EQ(Spans(), expected) << "the cleared cell removed its hours; other entries stay";
}

TEST_F(TimeSheetTest, RowsOfOneGroupAreStoredTogether) {
  Save("2020-03-02", {{"Account0", "ADMIN"}, {"D10", "8"}, {"Comments0", "a"},
                      {"Account1", "ADMIN"}, {"D11", "2"}, {"D21", "4"}, {"Comments1", "b"}});
  const std::vector<std::string> stored = {"1 ADMIN// 03-02 00:00-08:00 a",
                                           "2 ADMIN// 03-02 00:00-02:00 b",
                                           "3 ADMIN// 03-03 00:00-04:00 b"};
  EXPECT_EQ(Stored(), stored) << "the second row keeps the first row's hours";

  // The sheet shows the group once, with the day's entries added up; posted back as shown, it
  // changes nothing.
  const std::string body = Sheet("2020-03-02").Body();
  EXPECT_EQ(Cell(body, "D10"), "10");
  EXPECT_EQ(Cell(body, "D20"), "4");
  EXPECT_EQ(Cell(body, "D11"), "");
  Fields fields = GridFields(body);
  Save("2020-03-02", fields);
  EXPECT_EQ(Stored(), stored);

  // A changed day: its first entry takes the hours and the row's comment, the other goes.
  Set(fields, "D10", "5");
  Save("2020-03-02", fields);
  EXPECT_EQ(Stored(), (std::vector<std::string>{"1 ADMIN// 03-02 00:00-05:00 b",
                                                "3 ADMIN// 03-03 00:00-04:00 b"}));
}

TEST_F(TimeSheetTest, UnchangedEntriesKeepTheirMarksAndLockedOnesStay) {
  using engine::Value;
  struct Case {
    const char* field;  // the mark of the stored entry
    Value value;
    std::map<std::string, std::string> settings;
    const char* posted;  // the Monday cell posted back
    const char* message;  // nullptr: stored
  };
  const Case cases[] = {
      {"Invoice", Value::Text("INV-1"), {}, "8", nullptr},  // unchanged: touched not at all
      {"Invoice", Value::Text("INV-1"), {}, "6", "is locked (invoice INV-1)."},
      {"Invoice", Value::Text("INV-1"), {}, "", "is locked (invoice INV-1)."},
      {"Synch", Value::Boolean(true), {{"AllowSynchEdits", "0"}}, "6", "is locked (synchronised)."},
      {"Printed", Value::Boolean(true), {{"AllowPrintedEdits", "0"}}, "", "is locked (printed)."},
      {"Synch", Value::Boolean(true), {}, "6", nullptr},
      {"Printed", Value::Boolean(true), {}, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.posted);
    Settings(c.settings);
    AddSheetEntry("2020-03-02", "2020-03-02 08:00", "ADMIN", "DESIGN", "",
                  {{c.field, c.value}, {"Item", Value::Text("KM")}, {"Comments", Value::Text("day")}});
    Fields fields = GridFields(Sheet("2020-03-02").Body());
    Set(fields, "D10", c.posted);
    Set(fields, "Account1", "WEBSITE");  // another group
    Set(fields, "D31", "1");
    const std::string body = Save("2020-03-02", fields).Body();

    engine::Database db(folder_ + "TIKData");
    engine::Table t(db, "TimeHist.DAT");
    t.Open();
    t.First();
    if (c.message != nullptr) {
      EXPECT_NE(body.find("This row was not saved: the entry of ADMIN / DESIGN on 2020-03-02 " +
                          std::string(c.message)),
                std::string::npos)
          << body.substr(0, 300);
    } else {
      EXPECT_EQ(body.find("not saved"), std::string::npos);
    }
    const bool stays = c.message != nullptr || std::string(c.posted) == "8";
    const bool removed = c.message == nullptr && std::string(c.posted).empty();
    if (removed) {
      EXPECT_EQ(t.FieldValue("Account").AsText(), "WEBSITE");
    } else {
      EXPECT_EQ(FormatIsoTimestamp(t.FieldValue("End Time").AsDateTime()).substr(11, 5),
                stays ? "08:00" : "06:00");
      EXPECT_EQ(t.FieldValue(c.field), c.value) << "the mark stays";
      EXPECT_EQ(t.FieldValue("Item").AsText(), "KM");
      EXPECT_EQ(t.FieldValue("Comments").AsText(), "day");
    }
    t.Last();
    EXPECT_EQ(t.FieldValue("Account").AsText(), "WEBSITE") << "the other row is stored";
    t.Close();
    Settings({});
    ASSERT_TRUE(ExecOnTimeHist("DELETE FROM TimeHist"));  // an empty history for the next case
  }
}

TEST_F(TimeSheetTest, AnEditedCommentReachesEveryEntryOfTheRow) {
  AddSheetEntry("2020-03-02", "2020-03-02 08:00", "ADMIN", "", "",
                {{"Comments", engine::Value::Text("old")}});
  AddSheetEntry("2020-03-03", "2020-03-03 04:00", "ADMIN", "", "",
                {{"Comments", engine::Value::Text("old")}});
  AddSheetEntry("2020-03-02", "2020-03-02 02:00", "WEBSITE", "", "",
                {{"Comments", engine::Value::Text("keep")}, {"Invoice", engine::Value::Text("INV-9")}});
  const std::vector<std::string> before = Stored();
  Fields fields = GridFields(Sheet("2020-03-02").Body());
  Set(fields, "Comments0", "new words");
  std::string body = Save("2020-03-02", fields).Body();
  EXPECT_EQ(body.find("not saved"), std::string::npos);
  std::vector<std::string> expected = before;  // same entries (IDs), hours and other rows
  for (int i = 0; i < 2; ++i) expected[i].replace(expected[i].rfind("old"), 3, "new words");
  EXPECT_EQ(Stored(), expected);

  // The comment of an invoiced entry is billed as it stands.
  fields = GridFields(Sheet("2020-03-02").Body());
  Set(fields, "Comments1", "changed");
  body = Save("2020-03-02", fields).Body();
  EXPECT_NE(body.find("is locked (invoice INV-9)."), std::string::npos);
  EXPECT_EQ(Stored(), expected);
}

TEST_F(TimeSheetTest, ARowPostsBackTheGroupItShowed) {
  struct Case {
    std::map<std::string, std::string> settings;
    const char* account;
    const char* job_code;
    const char* client;
  };
  const Case cases[] = {
      {{{"JobCodeVis", "0"}}, "ADMIN", "DESIGN", "ACME"},  // lists the page does not show
      {{{"ClientVis", "0"}}, "ADMIN", "DESIGN", "ACME"},
      {{}, "ADMIN", "RETIRED", "ACME"},  // codes no longer in their tables
      {{}, "CLOSED", "", "GONE"},
      {{}, "ADMIN", "design", "acme"},  // stored in another letter case
  };
  auto WithoutIds = [this] {  // IDs are never reused, so later cases get new ones
    std::vector<std::string> lines = Stored();
    for (std::string& line : lines) line = line.substr(line.find(' ') + 1);
    return lines;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.account) + "/" + c.job_code + "/" + c.client);
    Settings(c.settings);
    AddSheetEntry("2020-03-02", "2020-03-02 08:00", c.account, c.job_code, c.client);
    const std::string group = std::string(c.account) + "/" + c.job_code + "/" + c.client;
    Fields fields = GridFields(Sheet("2020-03-02").Body());
    Set(fields, "D20", "1");
    Save("2020-03-02", fields);
    EXPECT_EQ(WithoutIds(), (std::vector<std::string>{group + " 03-02 00:00-08:00",
                                                      group + " 03-03 00:00-01:00"}));

    // A row given another charge account takes its hours along.
    Set(fields, "Account0", "WEBSITE");
    Save("2020-03-02", fields);
    const std::string moved = "WEBSITE/" + std::string(c.job_code) + "/" + c.client;
    EXPECT_EQ(WithoutIds(), (std::vector<std::string>{moved + " 03-02 00:00-08:00",
                                                      moved + " 03-03 00:00-01:00"}));

    fields = GridFields(Sheet("2020-03-02").Body());  // clears the week for the next case
    Set(fields, "D10", "");
    Set(fields, "D20", "");
    Save("2020-03-02", fields);
    EXPECT_TRUE(Entries().empty());
    Settings({});
  }
}

TEST_F(TimeSheetTest, AFailingRowIsRolledBackAndTheOthersStored) {
  // The database refuses rows of one charge account.
  ASSERT_TRUE(ExecOnTimeHist(
      "CREATE TRIGGER refuse BEFORE INSERT ON TimeHist "
      "WHEN NEW.Account = 'WEBSITE' AND NEW.\"Start Time\" LIKE '2020-03-03%' "
      "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END"));
  const Response response = Save("2020-03-02", {{"Account0", "ADMIN"}, {"D10", "1"},
                                                 {"Account1", "WEBSITE"}, {"D11", "2"}, {"D21", "3"},
                                                 {"Account2", "ADMIN"}, {"JobCode2", "DESIGN"},
                                                 {"D32", "4"}});
  // One problem (the engine's message) with its links, for the refused row only.
  const std::string& body = response.Body();
  const std::size_t links = body.find("<P><A HREF=\"javascript:history.back(-1)\">Back</A>");
  ASSERT_NE(links, std::string::npos);
  EXPECT_GT(links, body.find("MAIN|") + 5) << "the message precedes its links";
  EXPECT_EQ(body.find("history.back", links + 40), std::string::npos);
  std::vector<std::string> accounts;
  for (const Entry& e : Entries()) accounts.push_back(e.account + " " + e.start);
  EXPECT_EQ(accounts, (std::vector<std::string>{"ADMIN 2020-03-02 00:00", "ADMIN 2020-03-04 00:00"}));
}

TEST_F(TimeSheetTest, BadCellsStoreNothing) {
  const struct {
    Fields fields;
    const char* field;
  } cases[] = {
      {{{"TSDate", "02.03.2020"}, {"Account0", "ADMIN"}, {"D10", "8"}}, "TSDate"},
      {{{"TSDate", "2020-03-02"}, {"Account0", "ADMIN"}, {"D10", "8"}, {"Account1", "ADMIN"},
        {"JobCode1", "DESIGN"}, {"D21", "eight"}},
       "D21"},
      {{{"TSDate", "2020-03-02"}, {"Account0", "ADMIN"}, {"D70", "-2"}}, "D70"},
      {{{"TSDate", "2020-03-02"}, {"Account0", "ADMIN"}, {"D70", "25"}}, "D70"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    Fields fields = c.fields;
    fields.emplace_back("Page", "TSheet");
    const Response response = Post(fields);
    EXPECT_EQ(response.Status(), 400);
    EXPECT_NE(response.Body().find("The field " + std::string(c.field)), std::string::npos);
    EXPECT_TRUE(Entries().empty());
  }
}

TEST_F(TimeSheetTest, OnlyWeeksWithinTheYears1To9999AreSaved) {
  struct Case {
    const char* day_of_week;
    const char* posted_date;
    const char* cell;
    const char* stored_start;  // nullptr: refused
  };
  const Case cases[] = {
      {"1", "9999-12-26", "D70", "9999-12-26 00:00"},  // Monday 12-20 to Sunday 12-26
      {"1", "9999-12-27", "D10", nullptr},             // its Sunday is 10000-01-02
      {"1", "0001-01-01", "D10", "0001-01-01 00:00"},  // a Monday
      {"0", "0001-01-01", "D20", nullptr},             // the week starts on 0000-12-31
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.posted_date) + " DayOfWeek " + c.day_of_week);
    Settings({{"DayOfWeek", c.day_of_week}});
    const Response response = Save(c.posted_date, {{"Account0", "ADMIN"}, {c.cell, "1"}});
    const std::vector<Entry> entries = Entries();
    if (c.stored_start == nullptr) {
      EXPECT_EQ(response.Status(), 400);
      EXPECT_NE(response.Body().find("The field TSDate holds"), std::string::npos);
      EXPECT_TRUE(entries.empty());
      continue;
    }
    EXPECT_EQ(response.Status(), 200);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].start, c.stored_start);
    Save(c.posted_date, {{"Account0", "ADMIN"}});  // clears the week again
    EXPECT_TRUE(Entries().empty());
  }
}

TEST_F(TimeSheetTest, WeekFollowsDayOfWeek) {
  // 2024-03-10 is a Sunday.
  struct Case {
    const char* day_of_week;
    bool previous_week;
    const char* week_start;
    const char* day_names;
  };
  const Case cases[] = {{"1", false, "2024-03-04", "Mo,Tu,We,Th,Fr,Sa,Su"},
                        {"1", true, "2024-02-26", "Mo,Tu,We,Th,Fr,Sa,Su"},
                        {"0", false, "2024-03-10", "Su,Mo,Tu,We,Th,Fr,Sa"},
                        {"6", false, "2024-03-09", "Sa,Su,Mo,Tu,We,Th,Fr"}};
  now_ = At("2024-03-10 12:00");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.day_of_week) + (c.previous_week ? " previous" : ""));
    Settings({{"DayOfWeek", c.day_of_week}, {"DefaultPrevWeek", c.previous_week ? "1" : "0"}});
    const Response page = Get({{"Page", "Main"}, {"Action", "tsheet"}});
    EXPECT_EQ(Part(page.Body(), "week"), c.week_start);
    EXPECT_EQ(Part(page.Body(), "date"), c.week_start) << "without Dte the sheet shows that week";
    EXPECT_NE(page.Body().find(c.day_names), std::string::npos);
  }
}

TEST_F(TimeSheetTest, EntriesLandOnTheirWeekday) {
  AddEntry("alice", "ADMIN", "2024-03-04 00:00", "2024-03-04 08:00");  // Monday
  AddEntry("alice", "ADMIN", "2024-03-10 00:00", "2024-03-10 02:00");  // Sunday
  struct Case {
    const char* day_of_week;
    const char* date;
    const char* monday_cell;
    const char* sunday_cell;
  };
  const Case cases[] = {{"1", "2024-03-04", "D10", "D70"}, {"0", "2024-03-10", "D20", "D10"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.day_of_week);
    Settings({{"DayOfWeek", c.day_of_week}});
    const std::string body = Sheet(c.date).Body();
    if (std::string(c.day_of_week) == "1") {
      EXPECT_EQ(Cell(body, c.monday_cell), "8");
      EXPECT_EQ(Cell(body, c.sunday_cell), "2");
    } else {  // the week of Sunday 2024-03-10 holds only the Sunday entry
      EXPECT_EQ(Cell(body, c.sunday_cell), "2");
      EXPECT_EQ(Cell(body, c.monday_cell), "");
    }
  }
}

TEST_F(TimeSheetTest, EmptyWeekStartsFromTheDefaultSheet) {
  std::ofstream(folder_ + "DefaultTSheet.csv") << "ADMIN;DESIGN;ACME\r\nWEBSITE;PROGRAM;GLOBEX;9;9\n"
                                                  "ADMIN;;;\n";
  const std::string body = Sheet("2024-03-04").Body();
  const struct {
    const char* name;
    const char* selected;
  } lists[] = {{"Account0", "ADMIN"},   {"JobCode0", "DESIGN"}, {"Client0", "ACME"},
               {"Account1", "WEBSITE"}, {"JobCode1", "PROGRAM"}, {"Client1", "GLOBEX"},
               {"Account2", "ADMIN"}};
  for (const auto& list : lists) {
    const std::size_t at = body.find("name=\"" + std::string(list.name) + "\"");
    ASSERT_NE(at, std::string::npos) << list.name;
    const std::size_t selected = body.find("<OPTION SELECTED>", at);
    EXPECT_EQ(body.substr(selected + 17, std::string(list.selected).size()), list.selected);
    EXPECT_LT(selected, body.find("</SELECT>", at)) << list.name;
  }
  EXPECT_EQ(Cell(body, "D11"), "") << "default rows carry no hours";
  EXPECT_EQ(Cell(body, "D13"), "");
  EXPECT_EQ(Cell(body, "D19"), "") << "padded to ten rows";
  EXPECT_EQ(Cell(body, "D110"), "<missing>");
}

}  // namespace
}  // namespace tikora::web::test
