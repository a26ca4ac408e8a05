// Translation of the programs' fixed English messages.
//
// A language file is an ini file with a section "Messages" whose keys are the English texts and
// whose values are their translations. Every message marked for translation passes through
// TranslateMessage, piece by piece: variable parts (names, numbers, configured terms) are joined
// in after translation and never looked up.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tikora {

// The translation component: names its language file and looks messages up in it.
class TLanguage {
 public:
  // Path of the language file; empty means "no file" (every message stays English).
  std::string LanguageFile;
  // Names of window properties meant for translation ("form.control.property"). Kept with the
  // component; nothing reads them.
  std::vector<std::string> Properties;

  // Separator of Properties entries; setting an empty or blank text sets ",".
  const std::string& Separator() const { return separator_; }
  void SetSeparator(const std::string& separator);

  // Events of the component. Nothing raises them; they exist so that owners can keep handlers.
  std::function<void(TLanguage&)> OnBeforeTranslation;
  std::function<void(TLanguage&)> OnAfterTranslation;
  std::function<void(TLanguage&, std::string&)> OnTranslate;

  // The value of key `message` in section "Messages" of LanguageFile, or `message` itself when
  // the file, the section or the key is missing. The file is read on every call; nothing is
  // cached. Blanks around the message do not take part in the look-up (ini keys cannot hold them);
  // a translation keeps blanks at its ends when the file wraps it in double quotes.
  std::string Translate(const std::string& message) const;

 private:
  std::string separator_ = ",";
};

// The language file of `language` in `folder` (which ends in "/"): folder + language + ".lng".
// Empty text when the language name is empty or holds a "/" (it must name a file in the folder).
std::string LanguageFilePath(const std::string& folder, const std::string& language);

// Sets the process-wide language used by TranslateMessage. Each program calls it once the
// configuration is loaded: the "Language" setting and its language file (LanguageFilePath of the
// program folder). Until then the language is "English".
void SetTranslationLanguage(const std::string& language, const std::string& language_file);
const std::string& TranslationLanguage();
// The process-wide translation component (its LanguageFile is the one given above).
TLanguage& TranslationComponent();

// `message` unchanged when the language is exactly "English" (case matters), else its
// translation from the language file (TLanguage::Translate).
std::string TranslateMessage(const std::string& message);

}  // namespace tikora
