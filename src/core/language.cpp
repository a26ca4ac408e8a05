#include "core/language.h"

#include "core/ini_file.h"

namespace tikora {
namespace {

struct TranslationState {
  std::string language = "English";
  TLanguage component;
};

TranslationState& State() {
  static TranslationState state;
  return state;
}

bool IsBlankText(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

}  // namespace

void TLanguage::SetSeparator(const std::string& separator) {
  separator_ = IsBlankText(separator) ? std::string(",") : separator;
}

std::string TLanguage::Translate(const std::string& message) const {
  if (LanguageFile.empty()) return message;
  return IniFile(LanguageFile).ReadString("Messages", message, message);
}

std::string LanguageFilePath(const std::string& folder, const std::string& language) {
  if (language.empty() || language.find('/') != std::string::npos) return {};
  return folder + language + ".lng";
}

void SetTranslationLanguage(const std::string& language, const std::string& language_file) {
  State().language = language;
  State().component.LanguageFile = language_file;
}

const std::string& TranslationLanguage() { return State().language; }

TLanguage& TranslationComponent() { return State().component; }

std::string TranslateMessage(const std::string& message) {
  if (State().language == "English") return message;
  return State().component.Translate(message);
}

}  // namespace tikora
