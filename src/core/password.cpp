#include "core/password.h"

#include <sodium.h>

#include <array>
#include <stdexcept>

#include "core/security.h"

namespace tikora {
namespace {

// A hash of a random, forgotten password, made with the current parameters: verifying against it
// costs what verifying a real stored hash costs, and can never succeed.
constexpr const char* kDummyHash =
    "$argon2id$v=19$m=19456,t=2,p=1$ScWWSaQTzUpuwYpFjqpiJw$"
    "ITp3jFpsPvRevrLVnblGqBLk2Rn5+JYyU9jvPArQxXs";

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

using Digest = std::array<unsigned char, crypto_generichash_BYTES>;

Digest DigestOf(std::string_view text) {
  Digest digest{};
  crypto_generichash(digest.data(), digest.size(),
                     reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr, 0);
  return digest;
}

bool VerifyAgainstHash(const char* hash, std::string_view password) {
  return crypto_pwhash_str_verify(hash, password.data(), password.size()) == 0;
}

}  // namespace

void EnsureSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("The cryptography library could not be initialised.");
}

std::string HashPassword(std::string_view plain) {
  EnsureSodium();
  std::array<char, crypto_pwhash_STRBYTES> out{};
  if (crypto_pwhash_str_alg(out.data(), plain.data(), plain.size(), kPasswordOpsLimit,
                            kPasswordMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("Not enough memory to hash a password.");
  }
  return std::string(out.data());
}

bool IsPasswordHash(std::string_view stored) {
  return stored.size() < crypto_pwhash_STRBYTES &&
         (stored.starts_with("$argon2id$") || stored.starts_with("$argon2i$"));
}

std::string TrimPassword(std::string_view typed) {
  while (!typed.empty() && IsBlank(typed.front())) typed.remove_prefix(1);
  while (!typed.empty() && IsBlank(typed.back())) typed.remove_suffix(1);
  return std::string(typed);
}

PasswordCheck VerifyPassword(std::string_view stored, std::string_view typed) {
  EnsureSodium();
  const std::string password = TrimPassword(typed);
  PasswordCheck result;
  if (IsPasswordHash(stored)) {
    const std::string hash(stored);  // the library wants a terminated string
    result.ok = VerifyAgainstHash(hash.c_str(), password);
    if (result.ok &&
        crypto_pwhash_str_needs_rehash(hash.c_str(), kPasswordOpsLimit, kPasswordMemLimit) != 0) {
      result.rehash = HashPassword(password);
    }
    return result;
  }
  // Plain text: compare digests, so that neither the length nor the first differing byte shows
  // in the time taken; then spend one hash either way.
  const Digest stored_digest = DigestOf(stored);
  const Digest typed_digest = DigestOf(password);
  result.ok = sodium_memcmp(stored_digest.data(), typed_digest.data(), stored_digest.size()) == 0;
  if (result.ok) {
    result.rehash = HashPassword(password);
  } else {
    DummyVerify(password);
  }
  return result;
}

void DummyVerify(std::string_view typed) {
  EnsureSodium();
  (void)VerifyAgainstHash(kDummyHash, TrimPassword(typed));
}

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  EnsureSodium();
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string RandomHex(std::size_t bytes) {
  EnsureSodium();
  std::string raw(bytes, '\0');
  randombytes_buf(raw.data(), raw.size());
  std::string hex(bytes * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(raw.data()),
                 raw.size());
  hex.pop_back();  // the terminating zero
  return hex;
}

LoginResult CheckPasswordWith(std::string_view login, std::string_view typed,
                              const LoginLookup& lookup) {
  LoginResult result;
  const std::optional<StoredLogin> row = lookup(login);
  if (!row) {
    DummyVerify(typed);
    return result;
  }
  PasswordCheck check = VerifyPassword(row->password, typed);
  if (!check.ok) return result;
  result.ok = true;
  result.rights = RightsForLogin(row->login_id);
  result.user_id = std::string(login);
  result.rehash = std::move(check.rehash);
  return result;
}

}  // namespace tikora
