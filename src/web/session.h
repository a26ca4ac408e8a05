// File-based sessions of the web program.
//
// A session is named by a random 128-bit id (32 lower-case hex characters) that travels in an
// HttpOnly, SameSite=Strict cookie, Secure under HTTPS. It holds the logged-in user, the rights
// letter, the request token that every posted form must carry back, and a few named values. Each
// session is one file "sess_<id>" in the session folder (the program folder's Temp/), readable by
// the owner only and replaced atomically on every save. A session expires one hour after its last
// save; an expired session is never loaded again and its file is removed.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "web/request.h"

namespace tikora::web {

inline constexpr std::string_view kSessionCookieName = "TIKSESSION";
// The form field that carries the session's request token.
inline constexpr std::string_view kCsrfFieldName = "csrf_token";
inline constexpr std::chrono::seconds kSessionLifetime{3600};

using SessionClock = std::function<std::chrono::system_clock::time_point()>;

struct Session {
  std::string id;
  std::string user;    // the log-in name; empty while nobody has logged in
  std::string rights;  // the rights letter of `user`
  std::string csrf_token;
  std::map<std::string, std::string> values;
  std::chrono::system_clock::time_point last_access{};
  // Whether the session has a file: loaded from one, or saved. False for a new or renewed one.
  bool stored = false;

  bool LoggedIn() const { return !user.empty(); }
};

class SessionStore {
 public:
  // `folder` is created (mode 0700) when missing. `clock` defaults to the system clock.
  explicit SessionStore(std::filesystem::path folder, SessionClock clock = {});

  // True for exactly 32 lower-case hex characters; anything else is never looked up.
  static bool IsValidId(std::string_view id);

  // A new, empty session with a fresh id and token; it exists on disk after the first Save.
  Session Create() const;

  // The session of that id; nullopt when the id is malformed, no such session exists, its file
  // cannot be read, or it has expired (its file is then removed).
  std::optional<Session> Load(std::string_view id) const;

  // The session named by the request's cookie, or a new one.
  Session Resume(const Request& request) const;

  // Stores the session with its last access set to now and returns true. A stored session whose
  // file has been removed meanwhile (a log-out by another request) is not written again and
  // false is returned: a request still running at the log-out must not bring the session back.
  // Throws std::runtime_error on failure.
  bool Save(Session& session) const;

  // Gives the session a fresh id and token and removes the file of the old id (call it when the
  // user logs in, so that an id known before the log-in is worth nothing after it).
  void Renew(Session& session) const;

  // Removes the session's file (log-out). A malformed or unknown id is ignored.
  void Destroy(std::string_view id) const;

  // Removes the files of expired or unreadable sessions; returns how many were removed.
  std::size_t SweepExpired() const;

  std::filesystem::path FileOf(std::string_view id) const;

 private:
  std::chrono::system_clock::time_point Now() const;

  std::filesystem::path folder_;
  SessionClock clock_;
};

// The Set-Cookie value that hands the session's id to the browser, and the one that deletes it.
std::string SessionCookie(const Session& session, bool https);
std::string ExpiredSessionCookie(bool https);

// Whether the request carries the session's request token in the form field kCsrfFieldName;
// compared in constant time.
bool CsrfTokenMatches(const Session& session, const Request& request);

}  // namespace tikora::web
