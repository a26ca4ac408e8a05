// Punching in and out, and the values the main page shows.

#include "web_fixture.h"

namespace tikora::web::test {
namespace {

class PunchTest : public WebTest {
 protected:
  void SetUp() override {
    WebTest::SetUp();
    LogIn("alice", "secret");
  }
  bool Shows(const Response& response, const std::string& text) {
    return response.Body().find(text) != std::string::npos;
  }
};

TEST_F(PunchTest, PunchInAndOutWriteOneEntry) {
  const Response in = PunchIn("WEBSITE", "09:00", {{"JobCode", "DESIGN"}, {"Client", "ACME"}});
  EXPECT_EQ(Part(in.Body(), "in"), "09:00");
  EXPECT_EQ(Part(in.Body(), "elapsed"), "01:00:00");  // the clock shows 10:00
  EXPECT_NE(in.Body().find("<OPTION SELECTED>WEBSITE</OPTION>"), std::string::npos);

  const Response out = PunchOut("WEBSITE", "09:00", "09:45",
                                {{"Item", "KM"}, {"Amount", "3"}, {"Comments", "call with client"}});
  EXPECT_EQ(Part(out.Body(), "in"), "");
  EXPECT_EQ(Part(out.Body(), "elapsed"), "00:00:00");
  EXPECT_EQ(Part(out.Body(), "account"), "00:45:00");
  const std::vector<Entry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  const Entry& e = entries[0];
  EXPECT_EQ(e.user, "alice");
  EXPECT_EQ(e.account, "WEBSITE");
  EXPECT_EQ(e.job_code, "DESIGN");
  EXPECT_EQ(e.client, "ACME");
  EXPECT_EQ(e.start, "2024-03-06 09:00");
  EXPECT_EQ(e.end, "2024-03-06 09:45");
  EXPECT_EQ(e.item, "KM");
  EXPECT_EQ(e.num_items, 3);
  EXPECT_EQ(e.comments, "call with client");
}

TEST_F(PunchTest, OpenEntriesPerChargeAccount) {
  PunchIn("ADMIN", "08:00");
  PunchIn("WEBSITE", "08:30");
  EXPECT_EQ(Entries().size(), 2u) << "a punch-in on another account appends";

  // A second punch-in on the same account restarts the open entry while AllowMultPunchIn is on.
  PunchIn("ADMIN", "08:15");
  std::vector<Entry> entries = Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].start, "2024-03-06 08:15");

  Settings({{"AllowMultPunchIn", "0"}});
  const Response refused = PunchIn("ADMIN", "09:00");
  EXPECT_NE(refused.Body().find("Cannot punch in more than once.<P><A HREF="), std::string::npos);
  EXPECT_EQ(Entries()[0].start, "2024-03-06 08:15");

  // A punch-out without an open entry on its account changes nothing.
  PunchOut("GHOST", "08:00", "09:00");
  EXPECT_EQ(Entries(), entries);
}

TEST_F(PunchTest, ForcedJobCodeAndClient) {
  Settings({{"ForceJobCode", "1"}, {"ForceClient", "1"}, {"AccountCodeTerm", "Task"}});
  const Response no_job = PunchIn("ADMIN", "09:00", {{"Client", "ACME"}});
  EXPECT_NE(no_job.Body().find("MAIN|You are missing a Task.<P><A HREF=\"javascript:history.back(-1)\">Back</A> <A HREF=\"/tikoraweb\">Main</A>|"),
            std::string::npos);
  const Response no_client = PunchIn("ADMIN", "09:00", {{"JobCode", "DESIGN"}});
  EXPECT_NE(no_client.Body().find("You are missing a Client."), std::string::npos);
  EXPECT_TRUE(Entries().empty());
  PunchIn("ADMIN", "09:00", {{"JobCode", "DESIGN"}, {"Client", "ACME"}});
  EXPECT_EQ(Entries().size(), 1u);
}

TEST_F(PunchTest, MinimumBillingTimeCountsFromTheStoredStart) {
  struct Case {
    const char* punched_in;  // the clock at punch-in, whose time is posted as InTime
    const char* clock;       // the clock at punch-out
    const char* posted_in;   // InTime posted with the punch-out
    const char* out;
    const char* end;
  };
  const Case cases[] = {
      {"2024-03-06 09:00", "2024-03-06 09:10", "09:00", "09:10", "2024-03-06 09:30"},
      {"2024-03-06 09:00", "2024-03-06 10:00", "09:00", "10:00", "2024-03-06 10:00"},
      // Over midnight: a quarter of an hour, so half an hour from the start, not 24.5 hours.
      {"2024-03-05 23:50", "2024-03-06 00:05", "23:50", "00:05", "2024-03-06 00:20"},
      // A page showing an outdated start does not move the minimum.
      {"2024-03-06 09:00", "2024-03-06 09:10", "09:10", "09:10", "2024-03-06 09:30"},
  };
  Settings({{"MinBill", "0.5"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.punched_in) + " to " + c.clock);
    now_ = At(c.punched_in);
    PunchIn("ADMIN", FormatIsoTimestamp(now_).substr(11, 5));
    now_ = At(c.clock);
    PunchOut("ADMIN", c.posted_in, c.out);
    EXPECT_EQ(Entries().back().start, c.punched_in);
    EXPECT_EQ(Entries().back().end, c.end);
  }
}

TEST_F(PunchTest, RefusedWriteLeavesTheCursorReadyForTheNextPunch) {
  // The database refuses punch-ins on one charge account and punch-outs with one comment.
  ASSERT_TRUE(ExecOnTimeHist(
      "CREATE TRIGGER refuse_in BEFORE INSERT ON TimeHist "
      "WHEN NEW.Account = 'WEBSITE' BEGIN SELECT RAISE(ABORT, 'refused'); END;"
      "CREATE TRIGGER refuse_out BEFORE UPDATE ON TimeHist "
      "WHEN NEW.Comments = 'refuse' BEGIN SELECT RAISE(ABORT, 'refused'); END"));
  // A FastCGI process keeps its cursor: after each refusal the same program must punch again.
  EXPECT_ANY_THROW(PunchIn("WEBSITE", "08:00"));
  PunchIn("ADMIN", "09:00");
  EXPECT_ANY_THROW(PunchOut("ADMIN", "09:00", "09:30", {{"Comments", "refuse"}}));
  PunchOut("ADMIN", "09:00", "09:45", {{"Comments", "done"}});
  const std::vector<Entry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].account, "ADMIN");
  EXPECT_EQ(entries[0].start, "2024-03-06 09:00");
  EXPECT_EQ(entries[0].end, "2024-03-06 09:45");
  EXPECT_EQ(entries[0].comments, "done");
}

TEST_F(PunchTest, APunchInOfAnotherProcessWaitsForTheFirst) {
  Settings({{"AllowMultPunchIn", "0"}});
  // A second program (its own database connection) punches in while the first is about to post.
  WebProgram other([this] { return now_; });
  auto send_to_other = [&](const Fields& fields) {
    const std::string body = FormEncode(fields);
    const Environment env{{"REQUEST_METHOD", "POST"}, {"SCRIPT_NAME", "/tikoraweb"},
                          {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                          {"CONTENT_LENGTH", std::to_string(body.size())},
                          {"HTTP_COOKIE", "TIKSESSION=" + cookie_}};
    return other.ExecRequest(Request::Decode(env, StringBody(body)));
  };
  send_to_other({{"Page", "Main"}, {"Action", "bill"}});  // connects its database
  other.DataModule().Database().SetBusyTimeout(200);
  bool raced = false;
  Program().DataModule().TimeHist().BeforePost = [&](engine::Table&) {
    if (raced) return;
    raced = true;
    try {
      send_to_other({{"Page", "Main"}, {"Account", "ADMIN"}, {"InTime", "09:01"},
                     {"TIKDate", IsoDate(now_)}, {"csrf_token", token_}});
    } catch (const std::exception&) {
      // Locked out until the first punch-in is written: the database is busy.
    }
  };
  PunchIn("ADMIN", "09:00");
  Program().DataModule().TimeHist().BeforePost = nullptr;
  EXPECT_TRUE(raced);
  const std::vector<Entry> entries = Entries();
  ASSERT_EQ(entries.size(), 1u) << "only one open entry per charge account";
  EXPECT_EQ(entries[0].start, "2024-03-06 09:00");
}

TEST_F(PunchTest, EndBeforeStartIsRefused) {
  PunchIn("ADMIN", "09:00");
  const Response response = PunchOut("ADMIN", "09:00", "08:30");
  EXPECT_EQ(response.Status(), 400);
  EXPECT_NE(response.Body().find("The end time lies before the start time."), std::string::npos);
  EXPECT_EQ(Entries()[0].end, "");
  // The entry runs on, and so does its clock: measured to now (10:00), not to the refused end.
  EXPECT_EQ(Part(response.Body(), "in"), "09:00");
  EXPECT_EQ(Part(response.Body(), "elapsed"), "01:00:00");
}

TEST_F(PunchTest, BadInputNamesTheFieldAndWritesNothing) {
  PunchIn("ADMIN", "08:00");
  const std::vector<Entry> before = Entries();
  struct Case {
    Fields fields;
    const char* field;
  };
  const Case cases[] = {
      {{{"Account", "WEBSITE"}, {"InTime", "9h"}, {"TIKDate", "2024-03-06"}}, "InTime"},
      {{{"Account", "WEBSITE"}, {"InTime", "09:00"}, {"TIKDate", ""}}, "TIKDate"},
      {{{"Account", "WEBSITE"}, {"InTime", "09:00"}, {"TIKDate", "2024-02-30"}}, "TIKDate"},
      {{{"Account", ""}, {"InTime", "09:00"}, {"TIKDate", "2024-03-06"}}, "Account"},
      {{{"Account", "ADMIN"}, {"InTime", "08:00"}, {"OutTime", "25:00"}, {"TIKDate", "2024-03-06"}},
       "OutTime"},
      {{{"Account", "ADMIN"}, {"InTime", "08:00"}, {"OutTime", "09:00"}, {"TIKDate", "2024-03-06"},
        {"Amount", "1.5"}},
       "Amount"},
      {{{"Account", "ADMIN"}, {"InTime", "08:00"}, {"OutTime", "09:00"}, {"TIKDate", "2024-03-06"},
        {"Amount", "70000"}},
       "Amount"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    Fields fields = c.fields;
    fields.emplace_back("Page", "Main");
    const Response response = Post(fields);
    EXPECT_EQ(response.Status(), 400);
    EXPECT_NE(response.Body().find("MAIN|The field " + std::string(c.field)), std::string::npos);
    EXPECT_EQ(Entries(), before);
  }
}

TEST_F(PunchTest, ElapsedTimeRunsOverMidnight) {
  now_ = At("2024-03-05 22:00");
  PunchIn("ADMIN", "22:00");
  now_ = At("2024-03-06 02:00");
  const Response page = Get({{"Page", "Main"}, {"Action", "bill"}, {"Account", "ADMIN"}});
  EXPECT_EQ(Part(page.Body(), "in"), "22:00");
  EXPECT_EQ(Part(page.Body(), "elapsed"), "04:00:00");
}

TEST_F(PunchTest, DayTotalsByRights) {
  AddEntry("alice", "ADMIN", "2024-03-06 08:00", "2024-03-06 09:00");
  AddEntry("alice", "WEBSITE", "2024-03-06 09:00", "2024-03-06 09:30");
  AddEntry("bob", "ADMIN", "2024-03-06 10:00", "2024-03-06 12:00");
  AddEntry("alice", "ADMIN", "2024-03-06 12:00", "");                  // open: not counted
  AddEntry("alice", "ADMIN", "2024-03-07 00:00", "2024-03-07 08:00");  // next day's sheet entry
  AddEntry("alice", "ADMIN", "2024-03-05 23:00", "2024-03-06 01:00");  // started the day before
  const struct {
    const char* login;
    const char* password;
    const char* account_total;
    const char* day_total;
  } cases[] = {{"alice", "secret", "01:00:00", "01:30:00"},
               {"Administrator", "adm1n", "03:00:00", "03:30:00"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.login);
    LogIn(c.login, c.password);
    const Response page = Get({{"Page", "Main"}, {"Action", "bill"}, {"Account", "ADMIN"}});
    EXPECT_EQ(Part(page.Body(), "account"), c.account_total);
    EXPECT_EQ(Part(page.Body(), "day"), c.day_total);
  }
}

TEST_F(PunchTest, WorkingDateFieldsFollowAllowDateChange) {
  Response page = Get({{"Page", "Main"}, {"Action", "bill"}, {"Dte", "2024-02-29"}});
  EXPECT_EQ(Part(page.Body(), "date"), "2024-02-29");
  EXPECT_NE(page.Body().find("|<INPUT size=\"10\" value=\"2024-02-29\" name=\"TIKDate\">|"
                             "onclick=\"newWindow();\" href=\"javascript: void 0\"|"),
            std::string::npos);
  Settings({{"AllowDateChange", "0"}});
  page = Get({{"Page", "Main"}, {"Action", "bill"}});
  EXPECT_NE(page.Body().find("|<INPUT type=\"hidden\" size=\"-1\" value=\"2024-03-06\" "
                             "name=\"TIKDate\"> |<B>2024-03-06</B>||"),
            std::string::npos);
  page = Get({{"Page", "Main"}, {"Action", "bill"}, {"Dte", "March"}});
  EXPECT_EQ(page.Status(), 400);
  EXPECT_NE(page.Body().find("The field Dte"), std::string::npos);
}

TEST_F(PunchTest, StoredValuesAreEscaped) {
  {
    engine::Database db(folder_ + "TIKData");
    AddRows(db, "Accounts.DAT", "Charge Account", {"<b>\"R&D\""});
  }
  PunchIn("<b>\"R&D\"", "09:00");
  const Response page = Get({{"Page", "Main"}, {"Action", "bill"}, {"Account", "<b>\"R&D\""},
                             {"Comments", "<script>"}});
  EXPECT_NE(page.Body().find("<OPTION SELECTED>&lt;b&gt;&quot;R&amp;D&quot;</OPTION>"),
            std::string::npos);
  EXPECT_EQ(page.Body().find("<script>"), std::string::npos);
  EXPECT_EQ(Part(page.Body(), "in"), "09:00");
}

}  // namespace
}  // namespace tikora::web::test
