// Fuzzes the ini reader: any text must parse, and what is written out must parse back with the
// same values (so that saving a settings file never changes what it says).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/ini_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string WithoutBlankLines(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.append(text, start, end - start).push_back('\n');
    start = end + 1;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const tikora::IniDocument document = tikora::IniDocument::FromText(input);
  const tikora::IniDocument reread = tikora::IniDocument::FromText(document.ToText());
  // Saving again changes nothing but, at most, blank lines around the file's opening comment.
  const std::string saved_once = document.ToText();
  const std::string saved_twice = reread.ToText();
  Check(WithoutBlankLines(saved_once) == WithoutBlankLines(saved_twice));

  for (const std::string& section : document.SectionNames()) {
    for (const std::string& key : document.KeyNames(section)) {
      const std::optional<std::string> value = document.Value(section, key);
      Check(value.has_value());
      Check(reread.Value(section, key) == value);
      (void)document.ReadInteger(section, key, 0);
      (void)document.ReadFloat(section, key, 0.0);
    }
  }

  // Writing the input as a value into the document keeps everything else and reads back as
  // written (line breaks become blanks).
  tikora::IniDocument edited = tikora::IniDocument::FromText(input);
  const std::string value(input.substr(0, 200));
  Check(edited.WriteString("Fuzz", "Value", value));
  std::string expected = value;
  for (char& c : expected) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  const tikora::IniDocument edited_reread = tikora::IniDocument::FromText(edited.ToText());
  Check(edited_reread.Value("Fuzz", "Value") == expected);

  (void)tikora::ParseIniInteger(input.substr(0, 64));
  (void)tikora::ParseIniFloat(input.substr(0, 64));
  return 0;
}
