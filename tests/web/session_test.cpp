#include "web/session.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tikora::web {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A session folder "Temp" inside a fresh directory; the store creates the folder itself.
fs::path FreshSessionFolder() {
  return fs::temp_directory_path() /
         ("tikora_sessions_" + std::to_string(std::random_device{}()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name()) /
         "Temp";
}

class SessionTest : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(dir_.parent_path()); }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_ = FreshSessionFolder();
  std::chrono::system_clock::time_point now_{1'700'000'000s};
  SessionStore store_{dir_, [this] { return now_; }};
};

TEST_F(SessionTest, SavedSessionLoadsBackFromAPrivateFile) {
  EXPECT_EQ(fs::status(dir_).permissions() & fs::perms::all, fs::perms::owner_all);
  Session session = store_.Create();
  EXPECT_TRUE(SessionStore::IsValidId(session.id)) << session.id;
  EXPECT_EQ(session.csrf_token.size(), 64u);
  EXPECT_FALSE(session.LoggedIn());
  EXPECT_TRUE(Files().empty()) << "nothing is written before the first save";

  session.user = "J Doe";
  session.rights = "U";
  session.values = {{"LastAcct", "Acme 100%+ \n\"x\"\t\xC3\xA9"}, {"key with blanks", ""}};
  store_.Save(session);
  EXPECT_EQ(Files(), std::vector<std::string>{"sess_" + session.id}) << "no temporary file left";

  struct stat info {};
  ASSERT_EQ(::stat(store_.FileOf(session.id).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const std::optional<Session> loaded = store_.Load(session.id);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->id, session.id);
  EXPECT_EQ(loaded->user, "J Doe");
  EXPECT_EQ(loaded->rights, "U");
  EXPECT_EQ(loaded->csrf_token, session.csrf_token);
  EXPECT_EQ(loaded->values, session.values);
  EXPECT_TRUE(loaded->LoggedIn());
  EXPECT_NE(store_.Create().id, session.id);
}

TEST_F(SessionTest, ExpiresOneHourAfterTheLastSave) {
  Session session = store_.Create();
  store_.Save(session);
  now_ += 59min;
  std::optional<Session> loaded = store_.Load(session.id);
  ASSERT_TRUE(loaded);
  store_.Save(*loaded);  // the request of minute 59 extends the session
  now_ += 59min;
  ASSERT_TRUE(store_.Load(session.id));
  now_ += 1min;
  EXPECT_FALSE(store_.Load(session.id));
  EXPECT_FALSE(fs::exists(store_.FileOf(session.id))) << "an expired session is removed";
}

TEST_F(SessionTest, OnlyWellFormedIdsAreLookedUp) {
  Session session = store_.Create();
  store_.Save(session);
  std::string upper = session.id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string refused[] = {
      "",
      session.id.substr(1),
      session.id + "0",
      upper == session.id ? std::string(32, 'G') : upper,
      "../" + session.id.substr(3),
      std::string(32, 'g'),
      session.id.substr(0, 31) + "\n",
  };
  for (const std::string& id : refused) {
    EXPECT_FALSE(SessionStore::IsValidId(id)) << id;
    EXPECT_FALSE(store_.Load(id)) << id;
  }
  const std::string forged(32, 'a');
  EXPECT_TRUE(SessionStore::IsValidId(forged));
  EXPECT_FALSE(store_.Load(forged)) << "a well-formed id of no session";
  EXPECT_TRUE(store_.Load(session.id));

  // A damaged file is no session.
  std::ofstream(store_.FileOf(forged)) << "TIKSESSION 1\nuser x\n";
  EXPECT_FALSE(store_.Load(forged));
}

TEST_F(SessionTest, ResumeFollowsTheCookieOrStartsAfresh) {
  Session session = store_.Create();
  store_.Save(session);
  const auto with_cookie = [](const std::string& cookie) {
    return Request::Decode({{"HTTP_COOKIE", cookie}}, StringBody(""));
  };
  EXPECT_EQ(store_.Resume(with_cookie("TIKSESSION=" + session.id)).id, session.id);
  for (const std::string& cookie :
       {std::string("TIKSESSION=") + std::string(32, 'b'), std::string("TIKSESSION=../x"),
        std::string("other=") + session.id, std::string()}) {
    const Session fresh = store_.Resume(with_cookie(cookie));
    EXPECT_NE(fresh.id, session.id) << cookie;
    EXPECT_NE(fresh.csrf_token, session.csrf_token) << cookie;
    EXPECT_FALSE(fresh.LoggedIn());
  }
}

TEST_F(SessionTest, LogoutAndRenewal) {
  Session session = store_.Create();
  session.user = "Administrator";
  store_.Save(session);
  const Session before = session;

  store_.Renew(session);  // at log-in
  EXPECT_NE(session.id, before.id);
  EXPECT_NE(session.csrf_token, before.csrf_token);
  EXPECT_FALSE(store_.Load(before.id)) << "the old id is worth nothing";
  store_.Save(session);
  EXPECT_TRUE(store_.Load(session.id));

  store_.Destroy(session.id);  // log-out
  EXPECT_FALSE(store_.Load(session.id));
  EXPECT_TRUE(Files().empty());
  EXPECT_NO_THROW(store_.Destroy("../../etc/passwd"));
}

TEST_F(SessionTest, SweepRemovesExpiredAndDamagedSessionsOnly) {
  Session old_session = store_.Create();
  store_.Save(old_session);
  now_ += 50min;
  Session recent = store_.Create();
  store_.Save(recent);
  const std::string damaged = "sess_" + std::string(32, 'c');
  std::ofstream(dir_ / damaged) << "garbage";
  std::ofstream(dir_ / "sess_notanid") << "garbage";
  std::ofstream(dir_ / "readme.txt") << "not ours";

  EXPECT_EQ(store_.SweepExpired(), 1u) << "the damaged one only; nothing has expired yet";
  now_ += 10min;
  EXPECT_EQ(store_.SweepExpired(), 1u);
  EXPECT_EQ(Files(), (std::vector<std::string>{"readme.txt", "sess_" + recent.id, "sess_notanid"}));
}

TEST(SessionCookie, Attributes) {
  Session session;
  session.id = std::string(32, 'e');
  EXPECT_EQ(SessionCookie(session, false),
            "TIKSESSION=" + session.id + "; Path=/; HttpOnly; SameSite=Strict");
  EXPECT_EQ(SessionCookie(session, true),
            "TIKSESSION=" + session.id + "; Path=/; HttpOnly; SameSite=Strict; Secure");
  EXPECT_EQ(ExpiredSessionCookie(true),
            "TIKSESSION=; Path=/; HttpOnly; SameSite=Strict; Secure; Max-Age=0");
}

TEST(Csrf, PostedTokenMustMatchTheSession) {
  Session session;
  session.csrf_token = "0123456789abcdef";
  struct Case {
    const char* posted;  // nullptr: not posted
    bool ok;
  };
  const Case cases[] = {
      {"0123456789abcdef", true}, {" 0123456789abcdef ", true},  // values are trimmed
      {"0123456789abcdeF", false}, {"0123456789abcde", false},
      {"0123456789abcdef0", false}, {"", false}, {nullptr, false},
  };
  for (const Case& c : cases) {
    Request request;
    if (c.posted) request.AddVariable("CSRF_Token", c.posted);
    EXPECT_EQ(CsrfTokenMatches(session, request), c.ok) << (c.posted ? c.posted : "(none)");
  }
  Session without_token;
  Request request;
  request.AddVariable("csrf_token", "");
  EXPECT_FALSE(CsrfTokenMatches(without_token, request));
}

}  // namespace
}  // namespace tikora::web
