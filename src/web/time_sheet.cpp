#include "web/time_sheet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/language.h"
#include "core/security.h"
#include "core/text_helpers.h"
#include "web/fragments.h"
#include "web/html.h"
#include "web/input.h"
#include "web/web_queries.h"

namespace tikora::web {
namespace {

using engine::Value;

// Rows beyond the first ten are read while the form carries them, up to this many.
constexpr int kMaxPostedRows = 100;

// The charge account, job code and client that a sheet row stands for; compared exactly, as the
// sheet groups the week's entries. An empty code stands for none (stored as NULL).
struct Group {
  std::string account, job_code, client;
  bool operator==(const Group&) const = default;
};

struct SheetRow {
  Group group;                 // as posted (a hidden list keeps the loaded value)
  std::optional<Group> loaded;  // the group the grid showed in this row, when it carried one
  std::string comment;
  bool comment_edited = false;  // differs from the comment the grid showed
  std::array<std::optional<double>, 7> hours;
};

Value TextOrNull(const std::string& text) {
  return text.empty() ? Value::Null() : Value::Text(text);
}

std::vector<SheetRow> ReadRows(const Request& request, const TConfig& config) {
  std::vector<SheetRow> rows;
  for (int r = 0; r < kMaxPostedRows; ++r) {
    const std::string suffix = std::to_string(r);
    const std::string account = request.RequestValue("Account" + suffix);
    if (account.empty()) {
      if (r >= kSheetRows && request.RequestValue("D1" + suffix).empty()) break;
      continue;
    }
    SheetRow row{{account, request.RequestValue("JobCode" + suffix),
                  request.RequestValue("Client" + suffix)},
                 std::nullopt, request.RequestValue("Comments" + suffix), false, {}};
    const std::string loaded_account = request.RequestValue("OrigAccount" + suffix);
    if (!loaded_account.empty()) {
      row.loaded = Group{loaded_account, request.RequestValue("OrigJobCode" + suffix),
                         request.RequestValue("OrigClient" + suffix)};
      // A list the page does not show posts nothing; the user cannot have changed it.
      if (!config.JobCodeVis) row.group.job_code = row.loaded->job_code;
      if (!config.ClientVis) row.group.client = row.loaded->client;
      row.comment_edited = row.comment != request.RequestValue("OrigComments" + suffix);
    }
    for (int d = 1; d <= 7; ++d) row.hours[d - 1] = Hours(request, "D" + std::to_string(d) + suffix);
    rows.push_back(std::move(row));
  }
  return rows;
}

// Rows whose groups are stored together: a row that moves its hours from the loaded group to
// another links both, so that the hours leave one and reach the other in one transaction.
struct SaveUnit {
  std::vector<Group> groups;
  std::vector<const SheetRow*> rows;
};

bool Holds(const SaveUnit& unit, const Group& group) {
  return std::find(unit.groups.begin(), unit.groups.end(), group) != unit.groups.end();
}

std::vector<SaveUnit> SaveUnits(const std::vector<SheetRow>& rows) {
  std::vector<SaveUnit> units;
  for (const SheetRow& row : rows) {
    std::vector<Group> keys{row.group};
    if (row.loaded && *row.loaded != row.group) keys.push_back(*row.loaded);
    SaveUnit joined{keys, {&row}};
    for (auto unit = units.begin(); unit != units.end();) {
      const bool linked = std::any_of(keys.begin(), keys.end(),
                                      [&](const Group& key) { return Holds(*unit, key); });
      if (!linked) {
        ++unit;
        continue;
      }
      for (const Group& group : unit->groups)
        if (!Holds(joined, group)) joined.groups.push_back(group);
      joined.rows.insert(joined.rows.begin(), unit->rows.begin(), unit->rows.end());
      unit = units.erase(unit);
    }
    units.push_back(std::move(joined));
  }
  return units;
}

// A stored whole-day entry of the week.
struct StoredEntry {
  std::int64_t id = 0;
  Group group;
  int day = 0;  // 0 to 6 within the week
  std::int64_t length_ms = 0;
  bool synchronised = false, printed = false;
  std::string invoice;
};

// The user's closed entries of the week that start at midnight (the sheet's entries), by ID.
std::vector<StoredEntry> ReadWeek(TDM& dm, DateTime first_day) {
  // The week's "Start Time" range chooses the index; the unary plus keeps the user's from it.
  // DISTINCT keeps the result read-only (each row carries its ID).
  engine::Query& query = dm.Prepared(
      "SELECT DISTINCT ID,Account,Job_Code,ClientID,[Start Time],[End Time],Synch,Printed,Invoice"
      " FROM TimeHist WHERE +[User ID] = :UserId AND CAST([Start Time] AS TIME) = '00:00'"
      " AND [Start Time] >= :FirstDate AND [Start Time] < :EndDate AND [End Time] <> NULL"
      " ORDER BY ID");
  query.SetParam("UserId", Value::Text(UserKey(dm.Config().CurrentUserId)));
  query.SetParam("FirstDate", Value::Date(first_day));
  query.SetParam("EndDate", Value::Date(DateTime(first_day.days + 7)));
  query.Open();
  std::vector<StoredEntry> entries;
  for (query.First(); !query.Eof(); query.Next()) {
    const std::int64_t start = ToMilliseconds(query.FieldValue("Start Time").AsDateTime());
    entries.push_back({query.FieldValue("ID").AsInteger(),
                       {query.FieldValue("Account").AsText(), query.FieldValue("Job_Code").AsText(),
                        query.FieldValue("ClientID").AsText()},
                       static_cast<int>((start - ToMilliseconds(first_day)) / kMsPerDay),
                       ToMilliseconds(query.FieldValue("End Time").AsDateTime()) - start,
                       query.FieldValue("Synch").AsBoolean(),
                       query.FieldValue("Printed").AsBoolean(),
                       query.FieldValue("Invoice").AsText()});
  }
  query.Close();
  return entries;
}

// The hours posted for one day of a group: one cell per row showing the group.
struct PostedCell {
  std::int64_t length_ms = 0;
  const std::string* comment = nullptr;
  bool comment_edited = false;
};

std::string GroupText(const Group& group) {
  std::string text = group.account;
  for (const std::string* code : {&group.job_code, &group.client})
    if (!code->empty()) text += " / " + *code;
  return text;
}

// Writes the group's hours of one day; every write is a parameterised statement.
class DayWriter {
 public:
  DayWriter(WebRequest& web, DateTime first_day) : web_(web), first_day_(first_day) {}

  // Brings the stored entries of `day` in line with the posted cells. Posted back unchanged (the
  // same total, the comment not edited), nothing is touched, so invoice numbers, marks, items and
  // per-day comments stay. Else the n-th entry takes the n-th cell's hours and comment, surplus
  // entries are deleted and surplus cells appended. Throws, naming the entry, when a change would
  // hit a locked entry.
  void Reconcile(const Group& group, int day, const std::vector<PostedCell>& cells,
                 const std::vector<const StoredEntry*>& stored) {
    const bool comment_edited = std::any_of(cells.begin(), cells.end(),
                                            [](const PostedCell& c) { return c.comment_edited; });
    if (!comment_edited && cells.empty() == stored.empty() && Total(cells) == Total(stored)) return;
    for (std::size_t i = 0; i < std::max(cells.size(), stored.size()); ++i) {
      if (i < cells.size() && i < stored.size()) {
        if (cells[i].length_ms == stored[i]->length_ms && !cells[i].comment_edited) continue;
        RequireChangeable(*stored[i]);
        Update(*stored[i], cells[i]);
      } else if (i < stored.size()) {
        RequireChangeable(*stored[i]);
        Delete(*stored[i]);
      } else {
        Insert(group, day, cells[i]);
      }
    }
  }

 private:
  static std::int64_t Total(const std::vector<PostedCell>& cells) {
    std::int64_t total = 0;
    for (const PostedCell& cell : cells) total += cell.length_ms;
    return total;
  }
  static std::int64_t Total(const std::vector<const StoredEntry*>& entries) {
    std::int64_t total = 0;
    for (const StoredEntry* entry : entries) total += entry->length_ms;
    return total;
  }

  // An invoiced entry is billed as it stands; synchronised and printed ones follow the rules of
  // the security settings.
  void RequireChangeable(const StoredEntry& entry) const {
    const TConfig& config = web_.Config();
    RuleOptions options;
    options.allow_synch_edits = config.AllowSynchEdits;
    options.allow_printed_edits = config.AllowPrintedEdits;
    const bool security = web_.dm.Secure().SecuritySwitch();
    std::string reason;
    if (!entry.invoice.empty()) {
      reason = TranslateMessage("invoice") + " " + entry.invoice;
    } else if (entry.synchronised &&
               RuleApplies(Rule::SynchronisedRecordsLocked, security, config.Rights, options)) {
      reason = TranslateMessage("synchronised");
    } else if (entry.printed &&
               RuleApplies(Rule::PrintedRecordsLocked, security, config.Rights, options)) {
      reason = TranslateMessage("printed");
    } else {
      return;
    }
    // "This row was not saved: the entry of ADMIN / DESIGN on 2020-03-02 is locked (printed)."
    throw std::runtime_error(TranslateMessage("This row was not saved: the entry of") + " " +
                             GroupText(entry.group) + " " + TranslateMessage("on") + " " +
                             IsoDate(DateTime(first_day_.days + entry.day)) + " " +
                             TranslateMessage("is locked") + " (" + reason + ").");
  }

  void Update(const StoredEntry& entry, const PostedCell& cell) {
    engine::Query& update = web_.dm.Prepared(
        "UPDATE TimeHist SET [End Time] = :EndTime, Comments = :Comments WHERE ID = :ID");
    update.SetParam("EndTime", Value::Date(FromMilliseconds(DayStart(entry.day) + cell.length_ms)));
    update.SetParam("Comments", TextOrNull(*cell.comment));
    update.SetParam("ID", Value::Integer(entry.id));
    update.ExecSQL();
  }

  void Delete(const StoredEntry& entry) {
    engine::Query& remove = web_.dm.Prepared("DELETE FROM TimeHist WHERE ID = :ID");
    remove.SetParam("ID", Value::Integer(entry.id));
    remove.ExecSQL();
  }

  void Insert(const Group& group, int day, const PostedCell& cell) {
    engine::Query& insert = web_.dm.Prepared(
        "INSERT INTO TimeHist ([User ID], Account, Job_Code, [Start Time], [End Time], Comments,"
        " ClientID) VALUES (:UserId, :Account, :JobCode, :StartTime, :EndTime, :Comments,"
        " :ClientID)");
    const std::int64_t start = DayStart(day);
    insert.SetParam("UserId", Value::Text(UserKey(web_.Config().CurrentUserId)));
    insert.SetParam("Account", Value::Text(group.account));
    insert.SetParam("JobCode", TextOrNull(group.job_code));
    insert.SetParam("StartTime", Value::Date(FromMilliseconds(start)));
    insert.SetParam("EndTime", Value::Date(FromMilliseconds(start + cell.length_ms)));
    insert.SetParam("Comments", TextOrNull(*cell.comment));
    insert.SetParam("ClientID", TextOrNull(group.client));
    insert.ExecSQL();
  }

  std::int64_t DayStart(int day) const { return ToMilliseconds(first_day_) + day * kMsPerDay; }

  WebRequest& web_;
  DateTime first_day_;
};

// Stores the unit's groups: each group's hours of the week become those its rows post (none for a
// group that only a row's loaded group names: its hours moved to the row's new group).
void StoreUnit(WebRequest& web, const SaveUnit& unit, DateTime first_day) {
  const std::vector<StoredEntry> week = ReadWeek(web.dm, first_day);
  DayWriter writer(web, first_day);
  for (const Group& group : unit.groups) {
    for (int day = 0; day < 7; ++day) {
      std::vector<PostedCell> cells;
      for (const SheetRow* row : unit.rows) {
        const std::optional<double>& hours = row->hours[static_cast<std::size_t>(day)];
        if (row->group == group && hours)
          cells.push_back({std::llround(*hours * 3600000.0), &row->comment, row->comment_edited});
      }
      std::vector<const StoredEntry*> stored;
      for (const StoredEntry& entry : week)
        if (entry.group == group && entry.day == day) stored.push_back(&entry);
      writer.Reconcile(group, day, cells, stored);
    }
  }
}

// The first day of the posted week. All seven days must lie in the years 1 to 9999, the dates
// the engine stores: a day of the year 10000 would be written as a text that no reader takes
// back, and outside the week's own range.
DateTime PostedWeekStart(WebRequest& web) {
  const DateTime first_day = SheetWeekStart(web.Config(), RequiredDate(web.request, "TSDate"));
  if (first_day < EncodeDate(1, 1, 1) || DateTime(first_day.days + 6) > EncodeDate(9999, 12, 31)) {
    throw BadInput("TSDate", "The field TSDate holds '" + web.request.RequestValue("TSDate") +
                                 "', which is not a date of a week within the years 1 to 9999.");
  }
  return first_day;
}

}  // namespace

void SaveTimeSheet(WebRequest& web) {
  const DateTime first_day = PostedWeekStart(web);
  const std::vector<SheetRow> rows = ReadRows(web.request, web.Config());

  engine::Database& db = web.dm.Database();
  for (const SaveUnit& unit : SaveUnits(rows)) {
    try {
      db.StartTransaction({"TimeHist"});
      StoreUnit(web, unit, first_day);
      db.Commit();
    } catch (const std::exception& error) {
      if (db.InTransaction()) db.Rollback();
      ReportProblem(web, HtmlEscape(error.what()));
    }
  }
  ShowPage(web, PageKind::Main);
}

}  // namespace tikora::web
