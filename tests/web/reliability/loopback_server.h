// A real installation served by lighttpd on a free loopback port, for the reliability test: the
// built tikoraweb and the page templates copied into a temporary program folder, the server
// configured by scripts/lighttpd-conf.sh as CGI or FastCGI, and a minimal HTTP/1.0 client.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

namespace tikora::web::test {

struct HttpReply {
  int status = 0;
  std::string headers;
  std::string body;

  std::string Cookie() const {
    const std::size_t at = headers.find("TIKSESSION=");
    if (at == std::string::npos) return {};
    return headers.substr(at + 11, headers.find_first_of(";\r", at) - at - 11);
  }
};

inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// One request over a fresh connection; status 0 when the connection failed.
inline HttpReply HttpRequest(int port, const std::string& method, const std::string& path,
                             const std::string& body = {}, const std::string& cookie = {}) {
  HttpReply reply;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return reply;
  }
  std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
  if (!cookie.empty()) request += "Cookie: TIKSESSION=" + cookie + "\r\n";
  if (method == "POST") {
    request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n" + body;
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string response;
  char buffer[8192];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
    response.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  const std::size_t head_end = response.find("\r\n\r\n");
  if (response.size() < 12 || head_end == std::string::npos) return reply;
  reply.status = std::stoi(response.substr(9, 3));
  reply.headers = response.substr(0, head_end);
  reply.body = response.substr(head_end + 4);
  return reply;
}

class LoopbackServer {
 public:
  // `program_folder` holds tikoraweb and TIKFiles/; `run_folder` receives the configuration and
  // the logs. Returns nullopt-like (port 0) when lighttpd or the script is missing.
  LoopbackServer(const std::string& program_folder, const std::string& run_folder, bool fastcgi) {
    port_ = FreeLoopbackPort();
    const std::string script = std::string(TIKORA_SOURCE_DIR) + "/scripts/lighttpd-conf.sh";
    std::string command = "'" + script + "' " + std::to_string(port_) + " '" + program_folder +
                          "' '" + run_folder + "'" + (fastcgi ? " --fastcgi" : "");
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return;
    char line[4096] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    if (::pclose(pipe) != 0 || !got) return;
    std::string conf = line;
    while (!conf.empty() && (conf.back() == '\n' || conf.back() == '\r')) conf.pop_back();

    pid_ = ::fork();
    if (pid_ == 0) {
      ::execlp("lighttpd", "lighttpd", "-D", "-f", conf.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (HttpRequest(port_, "GET", "/static/tikora.css").status != 0) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  ~LoopbackServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool ready() const { return ready_; }
  int port() const { return port_; }

 private:
  int port_ = 0;
  pid_t pid_ = -1;
  bool ready_ = false;
};

}  // namespace tikora::web::test
