#include "engine/schema.h"

#include <algorithm>
#include <cctype>

namespace tikora::engine {
namespace {

using T = FieldType;
using C = IndexCompression;

// Builders that keep the table below readable. Base fields get numbers 1..n by position; fields
// that an upgrade step adds carry the number that step gives them.
FieldDef F(int number, std::string name, FieldType type, int size = 0, bool required = false,
           std::string default_value = {}) {
  return FieldDef{number, std::move(name), type, size, required, std::move(default_value)};
}

IndexDef Primary(std::vector<std::string> fields, C compression = C::None, bool ci = false) {
  return IndexDef{"", std::move(fields), true, true, ci, false, compression};
}

IndexDef Ix(std::string name, std::vector<std::string> fields, C compression,
            bool case_insensitive = false, bool unique = false) {
  return IndexDef{std::move(name), std::move(fields), false, unique, case_insensitive, false,
                  compression};
}

IndexDef Ix1(std::string name, C compression, bool case_insensitive = false) {
  std::vector<std::string> fields{name};
  return Ix(std::move(name), std::move(fields), compression, case_insensitive);
}

// The fields every time record has, in the order of the time history table.
std::vector<FieldDef> TimeRecordFields(int count) {
  std::vector<FieldDef> all = {
      F(1, "ID", T::AutoInc, 0, true), F(2, "User ID", T::String, 15),
      F(3, "Account", T::String, 10),  F(4, "Job_Code", T::String, 10),
      F(5, "Start Time", T::Timestamp), F(6, "End Time", T::Timestamp),
      F(7, "Comments", T::Memo),       F(8, "ClientID", T::String, 10),
      F(9, "Synch", T::Boolean),       F(10, "Invoice", T::String, 10),
      F(11, "Printed", T::Boolean),    F(12, "Billable", T::Boolean),
      F(13, "Item", T::String, 10),    F(14, "NumItems", T::Word),
  };
  all.resize(static_cast<std::size_t>(count));
  return all;
}

std::vector<TableDef> MakeCurrent() {
  std::vector<TableDef> t;
  t.push_back({"TimeHist", "TimeHist.DAT", "Time History", {1, 7}, TimeRecordFields(14),
               {Primary({"ID"}), Ix1("Account", C::DupByte), Ix1("User ID", C::DupByte),
                Ix1("Job_Code", C::Full), Ix1("ClientID", C::Full), Ix1("Synch", C::DupByte),
                Ix1("End Time", C::DupByte), Ix1("Start Time", C::DupByte),
                Ix1("Invoice", C::Full), Ix1("Printed", C::DupByte),
                Ix("AccountEndTimeUserId", {"Account", "End Time", "User ID"}, C::DupByte)}});
  t.push_back({"Archive", "Archive.DAT", "Time History Archive", {1, 8}, TimeRecordFields(14),
               {Primary({"ID"}), Ix1("Account", C::Full, true), Ix1("User ID", C::Full),
                Ix1("Job_Code", C::Full, true), Ix1("ClientID", C::Full, true),
                Ix1("Synch", C::DupByte), Ix1("End Time", C::DupByte),
                Ix1("Start Time", C::DupByte), Ix1("Invoice", C::Full, true)}});
  t.push_back({"Accounts", "Accounts.DAT", "Charge Accounts", {1, 3},
               {F(1, "Charge Account", T::String, 10, true), F(2, "Description", T::String, 25),
                F(3, "Rate", T::Currency), F(4, "Client", T::String, 10),
                F(5, "Active", T::Boolean, 0, false, "True")},
               {Primary({"Charge Account"}), Ix1("Description", C::Full, true),
                Ix1("Rate", C::Full), Ix1("Client", C::Full, true), Ix1("Active", C::DupByte)}});
  t.push_back({"JobCodes", "JobCodes.DAT", "Job Codes", {1, 3},
               {F(1, "Job Code", T::String, 10, true), F(2, "Description", T::String, 25),
                F(4, "Rate", T::Currency), F(5, "ChargeAccount", T::String, 10),
                F(3, "Active", T::Boolean, 0, false, "True")},
               {Primary({"Job Code"}, C::TrailByte, true), Ix1("Description", C::Full, true),
                Ix1("Active", C::DupByte), Ix1("Rate", C::DupByte),
                Ix1("ChargeAccount", C::Full)}});
  t.push_back({"Clients", "Clients.DAT", "Clients", {1, 2},
               {F(1, "ClientID", T::String, 10, true), F(2, "Name", T::String, 50),
                F(3, "Contact", T::String, 50), F(4, "Address1", T::String, 20),
                F(5, "Address2", T::String, 20), F(6, "City", T::String, 15),
                F(7, "State", T::String, 15), F(8, "Country", T::String, 15),
                F(9, "Postal", T::String, 15), F(10, "E-mail", T::String, 50),
                F(11, "Web", T::String, 50), F(12, "Phone", T::String, 20),
                F(13, "Fax", T::String, 20), F(14, "Rate", T::Currency, 0, false, "0"),
                F(15, "Active", T::Boolean, 0, false, "True")},
               {Primary({"ClientID"}), Ix1("Name", C::Full, true), Ix1("Contact", C::Full, true),
                Ix1("Active", C::DupByte)}});
  t.push_back({"Estimate", "Estimate.DAT", "Estimates", {1, 2},
               {F(1, "EstID", T::AutoInc, 0, true), F(10, "Description", T::String, 15),
                F(2, "Account", T::String, 10), F(3, "JobCode", T::String, 10),
                F(4, "ClientID", T::String, 10), F(5, "UserID", T::String, 15),
                F(6, "EstHrs", T::Float), F(7, "ActHrs", T::Float), F(8, "EstCost", T::Currency),
                F(9, "ActCost", T::Currency), F(11, "EstStart", T::Date, 0, false, "CURRENT_DATE"),
                F(12, "EstFinish", T::Date, 0, false, "CURRENT_DATE"),
                F(13, "ActStart", T::Date, 0, false, "CURRENT_DATE"),
                F(14, "ActFinish", T::Date, 0, false, "CURRENT_DATE"),
                F(15, "Priority", T::Word, 0, false, "0"), F(16, "Status", T::Word, 0, false, "0")},
               {Ix1("Account", C::Full, true), Ix1("JobCode", C::Full, true),
                Ix1("ClientID", C::Full, true), Ix1("UserID", C::Full, true),
                Ix1("Status", C::DupByte)}});
  t.push_back({"Expenses", "Expenses.DAT", "Expenses", {1, 4},
               {F(1, "ExpenseID", T::AutoInc, 0, true), F(2, "UserID", T::String, 15),
                F(3, "Account", T::String, 10), F(4, "JobCode", T::String, 10),
                F(5, "ClientID", T::String, 10), F(6, "Description", T::String, 50),
                F(7, "Invoice", T::String, 10), F(8, "Amount", T::Currency, 0, false, "0"),
                F(9, "ExpenseDate", T::Date, 0, false, "CURRENT_DATE")},
               {Ix1("Invoice", C::None, true), Ix1("Description", C::Full, true)}});
  t.push_back({"Invoices", "Invoices.DAT", "Invoices", {1, 1},
               {F(1, "Invoice", T::String, 10, true), F(2, "Client", T::String, 10),
                F(3, "Paid", T::Boolean)},
               {Primary({"Invoice"}, C::TrailByte, true), Ix1("Client", C::Full, true),
                Ix1("Paid", C::DupByte)}});
  t.push_back({"Security", "Security.DAT", "Logins", {1, 1},
               {F(1, "LoginID", T::String, 30, true), F(2, "Password", T::String, 255),
                F(3, "Rate", T::Currency, 0, false, "0")},
               {Primary({"LoginID"})}});
  t.push_back({"WorkGrp", "WorkGrp.Dat", "Workgroups", {1, 2},
               {F(1, "WorkGroup", T::String, 20, true), F(2, "User ID", T::String, 30, true)},
               {Primary({"WorkGroup", "User ID"}, C::None, true), Ix1("User ID", C::Full, true)}});
  t.push_back({"Items", "Items.DAT", "", {1, 0},
               {F(1, "ItemID", T::String, 10, true), F(2, "Description", T::String, 50),
                F(3, "Cost", T::Currency)},
               {Primary({"ItemID"})}});
  t.push_back({"Reports", "Reports.DAT", "", {1, 0},
               {F(1, "ReportID", T::Integer), F(2, "ReportTitle", T::String, 50, true),
                F(3, "FileName", T::String, 255), F(4, "Position", T::Integer),
                F(5, "Visible", T::Boolean)},
               {Primary({"ReportTitle"})}});
  t.push_back({"Users", "Users.DAT", "", {1, 0},
               {F(1, "LoginID", T::String, 30, true), F(2, "LastIn", T::Timestamp),
                F(3, "LastOut", T::Timestamp)},
               {Primary({"LoginID"})}});
  return t;
}

// The oldest layouts: what the upgrade steps start from.
std::vector<TableDef> MakeBase(const std::vector<TableDef>& current) {
  auto cur = [&](std::string_view name) {
    return *std::find_if(current.begin(), current.end(),
                         [&](const TableDef& d) { return d.name == name; });
  };
  std::vector<TableDef> t;
  t.push_back({"TimeHist", "TimeHist.DAT", "Time History", {1, 0}, TimeRecordFields(7),
               {Primary({"ID"}), Ix("AcctUser", {"Account", "User ID"}, C::None)}});
  t.push_back({"Archive", "Archive.DAT", "Time History Archive", {1, 0}, TimeRecordFields(9),
               {Primary({"ID"}), Ix("AcctUser", {"Account", "User ID"}, C::None)}});
  TableDef accounts = cur("Accounts");
  accounts.version = {1, 0};
  accounts.fields.resize(4);
  accounts.indexes = {Primary({"Charge Account"})};
  t.push_back(accounts);
  t.push_back({"JobCodes", "JobCodes.DAT", "Job Codes", {1, 0},
               {F(1, "Job Code", T::String, 10, true), F(2, "Description", T::String, 25)},
               {Primary({"Job Code"})}});
  TableDef clients = cur("Clients");
  clients.version = {1, 0};
  clients.fields.resize(13);
  clients.indexes = {Primary({"ClientID"})};
  t.push_back(clients);
  t.push_back({"Estimate", "Estimate.DAT", "Estimates", {1, 0},
               {F(1, "EstID", T::AutoInc, 0, true), F(2, "Account", T::String, 10),
                F(3, "JobCode", T::String, 10), F(4, "ClientID", T::String, 10),
                F(5, "UserID", T::String, 15), F(6, "EstHrs", T::Float), F(7, "ActHrs", T::Float),
                F(8, "EstCost", T::Currency), F(9, "ActCost", T::Currency)},
               {}});
  TableDef expenses = cur("Expenses");
  expenses.version = {1, 0};
  expenses.fields.resize(6);
  expenses.indexes = {};
  t.push_back(expenses);
  t.push_back({"Invoices", "Invoices.DAT", "Invoices", {1, 0},
               {F(1, "Invoice", T::String, 10, true), F(2, "Client", T::String, 10),
                F(3, "Paid", T::Boolean)},
               {Primary({"Invoice"})}});
  t.push_back({"Security", "Security.DAT", "Security", {1, 0},
               {F(1, "LoginID", T::String, 30, true), F(2, "Password", T::String, 255)},
               {Primary({"LoginID"})}});
  t.push_back({"WorkGrp", "WorkGrp.Dat", "Workgroups", {1, 0},
               {F(1, "WorkGroup", T::String, 20, true), F(2, "User ID", T::String, 30, true)},
               {Primary({"WorkGroup"}), Ix1("User ID", C::None)}});
  t.push_back(cur("Items"));
  t.push_back(cur("Reports"));
  t.push_back(cur("Users"));
  return t;
}

const std::vector<TableDef>& Current() {
  static const std::vector<TableDef> defs = MakeCurrent();
  return defs;
}

const std::vector<TableDef>& Base() {
  static const std::vector<TableDef> defs = MakeBase(Current());
  return defs;
}

std::optional<TableDef> Find(const std::vector<TableDef>& defs, std::string_view table) {
  for (const auto& d : defs)
    if (SameName(d.name, table)) return d;
  return std::nullopt;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view CompressionName(IndexCompression c) {
  switch (c) {
    case C::None: return "NONE";
    case C::DupByte: return "DUPBYTE";
    case C::TrailByte: return "TRAILBYTE";
    case C::Full: return "FULL";
  }
  return "NONE";
}

std::optional<IndexCompression> CompressionFromName(std::string_view name) {
  for (C c : {C::None, C::DupByte, C::TrailByte, C::Full})
    if (SameName(CompressionName(c), name)) return c;
  return std::nullopt;
}

const FieldDef* TableDef::FindField(std::string_view field) const {
  for (const auto& f : fields)
    if (SameName(f.name, field)) return &f;
  return nullptr;
}

int TableDef::FieldIndex(std::string_view field) const {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (SameName(fields[i].name, field)) return static_cast<int>(i);
  return -1;
}

const IndexDef* TableDef::FindIndex(std::string_view index) const {
  for (const auto& i : indexes)
    if (index.empty() ? i.primary : (!i.primary && SameName(i.name, index))) return &i;
  return nullptr;
}

const IndexDef* TableDef::PrimaryIndex() const { return FindIndex(""); }

const std::vector<std::string>& DataTableNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (const auto& d : Current()) n.push_back(d.name);
    return n;
  }();
  return names;
}

std::optional<TableDef> CurrentTableDef(std::string_view table) { return Find(Current(), table); }
std::optional<TableDef> BaseTableDef(std::string_view table) { return Find(Base(), table); }

TableDef MemTimeSheetDef() {
  std::vector<FieldDef> fields = {F(1, "ID", T::AutoInc, 0, true),
                                  F(2, "Account", T::String, 25, true),
                                  F(3, "Code", T::String, 10)};
  int n = 4;
  for (const char* day : {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"})
    fields.push_back(F(n++, day, T::Float));
  fields.push_back(F(n++, "ClientID", T::String, 10));
  fields.push_back(F(n++, "WeekStart", T::Date));
  return {"memTimeSheet", "memTimeSheet.DAT", "", {1, 0}, fields,
          {Primary({"ID"}), Ix("Account", {"WeekStart", "Account", "Code"}, C::None, true),
           Ix("Code", {"WeekStart", "Code"}, C::None, true),
           Ix("Client", {"Account", "Code", "ClientID"}, C::None, true)}};
}

}  // namespace tikora::engine
