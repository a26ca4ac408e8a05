#include "admin/csv_transfer.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/language.h"
#include "core/regional.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "engine/schema.h"

namespace tikora::admin {
namespace {

using engine::FieldType;
using engine::Value;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::int64_t ParseWholeNumber(std::string_view text) {
  std::string_view t = Trim(text);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size() || t.empty())
    throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

bool ParseBoolean(std::string_view text) {
  const std::string_view t = Trim(text);
  auto same = [&](std::string_view word) {
    if (t.size() != word.size()) return false;
    for (std::size_t i = 0; i < t.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(t[i])) != word[i]) return false;
    return true;
  };
  if (same("true")) return true;
  if (same("false")) return false;
  throw ConversionError("'" + std::string(text) + "' is not a valid boolean value");
}

struct TableFileName {
  const char* table;
  const char* csv;
};
// Table list entries 0 to 13 in order; the Items and Reports entries have no file name.
constexpr TableFileName kListEntries[] = {
    {"Accounts", "Accounts.Csv"},
    {"Clients", "Clients.Csv"},
    {"JobCodes", "JobCodes.Csv"},
    {"TimeHist", "TimeHist.Csv"},
    {"Archive", "Archive.Csv"},
    {"Invoices", "Invoices.Csv"},
    {"Estimate", "Estimates.Csv"},
    {"Expenses", "Expenses.Csv"},
    {"Items", nullptr},
    {"Reports", nullptr},
    {"WorkGrp", "WorkGroups.Csv"},
    {"Users", "Users.Csv"},
    {"Security", "Secure.Csv"},
    {"", "Query.Csv"},
};

}  // namespace

FieldTextWriter::FieldTextWriter() : regional_(CurrentRegionalSettings()) {}

void FieldTextWriter::AppendTwoDigits(std::string& out, int n) {
  out += static_cast<char>('0' + n / 10 % 10);
  out += static_cast<char>('0' + n % 10);
}

void FieldTextWriter::AppendDate(std::string& out, DateTime value) const {
  const CalendarDate d = DecodeDate(value);
  const std::string& format = regional_.short_date_format;
  for (std::size_t f = 0; f < format.size(); ++f) {
    if (format[f] == '%' && f + 1 < format.size()) {
      switch (format[++f]) {
        case 'd': AppendTwoDigits(out, d.day); continue;
        case 'm': AppendTwoDigits(out, d.month); continue;
        case 'Y':
          AppendTwoDigits(out, d.year / 100);
          AppendTwoDigits(out, d.year % 100);
          continue;
        default: break;  // "%%": the character itself
      }
    }
    out += format[f];
  }
}

void FieldTextWriter::AppendTime(std::string& out, DateTime value) const {
  const TimeOfDay t = DecodeTime(value);
  const bool h24 = regional_.uses_24_hour_clock;
  AppendTwoDigits(out, h24 ? t.hour : (t.hour % 12 == 0 ? 12 : t.hour % 12));
  out += regional_.time_separator;
  AppendTwoDigits(out, t.minute);
  out += regional_.time_separator;
  AppendTwoDigits(out, t.second);
  if (!h24) {
    out += ' ';
    out += t.hour < 12 ? regional_.am_designator : regional_.pm_designator;
  }
}

void FieldTextWriter::AppendFloat(std::string& out, double value) const {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  for (const char* p = buffer; p != result.ptr; ++p) {
    if (*p == '.') {
      out += regional_.decimal_separator;
    } else {
      out += *p;
    }
  }
}

void FieldTextWriter::Append(std::string& out, FieldType type, const Value& value) const {
  if (value.IsNull()) return;
  switch (type) {
    case FieldType::Boolean: out += value.AsBoolean() ? "True" : "False"; return;
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc:
      if (value.kind() == Value::Kind::Float) {
        AppendFloat(out, value.AsFloat());
      } else {
        out += std::to_string(value.AsInteger());
      }
      return;
    case FieldType::Float:
    case FieldType::Currency: AppendFloat(out, value.AsFloat()); return;
    case FieldType::Date: AppendDate(out, value.AsDateTime()); return;
    case FieldType::Time: AppendTime(out, value.AsDateTime()); return;
    case FieldType::Timestamp: {
      const DateTime dt = value.AsDateTime();
      AppendDate(out, dt);
      if (DecodeTime(dt) != TimeOfDay{}) {
        out += ' ';
        AppendTime(out, dt);
      }
      return;
    }
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::Blob: break;
  }
  out += value.AsText();
}

std::string FieldText(FieldType type, const Value& value) {
  std::string out;
  FieldTextWriter().Append(out, type, value);
  return out;
}

Value ParseFieldText(FieldType type, std::string_view text) {
  if (Trim(text).empty()) return Value::Null();
  switch (type) {
    case FieldType::Boolean:
      return Value::Boolean(ParseBoolean(text));
    case FieldType::Word:
    case FieldType::Integer:
    case FieldType::AutoInc:
      return Value::Integer(ParseWholeNumber(text));
    case FieldType::Float:
    case FieldType::Currency:
      return Value::Float(ParseLocaleFloat(text));
    case FieldType::Date:
      return Value::Date(ParseShortDate(text));
    case FieldType::Time:
      return Value::Date(ParseLocaleTime(text));
    case FieldType::Timestamp:
      return Value::Date(ParseLocaleDateTime(text));
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::Blob:
      break;
  }
  return Value::Text(std::string(text));
}

void SetFieldFromText(RecordCursor& cursor, int field, std::string_view text) {
  const FieldType type = cursor.FieldType(field);
  // An auto-numbered field without a value is numbered by the table.
  if (type == FieldType::AutoInc && Trim(text).empty()) return;
  cursor.SetFieldValue(field, ParseFieldText(type, text));
}

void AppendCsvLine(std::string& out, const RecordCursor& cursor, char separator,
                   const FieldTextWriter& writer) {
  std::string text;
  for (int i = 0; i < cursor.FieldCount(); ++i) {
    if (i > 0) out += separator;
    out += '"';
    text.clear();
    writer.Append(text, cursor.FieldType(i), cursor.FieldValue(i));
    // CrLfToBlank, then DoubleToSingleQuotes, in one pass.
    for (std::size_t c = 0; c < text.size(); ++c) {
      if (text[c] == '\r' && c + 1 < text.size() && text[c + 1] == '\n') {
        out += ' ';
        ++c;
      } else {
        out += text[c] == '"' ? '\'' : text[c];
      }
    }
    out += '"';
  }
}

std::string CsvLine(const RecordCursor& cursor, char separator) {
  std::string line;
  AppendCsvLine(line, cursor, separator, FieldTextWriter());
  return line;
}

namespace {

std::int64_t ExportInto(std::string& text, RecordCursor& cursor, char separator) {
  const FieldTextWriter writer;
  std::int64_t records = 0;
  for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    AppendCsvLine(text, cursor, separator, writer);
    text += "\r\n";
    ++records;
  }
  cursor.First();
  return records;
}

}  // namespace

std::string ExportCsvText(RecordCursor& cursor, char separator) {
  std::string text;
  ExportInto(text, cursor, separator);
  return text;
}

std::int64_t ExportCsvFile(RecordCursor& cursor, char separator, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Cannot create file \"" + path + "\".");
  // Written in blocks of about a megabyte: a large table never sits in memory as text.
  constexpr std::size_t kBlock = 1 << 20;
  const FieldTextWriter writer;
  std::string block;
  block.reserve(kBlock + 4096);
  std::int64_t records = 0;
  for (cursor.First(); !cursor.Eof(); cursor.Next()) {
    AppendCsvLine(block, cursor, separator, writer);
    block += "\r\n";
    ++records;
    if (block.size() >= kBlock) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  cursor.First();
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  out.flush();
  if (!out) throw std::runtime_error("Cannot write file \"" + path + "\".");
  return records;
}

std::optional<std::string> CsvDefaultFileName(int list_entry) {
  if (list_entry < 0 || list_entry >= static_cast<int>(std::size(kListEntries)))
    return std::nullopt;
  const char* name = kListEntries[list_entry].csv;
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

std::optional<std::string> CsvDefaultFileNameOfTable(std::string_view table) {
  for (const auto& e : kListEntries) {
    if (*e.table != '\0' && engine::SameName(e.table, table) && e.csv != nullptr)
      return std::string(e.csv);
  }
  return std::nullopt;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current += c;
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

CsvImportOutcome ImportCsvLines(engine::Database& db, const std::vector<std::string>& tables,
                                RecordCursor& cursor, const std::vector<std::string>& lines,
                                char separator) {
  CsvImportOutcome outcome;
  if (!cursor.CanAppend()) {  // a query result, or a table opened read-only
    outcome.message = TranslateMessage("Cannot import into a Query");
    return outcome;
  }
  db.StartTransaction(tables);
  std::size_t index = 0;
  try {
    for (; index < lines.size(); ++index) {
      const std::string& line = lines[index];
      if (Trim(line).empty()) continue;
      cursor.Append();
      for (int f = 0; f < cursor.FieldCount(); ++f) {
        SetFieldFromText(cursor, f, CsvField(line, separator, f));
      }
      cursor.Post();
      ++outcome.records;
    }
    db.Commit();
    outcome.ok = true;
    return outcome;
  } catch (const std::exception& e) {
    try {
      cursor.Cancel();
    } catch (const std::exception&) {
      // not inserting: nothing to cancel
    }
    if (db.InTransaction()) db.Rollback();
    cursor.Refresh();
    outcome.ok = false;
    outcome.records = 0;
    outcome.failed_line = static_cast<int>(index + 1);
    outcome.message = std::string(e.what()) + " at line: " + std::to_string(index + 1) + " " +
                      (index < lines.size() ? lines[index] : std::string());
    return outcome;
  }
}

CsvImportOutcome ImportCsvFile(engine::Database& db, const std::vector<std::string>& tables,
                               RecordCursor& cursor, const std::string& path, char separator) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    CsvImportOutcome outcome;
    outcome.message = path + " " + TranslateMessage("does not exist");
    return outcome;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  return ImportCsvLines(db, tables, cursor, SplitLines(buffer.str()), separator);
}

}  // namespace tikora::admin
