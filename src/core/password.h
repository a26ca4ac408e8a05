// Web log-in passwords and the small secrets of the web program.
//
// Passwords are stored as argon2id hash strings (libsodium crypto_pwhash_str, 2 passes, 19 MiB).
// Installations of older versions stored them as plain text; such a password is still accepted,
// and a successful log-in hands back its hash so that the caller stores it in place of the text.
//
// Every check costs about one hash computation whatever its outcome (unknown log-in, wrong
// password, plain or hashed row), and secrets are compared in constant time, so neither timing
// nor early exits tell an attacker which log-in IDs exist.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tikora {

inline constexpr unsigned long long kPasswordOpsLimit = 2;
inline constexpr std::size_t kPasswordMemLimit = 19u * 1024u * 1024u;  // bytes

// Initialises libsodium once per process; throws std::runtime_error when it cannot start.
void EnsureSodium();

// The argon2id hash string to store for `plain`. Whoever stores a password (administrator
// program, CSV import, a log-in that upgrades a plain-text password) stores this.
// Throws std::runtime_error when the hash cannot be computed (out of memory).
std::string HashPassword(std::string_view plain);

// True when `stored` is a hash string rather than a plain-text password of an older installation.
bool IsPasswordHash(std::string_view stored);

// `typed` with leading and trailing blanks (and control characters) removed.
std::string TrimPassword(std::string_view typed);

struct PasswordCheck {
  bool ok = false;
  // Set on success when the stored value should be replaced: a plain-text password, or a hash made
  // with other parameters than the current ones.
  std::optional<std::string> rehash;
};

// Checks a typed password (trimmed here; case matters) against a stored value, hashed or plain.
PasswordCheck VerifyPassword(std::string_view stored, std::string_view typed);

// Spends the time of one failed VerifyPassword against a hash; called for unknown log-in IDs.
void DummyVerify(std::string_view typed);

// Constant-time equality of two byte strings (the lengths themselves are not secret).
bool ConstantTimeEquals(std::string_view a, std::string_view b);

// `bytes` random bytes from the system generator, as lower-case hex (2 * bytes characters).
std::string RandomHex(std::size_t bytes);

// ---- The log-in check --------------------------------------------------------------------------

// A row of the log-in table as the check needs it.
struct StoredLogin {
  std::string login_id;  // as stored; decides the rights letter
  std::string password;  // hash string, or plain text from an older installation
};

struct LoginResult {
  bool ok = false;
  std::string rights;   // "A", "S" or "U" on success, empty on failure
  std::string user_id;  // the log-in name as typed, on success
  std::optional<std::string> rehash;  // on success: the hash to store in place of the password
};

using LoginLookup = std::function<std::optional<StoredLogin>(std::string_view login)>;

// Looks `login` up and checks `typed` against the stored password. An unknown log-in fails after
// the same work as a wrong password. On success the rights come from the stored log-in ID
// (exactly "Administrator" gives "A", "Superuser" "S", any other "U").
LoginResult CheckPasswordWith(std::string_view login, std::string_view typed,
                              const LoginLookup& lookup);

}  // namespace tikora
