// Settings files in the ini format, read and written as the programs have always done:
//
// - section and key names compare without regard to ASCII case, and surrounding blanks of names
//   and values do not count; a value wrapped in double quotes loses the quotes (which is how a
//   value keeps leading or trailing blanks);
// - a missing file, section or key reads as the caller's default, and so does a value that is
//   not a number where a number is wanted;
// - booleans are written "1"/"0" and read as integers, any non-zero integer being true;
// - reals are written with "." whatever the locale, and read with "." or "," so that a program
//   running in the C locale reads what one in a comma-decimal locale wrote;
// - when a key appears twice in a section the first occurrence counts; writing it leaves one;
// - writing keeps every other section, key and comment of the file.
//
// IniDocument is the parsed text in memory; IniFile names a file and opens it for every single
// read or write (nothing stays open), replacing it atomically when writing.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tikora {

class IniDocument {
 public:
  IniDocument();
  ~IniDocument();
  IniDocument(IniDocument&&) noexcept;
  IniDocument& operator=(IniDocument&&) noexcept;
  IniDocument(const IniDocument&) = delete;
  IniDocument& operator=(const IniDocument&) = delete;

  // Any text parses; lines that are neither sections, keys nor comments are dropped. A UTF-8
  // byte-order mark is skipped.
  static IniDocument FromText(std::string_view text);
  // The document as file text ("key=value" lines, "\n" line ends, no byte-order mark).
  std::string ToText() const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // Names in the order of the file (duplicates listed once).
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;

  // The value of the key, or nullopt when the section or key is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Decimal with an optional sign, or hexadecimal after "0x" or "$"; anything else, or a number
  // outside the range of int, gives `fallback`.
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  // A finite real with "." or "," as decimal separator; anything else gives `fallback`.
  double ReadFloat(std::string_view section, std::string_view key, double fallback) const;

  // Writers return false when the name cannot be stored in an ini file (empty, or holding a line
  // break, "=" in a key, "]" in a section, or a leading ";", "#" or "["). Line breaks inside a
  // value are stored as blanks, since a value is one line.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, long long value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);
  // Shortest text that reads back as the same double.
  bool WriteFloat(std::string_view section, std::string_view key, double value);

  // True when something was removed.
  bool DeleteKey(std::string_view section, std::string_view key);
  bool EraseSection(std::string_view section);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class IniFile {
 public:
  explicit IniFile(std::string file_name) : file_name_(std::move(file_name)) {}
  const std::string& FileName() const { return file_name_; }

  // The file as it is now; a missing or unreadable file gives an empty document.
  IniDocument Read() const;
  // Reads the file (a missing one counts as empty), lets `edit` change it and replaces the file
  // atomically when the text changed. False, with the file untouched, when an existing file
  // cannot be read or the new one cannot be written (e.g. the folder is missing); also when
  // `edit` returns false.
  bool Update(const std::function<bool(IniDocument&)>& edit) const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  std::vector<std::string> KeyNames(std::string_view section) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  double ReadFloat(std::string_view section, std::string_view key, double fallback) const;

  bool WriteString(std::string_view section, std::string_view key, std::string_view value) const;
  bool WriteInteger(std::string_view section, std::string_view key, long long value) const;
  bool WriteBool(std::string_view section, std::string_view key, bool value) const;
  bool WriteFloat(std::string_view section, std::string_view key, double value) const;
  bool DeleteKey(std::string_view section, std::string_view key) const;
  bool EraseSection(std::string_view section) const;

 private:
  std::string file_name_;
};

// Number parsing with the rules above, for callers that hold the text already.
std::optional<int> ParseIniInteger(std::string_view text);
std::optional<double> ParseIniFloat(std::string_view text);
std::string FormatIniFloat(double value);

}  // namespace tikora
