// The request cycle: which page a request gets, the log-in, sessions and form tokens.
#include <sys/stat.h>

#include "web/session.h"
#include "web_fixture.h"

namespace tikora::web::test {
namespace {

// The page a response shows: the first word of the bar templates, or "" for an empty body.
std::string PageOf(const Response& response) {
  const std::string& body = response.Body();
  for (const char* page : {"LOGIN|", "MAIN|", "SHEET|"}) {
    const std::size_t at = body.find(page);
    if (at != std::string::npos) return std::string(page, std::string(page).size() - 1);
  }
  return body;
}

class DispatchTest : public WebTest {};

TEST_F(DispatchTest, FirstMatchingRuleChoosesThePage) {
  struct Case {
    const char* name;
    bool logged_in;
    const char* method;
    Fields fields;
    const char* page;
    bool punches;
  };
  const Case cases[] = {
      {"no Page: the login page", true, "GET", {}, "LOGIN", false},
      {"Action bill in any case", true, "GET", {{"Page", "Main"}, {"Action", "BiLL"}}, "MAIN", false},
      {"Action before Page: no punch", true, "POST",
       {{"Page", "Main"}, {"Action", "tsheet"}, {"Account", "ADMIN"}, {"InTime", "09:00"},
        {"TIKDate", "2024-03-06"}},
       "SHEET", false},
      {"Page Main punches", true, "POST",
       {{"Page", "Main"}, {"Account", "ADMIN"}, {"InTime", "09:00"}, {"TIKDate", "2024-03-06"}},
       "MAIN", true},
      {"Page compared exactly: main matches nothing", true, "POST",
       {{"Page", "main"}, {"Account", "ADMIN"}, {"InTime", "09:00"}, {"TIKDate", "2024-03-06"}},
       "", false},
      {"blank values count as absent", true, "GET", {{"Page", "   "}, {"Action", " bill "}},
       "LOGIN", false},
      {"Page Main without a session", false, "POST",
       {{"Page", "Main"}, {"Account", "ADMIN"}, {"InTime", "09:00"}, {"TIKDate", "2024-03-06"}},
       "LOGIN", false},
      {"Action bill without a session", false, "GET", {{"Page", "Main"}, {"Action", "bill"}},
       "LOGIN", false},
      {"Action tsheet without a session", false, "GET", {{"Page", "x"}, {"Action", "tsheet"}},
       "LOGIN", false},
      {"Page TSheet without a session", false, "POST",
       {{"Page", "TSheet"}, {"TSDate", "2024-03-04"}, {"Account0", "ADMIN"}, {"D10", "8"}},
       "LOGIN", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cookie_.clear();
    token_.clear();
    if (c.logged_in) LogIn("alice", "secret");
    const std::size_t before = Entries().size();
    const Response response = c.method == std::string("GET") ? Get(c.fields) : Post(c.fields);
    EXPECT_EQ(PageOf(response), c.page);
    EXPECT_EQ(response.Status(), 200);
    EXPECT_EQ(Entries().size(), before + (c.punches ? 1 : 0));
  }
}

TEST_F(DispatchTest, LogInChecksThePasswordAndStartsASession) {
  struct Case {
    const char* login;
    const char* password;
    const char* action;
    const char* page;  // "" when nothing is written
    bool ok;
  };
  const Case cases[] = {
      {"alice", "secret", "Bill", "MAIN", true},
      {"alice", "secret", "TSHEET", "SHEET", true},
      {"alice", "secret", "", "", true},  // no Action: no rule after the check matches
      {"alice", "  secret ", "bill", "MAIN", true},
      {"alice", "Secret", "bill", "LOGIN", false},
      {"nobody", "secret", "bill", "LOGIN", false},
      {"bob", "", "bill", "MAIN", true},  // an empty password arrives as "0"
      {"bob", "x", "bill", "LOGIN", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.login) + "/" + c.password + "/" + c.action);
    const Response response = LogIn(c.login, c.password, c.action);
    EXPECT_EQ(PageOf(response), c.page);
    const bool message = response.Body().find(
        "Invalid Password<BR><BR><P><A HREF=\"javascript:history.back(-1)\">Back</A> "
        "<A HREF=\"/tikoraweb\">Main</A>") != std::string::npos;
    EXPECT_EQ(message, !c.ok);
    EXPECT_EQ(!cookie_.empty(), c.ok);
    if (c.ok && std::string(c.page) == "MAIN") {
      EXPECT_EQ(Part(response.Body(), "user"), c.login);
    }
  }
}

TEST_F(DispatchTest, LogInStoresUserAndRightsAndReplacesPlainPasswords) {
  {
    engine::Database db(folder_ + "TIKData");
    AddRows(db, "Security.DAT", "LoginID", {"Superuser"});
    engine::Query q(db);
    q.SetSql("UPDATE Security SET Password = 'plain' WHERE LoginID = 'Superuser'");
    q.ExecSQL();
  }
  const struct {
    const char* login;
    const char* password;
    const char* rights;
  } cases[] = {{"Administrator", "adm1n", "A"}, {"Superuser", "plain", "S"}, {"alice", "secret", "U"}};
  SessionStore store(folder_ + "Temp/");
  for (const auto& c : cases) {
    LogIn(c.login, c.password);
    const std::optional<Session> session = store.Load(cookie_);
    ASSERT_TRUE(session.has_value()) << c.login;
    EXPECT_EQ(session->user, c.login);
    EXPECT_EQ(session->rights, c.rights);
  }
  engine::Database db(folder_ + "TIKData");
  engine::Table security(db, "Security.DAT");
  security.Open();
  ASSERT_TRUE(security.FindKey({engine::Value::Text("Superuser")}));
  EXPECT_TRUE(IsPasswordHash(security.FieldValue("Password").AsText()));
  EXPECT_EQ(LogIn("Superuser", "plain").Status(), 200);
  EXPECT_FALSE(cookie_.empty()) << "the stored hash accepts the same password";
}

TEST_F(DispatchTest, LogInByGetIsRefused) {
  const Response response = Send("GET", {{"Page", "Login"}, {"loginid", "alice"},
                                         {"password", "secret"}, {"Action", "bill"}});
  EXPECT_EQ(response.Status(), 405);
  EXPECT_EQ(PageOf(response), "LOGIN");
  EXPECT_FALSE(response.Header("Set-Cookie").has_value());
}

TEST_F(DispatchTest, SessionIsRenewedAtLogInAndEndedAtLogOut) {
  LogIn("alice", "secret");
  const std::string first = cookie_;
  // Logging in again from the same browser gives the session a new id.
  const Response again = Send("POST", {{"Page", "Login"}, {"loginid", "alice"},
                                       {"password", "secret"}, {"Action", "bill"}}, first);
  cookie_ = CookieOf(again);
  token_ = TokenOf(again.Body());
  EXPECT_NE(cookie_, first);
  EXPECT_EQ(PageOf(Send("GET", {{"Page", "Main"}, {"Action", "bill"}}, first)), "LOGIN")
      << "the id of before the log-in is worth nothing";

  struct stat info {};
  ASSERT_EQ(::stat((folder_ + "Temp/sess_" + cookie_).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600);

  // Log-out needs the form token.
  Response refused = Send("POST", {{"Action", "logout"}, {"csrf_token", "0123"}}, cookie_);
  EXPECT_EQ(refused.Status(), 403);
  EXPECT_EQ(PageOf(Get({{"Page", "Main"}, {"Action", "bill"}})), "MAIN");

  const Response out = Post({{"Action", "logout"}});
  EXPECT_EQ(PageOf(out), "LOGIN");
  EXPECT_NE(out.Header("Set-Cookie").value_or("").find("Max-Age=0"), std::string::npos);
  EXPECT_EQ(PageOf(Get({{"Page", "Main"}, {"Action", "bill"}})), "LOGIN");
}

TEST_F(DispatchTest, ARequestRunningAtLogOutDoesNotBringTheSessionBack) {
  LogIn("alice", "secret");
  const std::string file = folder_ + "Temp/sess_" + cookie_;
  ASSERT_TRUE(fs::exists(file));
  // The clock is read while the request runs, after its session was loaded: the log-out of
  // another request lands there.
  WebProgram program([this] {
    SessionStore(folder_ + "Temp/").Destroy(cookie_);
    return now_;
  });
  const Environment env{{"REQUEST_METHOD", "GET"}, {"SCRIPT_NAME", "/tikoraweb"},
                        {"QUERY_STRING", "Page=Main&Action=bill"},
                        {"HTTP_COOKIE", "TIKSESSION=" + cookie_}};
  const Response response = program.ExecRequest(Request::Decode(env, StringBody("")));
  EXPECT_EQ(PageOf(response), "MAIN");
  EXPECT_FALSE(fs::exists(file)) << "the session stays logged out";
  EXPECT_FALSE(response.Header("Set-Cookie").has_value());
}

TEST_F(DispatchTest, WritesNeedPostAndTheSessionToken) {
  LogIn("alice", "secret");
  const Fields punch{{"Page", "Main"}, {"Account", "ADMIN"}, {"InTime", "09:00"},
                     {"TIKDate", "2024-03-06"}};
  const Fields sheet{{"Page", "TSheet"}, {"TSDate", "2024-03-04"}, {"Account0", "ADMIN"},
                     {"D10", "8"}};
  struct Case {
    const char* name;
    const char* method;
    Fields fields;
  };
  Fields punch_with_wrong_token = punch, sheet_with_wrong_token = sheet;
  punch_with_wrong_token.emplace_back("csrf_token", std::string(64, 'a'));
  sheet_with_wrong_token.emplace_back("csrf_token", std::string(64, 'a'));
  Fields punch_by_get = punch;
  punch_by_get.emplace_back("csrf_token", token_);
  const Case cases[] = {{"punch without token", "POST", punch},
                        {"punch with another token", "POST", punch_with_wrong_token},
                        {"punch by GET", "GET", punch_by_get},
                        {"sheet with another token", "POST", sheet_with_wrong_token}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Response response = Send(c.method, c.fields, cookie_);
    EXPECT_EQ(response.Status(), 403);
    EXPECT_EQ(PageOf(response), "MAIN");
    EXPECT_NE(response.Body().find("This form has expired."), std::string::npos);
  }
  EXPECT_TRUE(Entries().empty());
  // A GET of the main page without times writes nothing and needs no token.
  EXPECT_EQ(Send("GET", {{"Page", "Main"}}, cookie_).Status(), 200);
}

TEST_F(DispatchTest, ProblemsStandBeforeAPageWithoutStatusTag) {
  WriteTemplates("<html>login %DATE%</html>", kMainTemplate, kSheetTemplate);
  const Response response = LogIn("alice", "wrong");
  EXPECT_EQ(response.Body(),
            "Invalid Password<BR><BR><P><A HREF=\"javascript:history.back(-1)\">Back</A> "
            "<A HREF=\"/tikoraweb\">Main</A><html>login 2024-03-06</html>");
}

}  // namespace
}  // namespace tikora::web::test
