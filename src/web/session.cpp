#include "web/session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "core/password.h"

namespace tikora::web {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFilePrefix = "sess_";
constexpr std::string_view kFileHeader = "TIKSESSION 1";
constexpr std::size_t kIdBytes = 16;     // 128 bits
constexpr std::size_t kTokenBytes = 32;  // 256 bits

// Percent-encodes what would break the line format (blanks, controls, '%', '+', non-ASCII).
std::string Encode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 0x7f || c == '%' || c == '+') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string Serialize(const Session& session) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      session.last_access.time_since_epoch())
                      .count();
  std::string text = std::string(kFileHeader) + "\n";
  text += "accessed " + std::to_string(ms) + "\n";
  text += "user " + Encode(session.user) + "\n";
  text += "rights " + Encode(session.rights) + "\n";
  text += "csrf " + Encode(session.csrf_token) + "\n";
  for (const auto& [key, value] : session.values) {
    text += "value " + Encode(key) + " " + Encode(value) + "\n";
  }
  return text;
}

// Reads a session file's text; nullopt when it is not one.
std::optional<Session> Parse(std::string_view id, const std::string& text) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kFileHeader) return std::nullopt;
  Session session;
  session.id = std::string(id);
  bool have_time = false;
  while (std::getline(in, line)) {
    const std::size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (key == "accessed") {
      long long ms = 0;
      const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), ms);
      if (error != std::errc{} || end != rest.data() + rest.size()) return std::nullopt;
      session.last_access = std::chrono::system_clock::time_point(
          std::chrono::duration_cast<std::chrono::system_clock::duration>(
              std::chrono::milliseconds(ms)));
      have_time = true;
    } else if (key == "user") {
      session.user = UrlDecode(rest);
    } else if (key == "rights") {
      session.rights = UrlDecode(rest);
    } else if (key == "csrf") {
      session.csrf_token = UrlDecode(rest);
    } else if (key == "value") {
      const std::size_t sep = rest.find(' ');
      if (sep == std::string::npos) return std::nullopt;
      session.values[UrlDecode(rest.substr(0, sep))] = UrlDecode(rest.substr(sep + 1));
    }
  }
  if (!have_time || session.csrf_token.empty()) return std::nullopt;
  return session;
}

std::optional<std::string> ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` to `path` through a temporary file in the same folder and a rename, so that a
// reader sees the old or the new session, never a part of one. The file is mode 0600. With
// `only_over_existing` nothing is written, and false returned, when `path` is gone just before
// the rename.
bool WriteAtomically(const fs::path& path, const std::string& text, bool only_over_existing) {
  const fs::path temp = path.string() + ".tmp" + RandomHex(4);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    throw std::runtime_error("Cannot create the session file " + temp.string() + ": " +
                             std::strerror(errno));
  }
  bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  std::size_t written = 0;
  while (ok && written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  ok = (::close(fd) == 0) && ok;
  if (ok && only_over_existing && ::access(path.c_str(), F_OK) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp.c_str());
    throw std::runtime_error("Cannot write the session file " + path.string() + ": " + reason);
  }
  return true;
}

bool Expired(const Session& session, std::chrono::system_clock::time_point now) {
  return now >= session.last_access + kSessionLifetime;
}

std::string CookieAttributes(bool https) {
  return std::string("; Path=/; HttpOnly; SameSite=Strict") + (https ? "; Secure" : "");
}

}  // namespace

SessionStore::SessionStore(std::filesystem::path folder, SessionClock clock)
    : folder_(std::move(folder)), clock_(std::move(clock)) {
  std::error_code ec;
  if (!fs::exists(folder_, ec)) {
    fs::create_directories(folder_);
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace);
  }
}

std::chrono::system_clock::time_point SessionStore::Now() const {
  return clock_ ? clock_() : std::chrono::system_clock::now();
}

bool SessionStore::IsValidId(std::string_view id) {
  return id.size() == kIdBytes * 2 &&
         id.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

fs::path SessionStore::FileOf(std::string_view id) const {
  return folder_ / (std::string(kFilePrefix) + std::string(id));
}

Session SessionStore::Create() const {
  Session session;
  session.id = RandomHex(kIdBytes);
  session.csrf_token = RandomHex(kTokenBytes);
  session.last_access = Now();
  return session;
}

std::optional<Session> SessionStore::Load(std::string_view id) const {
  if (!IsValidId(id)) return std::nullopt;
  const fs::path path = FileOf(id);
  const std::optional<std::string> text = ReadWhole(path);
  if (!text) return std::nullopt;
  std::optional<Session> session = Parse(id, *text);
  if (!session) return std::nullopt;
  if (Expired(*session, Now())) {
    std::error_code ec;
    fs::remove(path, ec);
    return std::nullopt;
  }
  session->stored = true;
  return session;
}

Session SessionStore::Resume(const Request& request) const {
  if (const std::optional<std::string> id = request.Cookie(kSessionCookieName)) {
    if (std::optional<Session> session = Load(*id)) return *std::move(session);
  }
  return Create();
}

bool SessionStore::Save(Session& session) const {
  if (!IsValidId(session.id)) throw std::runtime_error("Invalid session id");
  session.last_access = Now();
  if (!WriteAtomically(FileOf(session.id), Serialize(session), session.stored)) return false;
  session.stored = true;
  return true;
}

void SessionStore::Renew(Session& session) const {
  Destroy(session.id);
  session.id = RandomHex(kIdBytes);
  session.csrf_token = RandomHex(kTokenBytes);
  session.stored = false;
}

void SessionStore::Destroy(std::string_view id) const {
  if (!IsValidId(id)) return;
  std::error_code ec;
  fs::remove(FileOf(id), ec);
}

std::size_t SessionStore::SweepExpired() const {
  const auto now = Now();
  std::vector<fs::path> doomed;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(kFilePrefix)) continue;
    const std::string id = name.substr(kFilePrefix.size());
    if (!IsValidId(id)) continue;  // temporary files of a save in progress, foreign files
    const std::optional<std::string> text = ReadWhole(entry.path());
    if (!text) continue;
    const std::optional<Session> session = Parse(id, *text);
    if (!session || Expired(*session, now)) doomed.push_back(entry.path());
  }
  std::size_t removed = 0;
  for (const fs::path& path : doomed) removed += fs::remove(path, ec) ? 1 : 0;
  return removed;
}

std::string SessionCookie(const Session& session, bool https) {
  return std::string(kSessionCookieName) + "=" + session.id + CookieAttributes(https);
}

std::string ExpiredSessionCookie(bool https) {
  return std::string(kSessionCookieName) + "=" + CookieAttributes(https) + "; Max-Age=0";
}

bool CsrfTokenMatches(const Session& session, const Request& request) {
  const std::string posted = request.RequestValue(kCsrfFieldName);
  return !session.csrf_token.empty() && ConstantTimeEquals(posted, session.csrf_token);
}

}  // namespace tikora::web
