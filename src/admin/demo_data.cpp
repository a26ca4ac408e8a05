#include "admin/demo_data.h"

#include <functional>

#include "core/datetime.h"
#include "core/password.h"
#include "engine/table.h"

namespace tikora::admin {
namespace {

using engine::Value;
using Row = std::vector<std::pair<const char*, Value>>;

Value T(const char* text) { return Value::Text(text); }
Value B(bool b) { return Value::Boolean(b); }
Value N(double d) { return Value::Float(d); }
Value I(std::int64_t i) { return Value::Integer(i); }

// Appends `rows` to `table` when it is empty; returns whether it did.
bool FillIfEmpty(engine::Database& db, const char* table, const std::vector<Row>& rows) {
  engine::Table t(db, table);
  t.Open();
  if (t.RecordCount() > 0) return false;
  db.StartTransaction({table});
  try {
    for (const auto& row : rows) {
      t.Append();
      for (const auto& [field, value] : row) t.SetFieldValue(field, value);
      t.Post();
    }
    db.Commit();
  } catch (...) {
    db.Rollback();
    throw;
  }
  return true;
}

std::vector<Row> ReportCatalogue() {
  const std::pair<const char*, const char*> entries[] = {
      {"Time Sheet by Charge Account", "rTimeSheet.frf"},
      {"Time Sheet by Job Code", "rTimeSheet.frf"},
      {"Time Sheet by Charge Account and Job Code", "rTimeSheet.frf"},
      {"Detail Time Report", "rDetailProjDate.frf"},
      {"Detail by Charge Account and Date", "rProjectSummary.frf"},
      {"Summary by Charge Account and Job Code", "rProjCodeSummary.frf"},
      {"Invoice", "rInvoice.frf"},
      {"Per Week Report", "rPerWeek.frf"},
      {"Report by Charge Account and Job Code", "rProject.frf"},
      {"Summary by Charge Account and User", "rProjSummUser.frf"},
  };
  std::vector<Row> rows;
  std::int64_t id = 1;
  for (const auto& [title, file] : entries) {
    rows.push_back({{"ReportID", I(id)}, {"ReportTitle", T(title)}, {"FileName", T(file)},
                    {"Position", I(id)}, {"Visible", B(true)}});
    ++id;
  }
  return rows;
}

// Finished records of the ordinary user and the superuser over the two weeks before `today`
// (never on `today` itself, so a new installation starts the day with no hours booked), enough
// for every catalogue report to show groups, totals and an invoice.
std::vector<Row> TimeRecords(DateTime today) {
  struct Entry {
    const char* user;
    const char* account;
    const char* job;
    const char* client;
    int days_back;
    int start_hour, start_minute, end_hour, end_minute;
    const char* comment;
    bool billable;
  };
  const Entry entries[] = {
      {"jsmith", "WEB01", "DEV", "ACME", 3, 8, 30, 12, 0, "Product pages", true},
      {"jsmith", "WEB01", "MEET", "ACME", 3, 13, 0, 14, 15, "Review with the client", true},
      {"jsmith", "MAINT", "SUPP", "BOLT", 2, 9, 0, 11, 30, "Backup check", true},
      {"jsmith", "WEB01", "DEV", "ACME", 1, 9, 15, 12, 45, "Checkout flow", true},
      {"jsmith", "INTERN", "DOC", "", 1, 13, 30, 15, 0, "Team handbook", false},
      {"Superuser", "WEB01", "DOC", "ACME", 2, 10, 0, 12, 30, "Editor guide", true},
      {"Superuser", "ADMIN", "MEET", "", 4, 9, 0, 10, 0, "Weekly planning", false},
      {"jsmith", "WEB01", "DEV", "ACME", 8, 8, 45, 12, 15, "Product search", true},
      {"jsmith", "WEB01", "MEET", "ACME", 9, 14, 0, 15, 30, "Kick-off", true},
      {"jsmith", "MAINT", "SUPP", "BOLT", 10, 10, 0, 11, 0, "Server updates", true},
      {"Superuser", "MAINT", "SUPP", "BOLT", 11, 8, 0, 9, 45, "Mail outage", true},
      {"Superuser", "ADMIN", "MEET", "", 11, 13, 0, 14, 0, "Weekly planning", false},
  };
  auto at = [&](int days_back, int hour, int minute) {
    return Value::Date(DateTime(today.days - days_back + (hour * 60 + minute) / 1440.0));
  };
  std::vector<Row> rows;
  for (const Entry& e : entries) {
    rows.push_back({{"User ID", T(e.user)}, {"Account", T(e.account)}, {"Job_Code", T(e.job)},
                    {"ClientID", T(e.client)}, {"Start Time", at(e.days_back, e.start_hour, e.start_minute)},
                    {"End Time", at(e.days_back, e.end_hour, e.end_minute)},
                    {"Comments", T(e.comment)}, {"Billable", B(e.billable)}});
  }
  return rows;
}

std::vector<Row> Expenses(DateTime today) {
  auto day = [&](int days_back) { return Value::Date(DateTime(today.days - days_back)); };
  return {
      {{"UserID", T("jsmith")}, {"Account", T("WEB01")}, {"JobCode", T("MEET")},
       {"ClientID", T("ACME")}, {"Description", T("Travel to the client (120 km)")},
       {"Amount", N(36)}, {"ExpenseDate", day(3)}},
      {{"UserID", T("jsmith")}, {"Account", T("WEB01")}, {"JobCode", T("DEV")},
       {"ClientID", T("ACME")}, {"Description", T("Hosting, test shop")}, {"Amount", N(25)},
       {"ExpenseDate", day(8)}},
  };
}

}  // namespace

std::vector<DemoLogin> FillDemoData(engine::Database& db) {
  FillIfEmpty(db, "Clients", {
      {{"ClientID", T("ACME")}, {"Name", T("Acme Trading Ltd")}, {"Contact", T("Ann Miller")},
       {"City", T("Springfield")}, {"Rate", N(85)}, {"Active", B(true)}},
      {{"ClientID", T("BOLT")}, {"Name", T("Bolt & Nut Works")}, {"Contact", T("Ben Ortiz")},
       {"City", T("Riverton")}, {"Rate", N(65)}, {"Active", B(true)}},
  });
  FillIfEmpty(db, "Accounts", {
      {{"Charge Account", T("ADMIN")}, {"Description", T("Administration")}, {"Rate", N(0)}},
      {{"Charge Account", T("WEB01")}, {"Description", T("Web shop redesign")}, {"Rate", N(85)},
       {"Client", T("ACME")}},
      {{"Charge Account", T("MAINT")}, {"Description", T("Maintenance contract")},
       {"Rate", N(65)}, {"Client", T("BOLT")}},
      {{"Charge Account", T("INTERN")}, {"Description", T("Internal projects")}, {"Rate", N(0)}},
  });
  FillIfEmpty(db, "JobCodes", {
      {{"Job Code", T("DEV")}, {"Description", T("Development")}, {"Rate", N(90)}},
      {{"Job Code", T("MEET")}, {"Description", T("Meetings")}, {"Rate", N(70)}},
      {{"Job Code", T("SUPP")}, {"Description", T("Support")}, {"Rate", N(65)},
       {"ChargeAccount", T("MAINT")}},
      {{"Job Code", T("DOC")}, {"Description", T("Documentation")}, {"Rate", N(60)}},
  });
  FillIfEmpty(db, "Items", {
      {{"ItemID", T("TRAVEL")}, {"Description", T("Travel (per km)")}, {"Cost", N(0.3)}},
      {{"ItemID", T("HOSTING")}, {"Description", T("Hosting (per month)")}, {"Cost", N(25)}},
  });
  FillIfEmpty(db, "WorkGrp", {
      {{"WorkGroup", T("Office")}, {"User ID", T("Administrator")}},
      {{"WorkGroup", T("Office")}, {"User ID", T("jsmith")}},
  });
  FillIfEmpty(db, "Reports", ReportCatalogue());
  FillIfEmpty(db, "TimeHist", TimeRecords(Today()));
  FillIfEmpty(db, "Expenses", Expenses(Today()));

  std::vector<DemoLogin> logins = {{"Administrator", RandomHex(6)},
                                   {"Superuser", RandomHex(6)},
                                   {"jsmith", RandomHex(6)}};
  std::vector<Row> rows;
  for (const auto& l : logins)
    rows.push_back({{"LoginID", T(l.login_id.c_str())}, {"Password", Value::Text(HashPassword(l.password))},
                    {"Rate", N(0)}});
  if (!FillIfEmpty(db, "Security", rows)) logins.clear();
  return logins;
}

}  // namespace tikora::admin
