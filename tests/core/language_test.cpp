#include "core/language.h"

#include <gtest/gtest.h>

#include <string>

#include "core/core_test_support.h"

namespace tikora {
namespace {

using test::TempFolder;
using test::WriteText;

constexpr const char* kFrench =
    "[Messages]\n"
    "Could not access=\"Impossible d'accéder à \"\n"
    "Not all tables could be restored.=Toutes les tables n'ont pas pu être restaurées.\n"
    "[Other]\n"
    "Error:=Erreur :\n";

// Restores the process-wide language after each test.
class TranslationTest : public ::testing::Test {
 protected:
  ~TranslationTest() override { SetTranslationLanguage("English", ""); }
  TempFolder folder_;
};

TEST_F(TranslationTest, ComponentLooksMessagesUpInItsFile) {
  WriteText(folder_.File("French.lng"), kFrench);
  TLanguage language;
  language.LanguageFile = LanguageFilePath(folder_.Slash(), "French");
  const struct {
    const char* message;
    const char* expected;
  } cases[] = {
      {"Not all tables could be restored.", "Toutes les tables n'ont pas pu être restaurées."},
      {"Could not access ", "Impossible d'accéder à "},  // pieces keep their edge blanks
      {"NOT ALL TABLES COULD BE RESTORED.", "Toutes les tables n'ont pas pu être restaurées."},
      {"Error:", "Error:"},  // only section "Messages" counts
      {"Unknown message", "Unknown message"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(language.Translate(c.message), c.expected) << c.message;

  // Read on every call: a changed file shows at once.
  WriteText(folder_.File("French.lng"), "[Messages]\nUnknown message=Message inconnu\n");
  EXPECT_EQ(language.Translate("Unknown message"), "Message inconnu");
}

TEST_F(TranslationTest, MissingFileOrNoFileKeepsEnglish) {
  TLanguage language;
  EXPECT_EQ(language.Translate("Error:"), "Error:");
  language.LanguageFile = folder_.File("Klingon.lng");
  EXPECT_EQ(language.Translate("Error:"), "Error:");
}

TEST_F(TranslationTest, TranslateMessageUsesTheFileOnlyForOtherLanguages) {
  WriteText(folder_.File("English.lng"), "[Messages]\nError:=Overridden\n");
  WriteText(folder_.File("english.lng"), "[Messages]\nError:=Lower case\n");
  WriteText(folder_.File("German.lng"), "[Messages]\nError:=Fehler:\n");
  const struct {
    const char* language;
    const char* expected;
  } cases[] = {
      {"English", "Error:"},       // no file is read, even when one exists
      {"english", "Lower case"},   // the comparison is exact
      {"German", "Fehler:"},
      {"French", "Error:"},        // no file: English
  };
  for (const auto& c : cases) {
    SetTranslationLanguage(c.language, LanguageFilePath(folder_.Slash(), c.language));
    EXPECT_EQ(TranslationLanguage(), c.language);
    EXPECT_EQ(TranslateMessage("Error:"), c.expected) << c.language;
  }
}

TEST(LanguageFilePathTest, NamesAFileInTheFolder) {
  EXPECT_EQ(LanguageFilePath("/opt/tikora/", "French"), "/opt/tikora/French.lng");
  EXPECT_EQ(LanguageFilePath("/opt/tikora/", "../../etc/x"), "");
  EXPECT_EQ(LanguageFilePath("/opt/tikora/", ""), "");
}

TEST(TLanguageTest, BlankSeparatorBecomesComma) {
  TLanguage language;
  const struct {
    const char* set;
    const char* expected;
  } cases[] = {{";", ";"}, {"", ","}, {"  ", ","}, {"\t", ","}, {" | ", " | "}};
  for (const auto& c : cases) {
    language.SetSeparator(c.set);
    EXPECT_EQ(language.Separator(), c.expected) << "[" << c.set << "]";
  }
}

}  // namespace
}  // namespace tikora
