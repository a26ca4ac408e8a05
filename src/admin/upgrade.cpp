#include "admin/upgrade.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "core/language.h"
#include "engine/errors.h"
#include "engine/maintenance.h"
#include "engine/table.h"

namespace tikora::admin {
namespace {

using engine::FieldDef;
using engine::FieldType;
using engine::IndexDef;
using engine::TableDef;
using engine::UserVersion;
using C = engine::IndexCompression;

// ---- Definition edits used by the steps ----------------------------------------------------

FieldDef Field(int number, std::string name, FieldType type, int size = 0,
               std::string default_value = {}) {
  return FieldDef{number, std::move(name), type, size, false, std::move(default_value)};
}

IndexDef Index(std::string name, std::vector<std::string> fields, C compression,
               bool case_insensitive = false) {
  return IndexDef{std::move(name), std::move(fields), false, false, case_insensitive, false,
                  compression};
}

IndexDef Index1(const std::string& name, C compression, bool case_insensitive = false) {
  return Index(name, {name}, compression, case_insensitive);
}

IndexDef PrimaryIndex(std::vector<std::string> fields, C compression, bool case_insensitive) {
  return IndexDef{"", std::move(fields), true, true, case_insensitive, false, compression};
}

// Index `position` of the list, the primary index counting as position 0.
IndexDef& IndexAt(TableDef& def, std::size_t position) {
  if (position >= def.indexes.size())
    throw std::runtime_error("Table " + def.name + " has no index at position " +
                             std::to_string(position));
  return def.indexes[position];
}

void DropIndexAt(TableDef& def, std::size_t position) {
  IndexAt(def, position);
  def.indexes.erase(def.indexes.begin() + static_cast<std::ptrdiff_t>(position));
}

void AddField(TableDef& def, FieldDef field) {
  if (def.FindField(field.name) != nullptr)
    throw std::runtime_error("Table " + def.name + " already has a field " + field.name);
  def.fields.push_back(std::move(field));
}

void InsertField(TableDef& def, std::size_t position, FieldDef field) {
  if (def.FindField(field.name) != nullptr)
    throw std::runtime_error("Table " + def.name + " already has a field " + field.name);
  if (position > def.fields.size()) position = def.fields.size();
  def.fields.insert(def.fields.begin() + static_cast<std::ptrdiff_t>(position), std::move(field));
}

void AddIndex(TableDef& def, IndexDef index) {
  if (index.primary) {
    def.indexes.insert(def.indexes.begin(), std::move(index));
  } else {
    def.indexes.push_back(std::move(index));
  }
}

// ---- Version conditions ---------------------------------------------------------------------

auto Exactly(int major, int minor) {
  return [=](UserVersion v) { return v.major == major && v.minor == minor; };
}
auto MajorBelow2MinorZero() {
  return [](UserVersion v) { return v.major < 2 && v.minor == 0; };
}
auto Major1MinorBelow(int minor) {
  return [=](UserVersion v) { return v.major == 1 && v.minor < minor; };
}

std::vector<UpgradeStep> MakeSteps() {
  std::vector<UpgradeStep> s;
  auto add = [&](std::string table, std::string condition, std::function<bool(UserVersion)> when,
                 std::function<void(TableDef&)> change, UserVersion to) {
    s.push_back({std::move(table), std::move(condition), std::move(when), std::move(change), to});
  };

  add("Accounts", "major < 2 and minor = 0", MajorBelow2MinorZero(),
      [](TableDef& d) { AddIndex(d, Index1("Description", C::None, true)); }, {1, 1});
  add("Accounts", "1.1", Exactly(1, 1), [](TableDef& d) {
        IndexAt(d, 1).compression = C::Full;
        AddIndex(d, Index1("Rate", C::Full));
        AddIndex(d, Index1("Client", C::Full, true));
      }, {1, 2});
  add("Accounts", "1.2", Exactly(1, 2), [](TableDef& d) {
        AddField(d, Field(5, "Active", FieldType::Boolean, 0, "True"));
        AddIndex(d, Index1("Active", C::DupByte));
      }, {1, 3});

  add("Archive", "major = 1 and minor <= 5", Major1MinorBelow(6), [](TableDef& d) {
        AddField(d, Field(10, "Invoice", FieldType::String, 10));
        d.indexes.clear();
        AddIndex(d, PrimaryIndex({"ID"}, C::None, false));
        for (const char* f : {"Account", "User ID", "Job_Code", "ClientID"})
          AddIndex(d, Index1(f, C::Full, true));
        for (const char* f : {"Synch", "End Time", "Start Time"}) AddIndex(d, Index1(f, C::DupByte));
        AddIndex(d, Index1("Invoice", C::Full, true));
      }, {1, 6});
  add("Archive", "1.6", Exactly(1, 6), [](TableDef& d) {
        IndexDef& ix = IndexAt(d, 2);
        ix.unique = false;
        ix.case_insensitive = false;
        ix.descending = false;
      }, {1, 7});
  add("Archive", "1.7", Exactly(1, 7), [](TableDef& d) {
        AddField(d, Field(11, "Printed", FieldType::Boolean));
        AddField(d, Field(12, "Billable", FieldType::Boolean));
        AddField(d, Field(13, "Item", FieldType::String, 10));
        AddField(d, Field(14, "NumItems", FieldType::Word));
      }, {1, 8});

  add("Clients", "major < 2 and minor = 0", MajorBelow2MinorZero(), [](TableDef& d) {
        AddIndex(d, Index1("Name", C::Full, true));
        AddIndex(d, Index1("Contact", C::Full, true));
      }, {1, 1});
  add("Clients", "1.1", Exactly(1, 1), [](TableDef& d) {
        AddField(d, Field(14, "Rate", FieldType::Currency, 0, "0"));
        AddField(d, Field(15, "Active", FieldType::Boolean, 0, "True"));
        AddIndex(d, Index1("Active", C::DupByte));
      }, {1, 2});

  add("Estimate", "major < 2 and minor = 0", MajorBelow2MinorZero(), [](TableDef& d) {
        for (const char* f : {"Account", "JobCode", "ClientID", "UserID"})
          AddIndex(d, Index1(f, C::Full, true));
      }, {1, 1});
  add("Estimate", "1.1", Exactly(1, 1), [](TableDef& d) {
        InsertField(d, 1, Field(10, "Description", FieldType::String, 15));
        int n = 11;
        for (const char* f : {"EstStart", "EstFinish", "ActStart", "ActFinish"})
          AddField(d, Field(n++, f, FieldType::Date, 0, "CURRENT_DATE"));
        AddField(d, Field(15, "Priority", FieldType::Word, 0, "0"));
        AddField(d, Field(16, "Status", FieldType::Word, 0, "0"));
        AddIndex(d, Index1("Status", C::DupByte));
      }, {1, 2});

  add("Expenses", "1.0", Exactly(1, 0), [](TableDef& d) {
        AddField(d, Field(7, "Invoice", FieldType::String, 10));
        AddIndex(d, Index1("Invoice", C::None, true));
      }, {1, 1});
  add("Expenses", "major = 1 and minor < 2", Major1MinorBelow(2),
      [](TableDef& d) { AddField(d, Field(8, "Amount", FieldType::Currency, 0, "0")); }, {1, 2});
  add("Expenses", "1.2", Exactly(1, 2),
      [](TableDef& d) { AddIndex(d, Index1("Description", C::Full, true)); }, {1, 3});
  add("Expenses", "1.3", Exactly(1, 3), [](TableDef& d) {
        AddField(d, Field(9, "ExpenseDate", FieldType::Date, 0, "CURRENT_DATE"));
      }, {1, 4});

  add("TimeHist", "1.0", Exactly(1, 0),
      [](TableDef& d) { AddField(d, Field(8, "ClientID", FieldType::String, 10)); }, {1, 1});
  add("TimeHist", "major = 1 and minor < 2", Major1MinorBelow(2),
      [](TableDef& d) { AddField(d, Field(9, "Synch", FieldType::Boolean)); }, {1, 2});
  add("TimeHist", "major = 1 and minor < 3", Major1MinorBelow(3),
      [](TableDef& d) { DropIndexAt(d, 1); }, {1, 3});
  add("TimeHist", "major = 1 and minor < 4", Major1MinorBelow(4), [](TableDef& d) {
        for (const char* f : {"Account", "User ID", "Job_Code", "ClientID"})
          AddIndex(d, Index1(f, C::None));
      }, {1, 4});
  add("TimeHist", "major = 1 and minor < 5", Major1MinorBelow(5), [](TableDef& d) {
        AddField(d, Field(10, "Invoice", FieldType::String, 10));
        for (const char* f : {"Synch", "End Time", "Start Time"}) AddIndex(d, Index1(f, C::DupByte));
        AddIndex(d, Index1("Invoice", C::Full));
        IndexAt(d, 1).compression = C::DupByte;
        IndexAt(d, 2).compression = C::DupByte;
        IndexAt(d, 3).compression = C::Full;
        IndexAt(d, 4).compression = C::Full;
      }, {1, 5});
  add("TimeHist", "1.5", Exactly(1, 5), [](TableDef& d) {
        AddField(d, Field(11, "Printed", FieldType::Boolean));
        AddIndex(d, Index1("Printed", C::DupByte));
      }, {1, 6});
  add("TimeHist", "1.6", Exactly(1, 6), [](TableDef& d) {
        AddField(d, Field(12, "Billable", FieldType::Boolean));
        AddField(d, Field(13, "Item", FieldType::String, 10));
        AddField(d, Field(14, "NumItems", FieldType::Word));
        AddIndex(d, Index("AccountEndTimeUserId", {"Account", "End Time", "User ID"}, C::DupByte));
      }, {1, 7});

  add("Invoices", "1.0", Exactly(1, 0), [](TableDef& d) {
        d.indexes.clear();
        AddIndex(d, PrimaryIndex({"Invoice"}, C::TrailByte, true));
        AddIndex(d, Index1("Client", C::Full, true));
        AddIndex(d, Index1("Paid", C::DupByte));
      }, {1, 1});

  add("JobCodes", "major < 2 and minor = 0", MajorBelow2MinorZero(), [](TableDef& d) {
        d.indexes.clear();
        AddIndex(d, PrimaryIndex({"Job Code"}, C::TrailByte, true));
        AddIndex(d, Index1("Description", C::Full, true));
      }, {1, 1});
  add("JobCodes", "1.1", Exactly(1, 1), [](TableDef& d) {
        AddField(d, Field(3, "Active", FieldType::Boolean, 0, "True"));
        AddIndex(d, Index1("Active", C::DupByte));
      }, {1, 2});
  add("JobCodes", "1.2", Exactly(1, 2), [](TableDef& d) {
        InsertField(d, 2, Field(4, "Rate", FieldType::Currency));
        InsertField(d, 3, Field(5, "ChargeAccount", FieldType::String, 10));
        AddIndex(d, Index1("Rate", C::DupByte));
        AddIndex(d, Index1("ChargeAccount", C::Full));
      }, {1, 3});

  add("Security", "1.0", Exactly(1, 0),
      [](TableDef& d) { AddField(d, Field(3, "Rate", FieldType::Currency, 0, "0")); }, {1, 1});

  add("WorkGrp", "1.0", Exactly(1, 0), [](TableDef& d) {
        DropIndexAt(d, 0);
        AddIndex(d, PrimaryIndex({"WorkGroup", "User ID"}, C::None, false));
      }, {1, 1});
  add("WorkGrp", "1.1", Exactly(1, 1), [](TableDef& d) {
        d.indexes.clear();
        AddIndex(d, PrimaryIndex({"WorkGroup", "User ID"}, C::None, true));
        AddIndex(d, Index1("User ID", C::Full, true));
      }, {1, 2});
  return s;
}

// The tables whose format is checked, in the installation's order.
const char* const kFormatCheckOrder[] = {"TimeHist", "Archive", "Accounts", "Clients", "Estimate",
                                         "Expenses", "Invoices", "Items",   "JobCodes", "Reports",
                                         "Security", "Users",   "WorkGrp"};

// Tables that have steps, in the order the upgrade visits them.
std::vector<std::string> TablesWithSteps() {
  std::vector<std::string> order;
  for (const auto& step : UpgradeSteps())
    if (order.empty() || order.back() != step.table) order.push_back(step.table);
  return order;
}

void MoveCommentsFile(const std::filesystem::path& dir, Prompter& prompter,
                      UpgradeReport& report) {
  std::error_code ec;
  const auto from = dir / "Comments.txt";
  if (!std::filesystem::exists(from, ec)) return;
  std::filesystem::rename(from, dir / "Comments.Dat", ec);
  if (ec) {
    std::string message = "Cannot move " + from.string() + ": " + ec.message();
    report.errors.push_back(message);
    prompter.Show(message, "Error", MessageKind::Error);
  }
}

// Brings one table to its current version. Returns false when the table was in use elsewhere.
bool UpgradeTable(engine::Database& db, const std::string& table, Prompter& prompter,
                  UpgradeReport& report) {
  auto show_error = [&](const std::string& message) {
    report.errors.push_back(message);
    prompter.Show(message, "Error", MessageKind::Error);
  };
  try {
    if (!db.TableExists(table)) return true;  // the presence check reports missing tables
    const std::string schema = db.ResolveTable(table);
    TableDef def = db.Definition(schema);
    StepsApplied applied = ApplyUpgradeSteps(def);
    if (applied.count > 0) {
      if (auto current = engine::CurrentTableDef(table)) def.title = current->title;
      db.DetachIdle();  // our own shared hold would refuse the exclusive open
      engine::Restructure(db, table, def);
      report.upgraded.push_back(table);
    }
    if (!applied.error.empty()) show_error(applied.error);
  } catch (const engine::EngineError& e) {
    if (e.code() == engine::kErrAccessDenied) return false;
    show_error(e.what());
  } catch (const std::exception& e) {
    show_error(e.what());
  }
  return true;
}

}  // namespace

const std::vector<UpgradeStep>& UpgradeSteps() {
  static const std::vector<UpgradeStep> steps = MakeSteps();
  return steps;
}

StepsApplied ApplyUpgradeSteps(TableDef& def) {
  StepsApplied result;
  for (const auto& step : UpgradeSteps()) {
    if (!engine::SameName(step.table, def.name) || !step.applies(def.version)) continue;
    TableDef next = def;
    try {
      step.change(next);
    } catch (const std::exception& e) {
      result.error = e.what();
      return result;
    }
    next.version = step.to;
    def = std::move(next);
    ++result.count;
  }
  return result;
}

void CheckTableFormat(engine::Database& db, std::string_view table) {
  try {
    engine::Table t(db, std::string(table));
    t.Open();
    t.Close();
  } catch (const engine::EngineError& e) {
    if (e.code() != engine::kErrOldFormat) return;
    db.DetachIdle();
    engine::ConvertTableFile(db, table);
  }
}

UpgradeReport UpdateDatabase(engine::Database& db, Prompter& prompter) {
  UpgradeReport report;
  MoveCommentsFile(db.directory(), prompter, report);
  for (const char* table : kFormatCheckOrder) {
    try {
      CheckTableFormat(db, table);
    } catch (const std::exception& e) {
      report.errors.push_back(e.what());
      prompter.Show(e.what(), "Error", MessageKind::Error);
    }
  }
  for (const auto& table : TablesWithSteps())
    if (!UpgradeTable(db, table, prompter, report)) report.update_failed = true;
  db.DetachIdle();
  if (report.update_failed)
    prompter.Show(TranslateMessage(kUpdateFailedMessage), "Warning", MessageKind::Warning);
  return report;
}

}  // namespace tikora::admin
