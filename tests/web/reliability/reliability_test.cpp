// Sixteen users punching in and out at the same time through lighttpd, as CGI and as FastCGI:
// every request answered without error, every entry stored exactly once and well formed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "core/password.h"
#include "core/text_helpers.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table.h"
#include "loopback_server.h"
#include "../web_fixture.h"

namespace tikora::web::test {
namespace {

constexpr int kClients = 16;
constexpr int kCycles = 50;
constexpr const char* kDate = "2024-03-06";

std::string Clock(int minutes) {
  const std::string h = std::to_string(minutes / 60), m = std::to_string(minutes % 60);
  return (h.size() < 2 ? "0" + h : h) + ":" + (m.size() < 2 ? "0" + m : m);
}

class ReliabilityTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (std::system("command -v lighttpd >/dev/null 2>&1") != 0) GTEST_SKIP() << "no lighttpd";
    char pattern[] = "/tmp/tikora-reliability-XXXXXX";
    root_ = mkdtemp(pattern);
    program_ = root_ + "/program";
    fs::create_directories(program_ + "/TIKData");
    fs::copy(std::string(TIKORA_SOURCE_DIR) + "/install/TIKFiles", program_ + "/TIKFiles",
             fs::copy_options::recursive);
    fs::copy_file(TIKORA_WEB_BINARY, program_ + "/tikoraweb");
    engine::CreateDataTables(program_ + "/TIKData", engine::Layout::Current);
    engine::Database db(program_ + "/TIKData");
    engine::Table accounts(db, "Accounts.DAT");
    accounts.Open();
    accounts.Append();
    accounts.SetFieldValue("Charge Account", engine::Value::Text("ADMIN"));
    accounts.Post();
    engine::Table security(db, "Security.DAT");
    security.Open();
    for (int i = 0; i < kClients; ++i) {
      security.Append();
      security.SetFieldValue("LoginID", engine::Value::Text("user" + std::to_string(i)));
      security.SetFieldValue("Password", engine::Value::Text(HashPassword("pw" + std::to_string(i))));
      security.Post();
    }
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  // One user's day: log in, then punch in and out kCycles times. Returns the failures seen.
  static std::vector<std::string> Work(int port, int client) {
    std::vector<std::string> failures;
    const std::string user = "user" + std::to_string(client);
    const HttpReply login = HttpRequest(port, "POST", "/tikoraweb",
                                        FormEncode({{"Page", "Login"}, {"loginid", user},
                                                    {"password", "pw" + std::to_string(client)},
                                                    {"Action", "bill"}}));
    const std::string cookie = login.Cookie();
    const std::string token = FormToken(login.body);
    if (login.status != 200 || cookie.empty() || token.empty()) {
      failures.push_back(user + ": log-in answered " + std::to_string(login.status));
      return failures;
    }
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      const int start = cycle * 20;
      for (const bool out : {false, true}) {
        Fields fields{{"Page", "Main"}, {"Account", "ADMIN"}, {"InTime", Clock(start)},
                      {"OutTime", out ? Clock(start + 10) : ""}, {"TIKDate", kDate},
                      {"csrf_token", token}};
        const HttpReply reply = HttpRequest(port, "POST", "/tikoraweb", FormEncode(fields), cookie);
        if (reply.status != 200 || reply.body.find("history.back") != std::string::npos ||
            reply.body.find("Time clock") == std::string::npos) {
          failures.push_back(user + " cycle " + std::to_string(cycle) + ": status " +
                             std::to_string(reply.status));
        }
      }
    }
    return failures;
  }

  std::string root_, program_;
};

TEST_P(ReliabilityTest, ConcurrentPunchesAreStoredOnceEach) {
  const bool fastcgi = GetParam();
  LoopbackServer server(program_, root_ + "/run", fastcgi);
  ASSERT_TRUE(server.ready()) << "lighttpd did not start";

  std::vector<std::vector<std::string>> failures(kClients);
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i)
    clients.emplace_back([&, i] { failures[static_cast<std::size_t>(i)] = Work(server.port(), i); });
  for (auto& client : clients) client.join();
  for (const auto& list : failures)
    for (const auto& failure : list) ADD_FAILURE() << failure;

  engine::Database db(program_ + "/TIKData");
  engine::Table hist(db, "TimeHist.DAT");
  hist.Open();
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> by_user;
  for (hist.First(); !hist.Eof(); hist.Next()) {
    EXPECT_EQ(hist.FieldValue("Account").AsText(), "ADMIN");
    by_user[hist.FieldValue("User ID").AsText()].emplace_back(
        FormatIsoTimestamp(hist.FieldValue("Start Time").AsDateTime()).substr(0, 16),
        hist.FieldValue("End Time").IsNull()
            ? std::string()
            : FormatIsoTimestamp(hist.FieldValue("End Time").AsDateTime()).substr(0, 16));
  }
  ASSERT_EQ(by_user.size(), static_cast<std::size_t>(kClients));
  for (const auto& [user, entries] : by_user) {
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kCycles)) << user;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      const auto& [start, end] = entries[static_cast<std::size_t>(cycle)];
      EXPECT_EQ(start, std::string(kDate) + " " + Clock(cycle * 20)) << user;
      EXPECT_EQ(end, std::string(kDate) + " " + Clock(cycle * 20 + 10)) << user;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ReliabilityTest, ::testing::Values(false, true),
                         [](const auto& mode) { return mode.param ? "FastCgi" : "Cgi"; });

}  // namespace
}  // namespace tikora::web::test
