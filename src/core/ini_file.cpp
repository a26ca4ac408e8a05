#include "core/ini_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <system_error>
#include <filesystem>

#include "core/system_helpers.h"

// The parser is instantiated here, in this one translation unit, with plain char text (the files
// are UTF-8 or ASCII and are passed through unchanged).
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace tikora {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsIniBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimIniBlanks(std::string_view text) {
  while (!text.empty() && IsIniBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

bool HasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A section name as looked up: surrounding blanks do not count.
std::string SectionName(std::string_view section) { return std::string(TrimIniBlanks(section)); }
std::string KeyName(std::string_view key) { return std::string(TrimIniBlanks(key)); }

// Names that a file can hold and give back unchanged.
bool IsStorableSection(const std::string& section) {
  return !section.empty() && !HasLineBreakOrNul(section) && section.find(']') == std::string::npos;
}

bool IsStorableKey(const std::string& key) {
  return !key.empty() && !HasLineBreakOrNul(key) && key.find('=') == std::string::npos &&
         key.front() != ';' && key.front() != '#' && key.front() != '[' &&
         !key.starts_with(kByteOrderMark);
}

// The stored form of a value: one line, and wrapped in quotes when reading would otherwise
// change it (surrounding blanks would be trimmed, surrounding quotes removed).
std::string EncodeValue(std::string_view value) {
  std::string line(value);
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; },
                  ' ');
  const bool edge_blank = !line.empty() && (IsIniBlank(line.front()) || IsIniBlank(line.back()));
  const bool quoted = line.size() >= 2 && line.front() == '"' && line.back() == '"';
  return edge_blank || quoted ? "\"" + line + "\"" : line;
}

std::string DecodeValue(std::string_view stored) {
  if (stored.size() >= 2 && stored.front() == '"' && stored.back() == '"') {
    stored = stored.substr(1, stored.size() - 2);
  }
  return std::string(stored);
}

std::string_view WithoutLeadingBlanksAndMarks(std::string_view line) {
  while (true) {
    if (!line.empty() && IsIniBlank(line.front())) {
      line.remove_prefix(1);
    } else if (line.starts_with(kByteOrderMark)) {
      line.remove_prefix(kByteOrderMark.size());
    } else {
      return line;
    }
  }
}

bool IsCommentLine(std::string_view line) {
  return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// A line the parser would ignore: not blank, not a comment, neither a closed section header nor
// a key with a name.
bool IsIgnoredLine(std::string_view line) {
  if (line.empty() || IsCommentLine(line)) return false;
  if (line.front() == '[') return line.find(']') == std::string_view::npos;
  const std::size_t equals = line.find('=');
  return equals == std::string_view::npos || equals == 0;
}

// The text as the parser should see it, one kind of line per line:
// - a NUL byte would end the parser's text early and lose the rest of the file on the next save,
//   so it becomes a blank;
// - line ends become "\n" (a lone "\r" counts as a line end, as the parser takes it);
// - leading blanks go, and with them any byte-order mark among them: written back at the start of
//   a file a mark would be taken for the file's own and vanish from the key;
// - lines that mean nothing (no "=", an empty key name, a section header that is not closed)
//   become comments. The parser would drop them together with the comments in front of them,
//   and an unclosed header would even pull the following lines into a section name.
std::string NormalizedText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(i, end - i));
    std::replace(line.begin(), line.end(), '\0', ' ');
    line = std::string(WithoutLeadingBlanksAndMarks(line));
    if (IsIgnoredLine(TrimIniBlanks(line))) line = ";" + line;
    out += line;
    if (end < text.size()) {
      out += '\n';
      end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
    }
    i = end;
  }
  return out;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Comment lines of a normalized text that the parser would not keep: those after the last
// section or key (it keeps a comment only in front of one), apart from the file's opening
// comment block, which it keeps on its own. They are carried separately and written at the end.
std::string TrailingComments(std::string_view normalized) {
  const std::vector<std::string_view> lines = SplitLines(normalized);
  std::size_t first = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty() && !IsCommentLine(lines[i])) first = i + 1;  // a section or key
  }
  if (first == 0) {
    while (first < lines.size() && IsCommentLine(lines[first])) ++first;  // the opening block
  }
  std::string out;
  for (std::size_t i = first; i < lines.size(); ++i) {
    if (IsCommentLine(lines[i])) {
      out.append(lines[i]);
      out += '\n';
    }
  }
  return out;
}

}  // namespace

// ---- Numbers ----------------------------------------------------------------------------------

std::optional<int> ParseIniInteger(std::string_view text) {
  text = TrimIniBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.starts_with("$")) {
    base = 16;
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  long long magnitude = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const long long value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

std::optional<double> ParseIniFloat(std::string_view text) {
  std::string number(TrimIniBlanks(text));
  if (!number.empty() && number.front() == '+') {
    number.erase(0, 1);
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) return std::nullopt;
  }
  if (number.empty()) return std::nullopt;
  std::replace(number.begin(), number.end(), ',', '.');
  double value = 0.0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string FormatIniFloat(double value) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

// ---- IniDocument --------------------------------------------------------------------------------

struct IniDocument::Impl {
  CSimpleIniA ini;
  std::string trailing_comments;

  Impl() {
    ini.SetUnicode(true);
    ini.SetMultiKey(true);   // keeps duplicates so that the first one can win
    ini.SetMultiLine(false);
    ini.SetQuotes(false);    // quotes are handled by EncodeValue/DecodeValue
    ini.SetSpaces(false);
  }
};

IniDocument::IniDocument() : impl_(std::make_unique<Impl>()) {}
IniDocument::~IniDocument() = default;
IniDocument::IniDocument(IniDocument&&) noexcept = default;
IniDocument& IniDocument::operator=(IniDocument&&) noexcept = default;

IniDocument IniDocument::FromText(std::string_view text) {
  IniDocument document;
  const std::string data = NormalizedText(text);
  if (document.impl_->ini.LoadData(data) < 0) return IniDocument();
  document.impl_->trailing_comments = TrailingComments(data);
  return document;
}

std::string IniDocument::ToText() const {
  std::string text;
  if (impl_->ini.Save(text, false) < 0) return {};
  if (!impl_->trailing_comments.empty()) {
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += impl_->trailing_comments;
  }
  return text;
}

bool IniDocument::SectionExists(std::string_view section) const {
  return impl_->ini.GetSection(SectionName(section).c_str()) != nullptr;
}

bool IniDocument::ValueExists(std::string_view section, std::string_view key) const {
  return Value(section, key).has_value();
}

std::vector<std::string> IniDocument::SectionNames() const {
  CSimpleIniA::TNamesDepend names;
  impl_->ini.GetAllSections(names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto& name : names) out.emplace_back(name.pItem);
  return out;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
  CSimpleIniA::TNamesDepend names;
  impl_->ini.GetAllKeys(SectionName(section).c_str(), names);
  names.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> out;
  for (const auto& name : names) out.emplace_back(name.pItem);
  return out;
}

std::optional<std::string> IniDocument::Value(std::string_view section,
                                              std::string_view key) const {
  const char* stored =
      impl_->ini.GetValue(SectionName(section).c_str(), KeyName(key).c_str(), nullptr);
  if (!stored) return std::nullopt;
  return DecodeValue(stored);
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  std::optional<std::string> value = Value(section, key);
  return value ? *value : std::string(fallback);
}

int IniDocument::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  std::optional<std::string> value = Value(section, key);
  if (!value) return fallback;
  return ParseIniInteger(*value).value_or(fallback);
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

double IniDocument::ReadFloat(std::string_view section, std::string_view key,
                              double fallback) const {
  std::optional<std::string> value = Value(section, key);
  if (!value) return fallback;
  return ParseIniFloat(*value).value_or(fallback);
}

bool IniDocument::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  const std::string section_name = SectionName(section);
  const std::string key_name = KeyName(key);
  if (!IsStorableSection(section_name) || !IsStorableKey(key_name)) return false;
  const std::string stored = EncodeValue(value);
  // An existing key keeps its spelling, as the file's author wrote it.
  std::string spelling = key_name;
  for (const std::string& existing : KeyNames(section_name)) {
    if (EqualIgnoringAsciiCase(existing, key_name)) spelling = existing;
  }
  return impl_->ini.SetValue(section_name.c_str(), spelling.c_str(), stored.c_str(), nullptr,
                             /*a_bForceReplace=*/true) >= 0;
}

bool IniDocument::WriteInteger(std::string_view section, std::string_view key, long long value) {
  return WriteString(section, key, std::to_string(value));
}

bool IniDocument::WriteBool(std::string_view section, std::string_view key, bool value) {
  return WriteString(section, key, value ? "1" : "0");
}

bool IniDocument::WriteFloat(std::string_view section, std::string_view key, double value) {
  return WriteString(section, key, FormatIniFloat(value));
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  return impl_->ini.Delete(SectionName(section).c_str(), KeyName(key).c_str(), false);
}

bool IniDocument::EraseSection(std::string_view section) {
  return impl_->ini.Delete(SectionName(section).c_str(), nullptr, false);
}

// ---- IniFile ----------------------------------------------------------------------------------

namespace {

// The file's text; an empty text for a missing file; nullopt when it exists but cannot be read.
std::optional<std::string> ReadFileText(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!std::filesystem::exists(file_name, ec) && !ec) return std::string();
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(text).str();
}

}  // namespace

IniDocument IniFile::Read() const {
  std::optional<std::string> text = ReadFileText(file_name_);
  return text ? IniDocument::FromText(*text) : IniDocument();
}

bool IniFile::Update(const std::function<bool(IniDocument&)>& edit) const {
  std::optional<std::string> before = ReadFileText(file_name_);
  if (!before) return false;  // writing now would lose what could not be read
  IniDocument document = IniDocument::FromText(*before);
  const std::string parsed_before = document.ToText();
  if (!edit(document)) return false;
  const std::string after = document.ToText();
  if (after == parsed_before) return true;
  return WriteFileAtomically(file_name_, after);
}

bool IniFile::SectionExists(std::string_view section) const {
  return Read().SectionExists(section);
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  return Read().ValueExists(section, key);
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const {
  return Read().KeyNames(section);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  return Read().ReadString(section, key, fallback);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const {
  return Read().ReadInteger(section, key, fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return Read().ReadBool(section, key, fallback);
}

double IniFile::ReadFloat(std::string_view section, std::string_view key, double fallback) const {
  return Read().ReadFloat(section, key, fallback);
}

bool IniFile::WriteString(std::string_view section, std::string_view key,
                          std::string_view value) const {
  return Update([&](IniDocument& d) { return d.WriteString(section, key, value); });
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, long long value) const {
  return Update([&](IniDocument& d) { return d.WriteInteger(section, key, value); });
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) const {
  return Update([&](IniDocument& d) { return d.WriteBool(section, key, value); });
}

bool IniFile::WriteFloat(std::string_view section, std::string_view key, double value) const {
  return Update([&](IniDocument& d) { return d.WriteFloat(section, key, value); });
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) const {
  return Update([&](IniDocument& d) {
    d.DeleteKey(section, key);
    return true;
  });
}

bool IniFile::EraseSection(std::string_view section) const {
  return Update([&](IniDocument& d) {
    d.EraseSection(section);
    return true;
  });
}

}  // namespace tikora
