#include "admin/record_operations.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "admin/csv_transfer.h"
#include "core/language.h"
#include "core/text_helpers.h"
#include "engine/errors.h"
#include "engine/maintenance.h"

extern char** environ;

namespace tikora::admin {
namespace {

std::string ClipboardLine(const RecordCursor& cursor) {
  std::string line;
  for (int i = 0; i < cursor.FieldCount(); ++i) {
    if (i > 0) line += ',';
    line += '"' + FieldText(cursor.FieldType(i), cursor.FieldValue(i)) + '"';
  }
  return line;
}

// Upper-cased wide text in the process locale; bytes that are no character are kept as they are.
std::wstring UpperWide(const std::string& text) {
  std::wstring out;
  std::mbstate_t state{};
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    wchar_t wc = 0;
    const std::size_t n = std::mbrtowc(&wc, p, static_cast<std::size_t>(end - p), &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
      out += static_cast<wchar_t>(std::towupper(static_cast<unsigned char>(*p)));
      state = {};
      ++p;
      continue;
    }
    out += static_cast<wchar_t>(std::towupper(static_cast<wint_t>(wc)));
    p += n;
  }
  return out;
}

std::string ColumnText(const RecordCursor& cursor, int column) {
  return FieldText(cursor.FieldType(column), cursor.FieldValue(column));
}

bool Matches(const RecordCursor& cursor, int column, const std::string& text, bool match_case) {
  const std::string value = ColumnText(cursor, column);
  return match_case ? value.find(text) != std::string::npos : ContainsNoCase(value, text);
}

void ReplaceInCurrent(RecordCursor& cursor, int column, const std::string& search,
                      const std::string& replacement) {
  cursor.Edit();
  const std::string changed =
      ReplaceFirstNoCase(ColumnText(cursor, column), search, replacement, 1);
  cursor.SetFieldValue(column, ParseFieldText(cursor.FieldType(column), changed));
  cursor.Post();
}

void NoMatches(RecordCursor& cursor, const FindState& state, Prompter& prompter) {
  prompter.Show(TranslateMessage("No matches found"), "", MessageKind::Information);
  cursor.GoToMark(state.StartedAt());
}

}  // namespace

std::string CopyRecords(RecordCursor& cursor, const std::vector<CursorMark>& selection, bool cut) {
  std::string text;
  for (CursorMark mark : selection) {
    cursor.GoToMark(mark);
    text += ClipboardLine(cursor) + "\r\n";
    if (cut) cursor.Delete();
  }
  return text;
}

std::int64_t PasteRecords(RecordCursor& cursor, const std::string& clipboard) {
  std::int64_t posted = 0;
  for (const std::string& line : SplitLines(clipboard)) {
    cursor.Append();
    if (line.find_first_not_of(" \t") != std::string::npos) {
      for (int f = 0; f < cursor.FieldCount(); ++f)
        SetFieldFromText(cursor, f, CsvField(line, ',', f));
    }
    cursor.Post();
    ++posted;
  }
  return posted;
}

std::int64_t DeleteSelectedRecords(RecordCursor& cursor, const std::vector<CursorMark>& selection,
                                   Prompter& prompter) {
  if (prompter.Ask(TranslateMessage("Delete selected records?"), "Confirm", Buttons::OkCancel) !=
      Answer::Ok)
    return 0;
  const std::set<CursorMark> selected(selection.begin(), selection.end());
  std::int64_t deleted = 0;
  cursor.First();
  while (!cursor.Eof() && !cursor.IsEmpty()) {
    if (selected.count(cursor.Mark()) != 0) {
      cursor.Delete();
      ++deleted;
    } else {
      cursor.Next();
    }
  }
  cursor.First();
  return deleted;
}

std::int64_t DeleteAllRecords(RecordCursor& cursor, const std::string& table_name,
                              Prompter& prompter) {
  const std::string question = TranslateMessage("Delete all records in the") + " " + table_name +
                               " " + TranslateMessage("table?");
  if (prompter.Ask(question, "Confirm", Buttons::OkCancel) != Answer::Ok) return 0;
  std::int64_t deleted = 0;
  cursor.First();
  while (!cursor.IsEmpty()) {
    cursor.Delete();
    ++deleted;
    if (cursor.Eof()) cursor.First();
  }
  return deleted;
}

std::string ReindexTable(engine::Table& table, Prompter& prompter) {
  engine::Database& db = table.database();
  const std::string name = table.TableName();
  std::string message;
  try {
    table.Close();
    const std::string schema = db.ResolveTable(name);
    if (db.IsAttached(schema)) db.Detach(schema);
    { engine::TableLock hold = db.LockExclusive(schema); }  // nobody else may have it open
    if (engine::Verify(db, name).ok) {
      message = TranslateMessage(kReindexNotNeeded);
    } else {
      engine::Repair(db, name, /*force_index_rebuild=*/true);
      message = TranslateMessage(kReindexDone);
    }
  } catch (const engine::EngineError& e) {
    message = e.code() == engine::kErrAccessDenied
                  ? TranslateMessage(kReindexInUse)
                  : "Error: \"" + std::to_string(e.code()) + "\" \"" + e.what() + "\"";
  }
  table.Open(engine::OpenMode::Shared);
  prompter.Show(message, "", MessageKind::Information);
  return message;
}

bool OrderingAppliesTo(int list_entry) {
  return (list_entry >= 0 && list_entry <= 7) || list_entry == 10 || list_entry == 11;
}

void OrderByColumn(engine::Table& table, const std::string& field_name) {
  table.SetIndexFieldNames(field_name);
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return UpperWide(text).find(UpperWide(part)) != std::wstring::npos;
}

bool FindNext(RecordCursor& cursor, int column, const FindRequest& request, FindState& state,
              Prompter& prompter) {
  state.SetStartedAt(cursor.Mark());
  auto step = [&] { request.down ? cursor.Next() : cursor.Prior(); };
  bool found = false;
  if (!cursor.IsEmpty()) {
    if (state.Continue()) step();
    while (!(request.down ? cursor.Eof() : cursor.Bof())) {
      if (Matches(cursor, column, request.text, request.match_case)) {
        found = true;
        break;
      }
      step();
    }
  }
  if (!found) NoMatches(cursor, state, prompter);
  state.SetContinue(true);
  return found;
}

bool ReplaceCurrent(RecordCursor& cursor, int column, const std::string& search,
                    const std::string& replacement, FindState& state, Prompter& prompter) {
  state.SetStartedAt(cursor.Mark());
  bool changed = false;
  if (!cursor.IsEmpty() && !cursor.Eof() && Matches(cursor, column, search, false)) {
    state.SetContinue(true);
    ReplaceInCurrent(cursor, column, search, replacement);
    changed = true;
  }
  if (!state.Continue()) NoMatches(cursor, state, prompter);
  return changed;
}

std::int64_t ReplaceAll(RecordCursor& cursor, int column, const std::string& search,
                        const std::string& replacement, FindState& state, Prompter& prompter) {
  state.SetStartedAt(cursor.Mark());
  std::int64_t changed = 0;
  while (!cursor.IsEmpty() && !cursor.Eof()) {
    const CursorMark here = cursor.Mark();
    if (Matches(cursor, column, search, false)) {
      state.SetContinue(true);
      ReplaceInCurrent(cursor, column, search, replacement);
      ++changed;
      // A record that left the view has moved the cursor on already.
      if (cursor.Eof() || cursor.Mark() != here) continue;
    }
    cursor.Next();
  }
  if (!state.Continue()) NoMatches(cursor, state, prompter);
  return changed;
}

bool OpenSqlFile(engine::Query& query, const std::string& path) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot open file \"" + path + "\".");
  std::stringstream text;
  text << in.rdbuf();
  const std::string previous = query.Sql();
  const bool was_active = query.Active();
  try {
    query.Close();
    query.SetSql(text.str());
    query.Open();
  } catch (...) {
    query.SetSql(previous);
    if (was_active) query.Open();
    throw;
  }
  return true;
}

std::string TextEditorProgram() {
  for (const char* var : {"VISUAL", "EDITOR"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') return v;
  }
  return "xdg-open";
}

bool LaunchTextEditor(const std::string& file, Prompter& prompter) {
  const std::string program = TextEditorProgram();
  std::vector<std::string> args = {program};
  if (!file.empty()) args.push_back(file);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    prompter.Show(TranslateMessage("Could not launch") + " " + program,
                  TranslateMessage("Launch Error"), MessageKind::Error);
    return false;
  }
  // The editor outlives nothing of ours; its exit status is collected so it leaves no zombie.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return true;
}

bool NewSqlFile(Prompter& prompter) {
  return LaunchTextEditor("", prompter);
}

bool EditSqlFile(const std::string& path, Prompter& prompter) {
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) return false;
  return LaunchTextEditor(std::filesystem::absolute(path, ec).string(), prompter);
}

}  // namespace tikora::admin
