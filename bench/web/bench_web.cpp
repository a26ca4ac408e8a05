// Web program benchmarks through lighttpd on a loopback port:
//   1. median time of a main page request (logged in, ROWS time records in the data folder) with
//      tikoraweb as CGI, against a trivial CGI program that prints a fixed page, the two requested
//      in turn;
//   2. requests per second of the main page in FastCGI mode with two client connections.
// Usage: bench_web [ROWS] [--keep] (default 1,000,000 rows). The data folder is built first (about
// a minute per million records) in a temporary folder that is removed at the end; with --keep
// it stays, and its path is printed, for profiling single requests by hand. TIKORA_BENCH_WEB_BINARY
// names another tikoraweb to measure (an older build, for a before-and-after comparison in one
// session).
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/password.h"
#include "engine/database.h"
#include "engine/maintenance.h"
#include "engine/table.h"
#include "web/reliability/loopback_server.h"
#include "web/web_fixture.h"

namespace fs = std::filesystem;
using namespace tikora;
using tikora::web::test::HttpReply;
using tikora::web::test::HttpRequest;
using tikora::web::test::LoopbackServer;
using Clock = std::chrono::steady_clock;

namespace {

void MakeInstallation(const std::string& folder, const std::string& binary) {
  fs::create_directories(folder);
  fs::copy(std::string(TIKORA_SOURCE_DIR) + "/install/TIKFiles", folder + "/TIKFiles",
           fs::copy_options::recursive);
  fs::copy_file(binary, folder + "/tikoraweb");
}

void FillData(const std::string& data, long rows) {
  fs::create_directories(data);
  engine::CreateDataTables(data, engine::Layout::Current);
  engine::Database db(data);
  for (const char* account : {"ADMIN", "WEBSITE"}) {
    engine::Table t(db, "Accounts.DAT");
    t.Open();
    t.Append();
    t.SetFieldValue("Charge Account", engine::Value::Text(account));
    t.Post();
  }
  engine::Table security(db, "Security.DAT");
  security.Open();
  security.Append();
  security.SetFieldValue("LoginID", engine::Value::Text("bench"));
  security.SetFieldValue("Password", engine::Value::Text(HashPassword("bench")));
  security.Post();

  // Records spread over the last ten years for twenty users, eight hours a day.
  db.StartTransaction({"TimeHist"});
  engine::Table hist(db, "TimeHist.DAT");
  hist.Open();
  const double today = Today().days;
  for (long i = 0; i < rows; ++i) {
    const double day = today - 1 - static_cast<double>(i % 3650);
    hist.Append();
    hist.SetFieldValue("User ID", engine::Value::Text("user" + std::to_string(i % 20)));
    hist.SetFieldValue("Account", engine::Value::Text(i % 2 ? "ADMIN" : "WEBSITE"));
    hist.SetFieldValue("Start Time", engine::Value::Date(DateTime(day + 8.0 / 24)));
    hist.SetFieldValue("End Time", engine::Value::Date(DateTime(day + 16.0 / 24)));
    hist.Post();
  }
  db.Commit();
}

// Milliseconds of one GET.
double RequestMs(int port, const std::string& path, const std::string& cookie) {
  const auto start = Clock::now();
  const HttpReply reply = HttpRequest(port, "GET", path, {}, cookie);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (reply.status != 200) std::fprintf(stderr, "status %d on %s\n", reply.status, path.c_str());
  return ms;
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

double MedianMs(int port, const std::string& path, const std::string& cookie, int count) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) times.push_back(RequestMs(port, path, cookie));
  return Median(std::move(times));
}

std::string LogIn(int port) {
  const HttpReply reply =
      HttpRequest(port, "POST", "/tikoraweb",
                  "Page=Login&loginid=bench&password=bench&Action=bill");
  return reply.Cookie();
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const bool keep = argc > 2 && std::string(argv[2]) == "--keep";
  char pattern[] = "/tmp/tikora-bench-web-XXXXXX";
  const std::string root = mkdtemp(pattern);
  const std::string program = root + "/program", trivial = root + "/trivial";
  const char* other_binary = std::getenv("TIKORA_BENCH_WEB_BINARY");
  MakeInstallation(program, other_binary && *other_binary ? other_binary : TIKORA_WEB_BINARY);
  MakeInstallation(trivial, TIKORA_TRIVIAL_CGI);
  const auto fill_start = Clock::now();
  FillData(program + "/TIKData", rows);
  std::printf("data folder with %ld time records built in %.1f s\n", rows,
              std::chrono::duration<double>(Clock::now() - fill_start).count());

  const std::string main_page = "/tikoraweb?Page=Main&Action=bill";
  constexpr int kRequests = 200;
  double cgi_ms = 0, trivial_ms = 0, per_second = 0;
  {
    LoopbackServer server(program, root + "/run-cgi", false);
    LoopbackServer baseline(trivial, root + "/run-trivial", false);
    if (!server.ready() || !baseline.ready()) return std::fprintf(stderr, "lighttpd did not start\n"), 1;
    const std::string cookie = LogIn(server.port());
    MedianMs(server.port(), main_page, cookie, 10);  // warm the page cache
    MedianMs(baseline.port(), main_page, "", 10);
    // Interleaved, so that both programs meet the same load from other work on the machine.
    std::vector<double> cgi_times, trivial_times;
    for (int i = 0; i < kRequests; ++i) {
      cgi_times.push_back(RequestMs(server.port(), main_page, cookie));
      trivial_times.push_back(RequestMs(baseline.port(), main_page, ""));
    }
    cgi_ms = Median(std::move(cgi_times));
    trivial_ms = Median(std::move(trivial_times));
  }
  {
    LoopbackServer server(program, root + "/run-fastcgi", true);
    if (!server.ready()) return std::fprintf(stderr, "lighttpd did not start\n"), 1;
    const std::string cookie = LogIn(server.port());
    MedianMs(server.port(), main_page, cookie, 20);
    std::atomic<long> done{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    const auto start = Clock::now();
    for (int i = 0; i < 2; ++i) {
      clients.emplace_back([&] {
        while (!stop) {
          if (HttpRequest(server.port(), "GET", main_page, {}, cookie).status == 200) ++done;
        }
      });
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));
    stop = true;
    for (auto& client : clients) client.join();
    per_second = static_cast<double>(done) /
                 std::chrono::duration<double>(Clock::now() - start).count();
  }
  std::printf("| main page as CGI, median of %d | %.2f ms | trivial CGI %.2f ms | %.2fx |\n",
              kRequests, cgi_ms, trivial_ms, cgi_ms / trivial_ms);
  std::printf("| main page as FastCGI, 2 connections | %.0f requests/s |\n", per_second);
  if (keep) std::printf("installation kept in %s\n", program.c_str());
  else fs::remove_all(root);
  return 0;
}
