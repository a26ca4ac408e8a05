#include "core/password.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <map>
#include <set>
#include <string>

namespace tikora {
namespace {

TEST(Password, HashedPasswordChecks) {
  const std::string stored = HashPassword("Secret 1");
  ASSERT_TRUE(IsPasswordHash(stored));
  EXPECT_TRUE(stored.starts_with("$argon2id$v=19$m=19456,t=2,p=1$")) << stored;
  EXPECT_NE(HashPassword("Secret 1"), stored);  // salted

  struct Case {
    const char* typed;
    bool ok;
  };
  const Case cases[] = {
      {"Secret 1", true},  {"  Secret 1\t ", true}, {"secret 1", false},
      {"Secret 1x", false}, {"Secret", false},       {"", false},
  };
  for (const Case& c : cases) {
    const PasswordCheck check = VerifyPassword(stored, c.typed);
    EXPECT_EQ(check.ok, c.ok) << "'" << c.typed << "'";
    EXPECT_FALSE(check.rehash) << "a current hash is kept";
  }
}

TEST(Password, PlainTextIsAcceptedOnceAndHashed) {
  struct Case {
    const char* stored;
    const char* typed;
    bool ok;
  };
  const Case cases[] = {
      {"pass", "pass", true},    {"pass", " pass ", true}, {"pass", "Pass", false},
      {"pass", "pas", false},    {"pass", "passs", false}, {"0", "0", true},
      {"", "0", false},          {" pass", " pass", false},  // stored text is not trimmed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("stored '") + c.stored + "' typed '" + c.typed + "'");
    const PasswordCheck check = VerifyPassword(c.stored, c.typed);
    EXPECT_EQ(check.ok, c.ok);
    ASSERT_EQ(check.rehash.has_value(), c.ok);
    if (!c.ok) continue;
    // The hash handed back replaces the plain text: it accepts the password and is kept.
    const PasswordCheck again = VerifyPassword(*check.rehash, c.typed);
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.rehash);
  }
}

TEST(Password, HashWithOtherParametersIsRenewedOnSuccess) {
  char old_hash[crypto_pwhash_STRBYTES];
  ASSERT_EQ(crypto_pwhash_str_alg(old_hash, "pw", 2, 3, 8u * 1024u * 1024u,
                                  crypto_pwhash_ALG_ARGON2ID13),
            0);
  EXPECT_FALSE(VerifyPassword(old_hash, "PW").rehash);
  const PasswordCheck check = VerifyPassword(old_hash, "pw");
  ASSERT_TRUE(check.ok);
  ASSERT_TRUE(check.rehash);
  EXPECT_TRUE(check.rehash->starts_with("$argon2id$v=19$m=19456,t=2,p=1$"));
}

TEST(Password, LoginCheckThroughLookup) {
  // The lookup ignores case, as a case-insensitive key index would.
  const std::map<std::string, StoredLogin> table = {
      {"administrator", {"Administrator", "adminpw"}},
      {"superuser", {"Superuser", HashPassword("super")}},
      {"jdoe", {"JDoe", "doe"}},
  };
  const LoginLookup lookup = [&](std::string_view login) -> std::optional<StoredLogin> {
    std::string key(login);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto it = table.find(key);
    if (it == table.end()) return std::nullopt;
    return it->second;
  };
  struct Case {
    const char* login;
    const char* typed;
    bool ok;
    const char* rights;
  };
  const Case cases[] = {
      {"Administrator", "adminpw", true, "A"},
      {"administrator", "adminpw", true, "A"},  // rights follow the stored ID
      {"Superuser", " super ", true, "S"},
      {"JDoe", "doe", true, "U"},
      {"JDoe", "DOE", false, ""},
      {"nobody", "doe", false, ""},
      {"", "0", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.login) + " / " + c.typed);
    const LoginResult result = CheckPasswordWith(c.login, c.typed, lookup);
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.rights, c.rights);
    EXPECT_EQ(result.user_id, c.ok ? c.login : "");
  }
  EXPECT_TRUE(CheckPasswordWith("jdoe", "doe", lookup).rehash) << "plain text row";
  EXPECT_FALSE(CheckPasswordWith("superuser", "super", lookup).rehash) << "hashed row";
}

TEST(Password, SmallSecrets) {
  EXPECT_TRUE(ConstantTimeEquals("", ""));
  EXPECT_TRUE(ConstantTimeEquals("abc", "abc"));
  EXPECT_FALSE(ConstantTimeEquals("abc", "abd"));
  EXPECT_FALSE(ConstantTimeEquals("abc", "abcd"));
  EXPECT_FALSE(ConstantTimeEquals("", "a"));

  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const std::string hex = RandomHex(16);
    ASSERT_EQ(hex.size(), 32u);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
    seen.insert(hex);
  }
  EXPECT_EQ(seen.size(), 20u);
}

TEST(Password, TrimRemovesBlanksOnly) {
  EXPECT_EQ(TrimPassword(" \t a b \r\n"), "a b");
  EXPECT_EQ(TrimPassword("   "), "");
  EXPECT_EQ(TrimPassword("x"), "x");
}

}  // namespace
}  // namespace tikora
