#include "web/fragments.h"

#include "core/text_helpers.h"
#include "web/html.h"

namespace tikora::web {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kBlankOption = "\t\t\t<OPTION></OPTION>";

std::string Option(std::string_view value, bool selected) {
  std::string html = selected ? "\t\t\t<OPTION SELECTED>" : "\t\t\t<OPTION>";
  html += HtmlEscape(value);
  html += "</OPTION>";
  return html;
}

std::string CodeOptions(bool visible, bool forced, const std::vector<std::string>& values,
                        std::string_view select) {
  if (!visible) return {};
  std::string html = forced ? std::string() : std::string(kBlankOption);
  for (const auto& value : values) html += Option(value, value == select);
  return html;
}

// A day or comment input of the grid; an empty `value` with `has_value` false writes no value.
std::string GridInput(std::string_view width, std::string_view size, const std::string& name,
                      const std::string* value) {
  std::string html = "    <TD width=\"";
  html += width;
  html += "\"><INPUT size=\"";
  html += size;
  html += "\" name=\"" + name + "\"";
  if (value != nullptr) html += " value=\"" + HtmlEscape(*value) + "\"";
  html += ">";
  return html;
}

// A stored value that its list does not offer (a code removed from its table, or stored in
// another letter case), as one more option, selected: without it the browser would select another
// option and the save would move the row's hours to that one.
std::string StoredValueOption(const std::vector<std::string>& listed, const std::string& stored) {
  if (stored.empty()) return {};
  for (const auto& value : listed)
    if (value == stored) return {};
  return Option(stored, true);
}

// The group (charge account, job code, client) a row was loaded with, as hidden inputs, so that
// the save replaces that group's hours even when a list cannot show or post its value; and the
// comment shown, so that the save can tell an edited comment from one posted back unchanged.
std::string LoadedGroupInputs(const std::string& r, const std::string& account,
                              const std::string& job_code, const std::string& client,
                              const std::string& comment) {
  auto hidden = [&](const char* name, const std::string& value) {
    return "<INPUT type=\"hidden\" name=\"" + std::string(name) + r + "\" value=\"" +
           HtmlEscape(value) + "\">";
  };
  return hidden("OrigAccount", account) + hidden("OrigJobCode", job_code) +
         hidden("OrigClient", client) + hidden("OrigComments", comment);
}

std::string GridRow(TConfig& config, const LookupLists& lists, int row, const std::string* line) {
  const std::string r = std::to_string(row);
  auto field = [&](int index) { return line ? CsvField(*line, ';', index) : std::string(); };
  const std::string account = field(0), job_code = field(1), client = field(2);
  std::string html = "  <TR>\r\n";
  html += "    <TD width=\"9%\"><SELECT name=\"Account" + r + "\">" +
          AccountOptions(config, lists.accounts, true, account) +
          StoredValueOption(lists.accounts, account) + "</SELECT>";
  const std::string comment = field(10);
  if (!account.empty()) html += LoadedGroupInputs(r, account, job_code, client, comment);
  html += "</TD>\r\n";
  html += "    <TD width=\"9%\"><SELECT name=\"JobCode" + r + "\">" +
          JobCodeOptions(config, lists.job_codes, job_code) +
          (config.JobCodeVis ? StoredValueOption(lists.job_codes, job_code) : std::string()) +
          "</SELECT></TD>\r\n";
  html += "    <TD width=\"9%\"><SELECT name=\"Client" + r + "\">" +
          ClientOptions(config, lists.clients, client) +
          (config.ClientVis ? StoredValueOption(lists.clients, client) : std::string()) +
          "</SELECT></TD>\r\n";
  for (int d = 1; d <= 7; ++d) {
    const std::string value = field(d + 2);
    html += GridInput("4%", "2", "D" + std::to_string(d) + r, line ? &value : nullptr);
    html += "</TD>\r\n";
  }
  html += GridInput("45%", "40", "Comments" + r, line ? &comment : nullptr);
  html += "</TD></TR>\r\n";
  return html;
}

}  // namespace

std::string AccountOptions(TConfig& config, const std::vector<std::string>& accounts,
                           bool blank_first, std::string_view select) {
  std::string html = blank_first ? std::string(kBlankOption) : std::string();
  std::string remembered = accounts.empty() ? std::string() : accounts.front();
  for (const auto& account : accounts) {
    const bool selected = account == select;
    if (selected) remembered = account;
    html += Option(account, selected);
  }
  config.LastAcct = remembered;
  return html;
}

std::string JobCodeOptions(const TConfig& config, const std::vector<std::string>& job_codes,
                           std::string_view select) {
  return CodeOptions(config.JobCodeVis, config.ForceJobCode, job_codes, select);
}

std::string ClientOptions(const TConfig& config, const std::vector<std::string>& clients,
                          std::string_view select) {
  return CodeOptions(config.ClientVis, config.ForceClient, clients, select);
}

std::string ItemRows(const TConfig& config, const std::vector<std::string>& items) {
  if (!config.ItemVis) return {};
  std::string html =
      "\t<TR>\r\n"
      "\t\t<TD WIDTH=\"50%\">Item</TD>\r\n"
      "\t\t<TD WIDTH=\"50%\">Amount</TD>\r\n"
      "\t</TR>\r\n"
      "\t<TR>\r\n"
      "\t\t<TD WIDTH=\"50%\">\r\n"
      "\t\t\t<SELECT NAME=\"Item\">\r\n";
  html += kBlankOption;
  bool first = true;
  for (const auto& item : items) {
    html += Option(item, first);
    first = false;
  }
  html +=
      "\t\t\t</SELECT>\r\n"
      "\t\t</TD>\r\n"
      "\t\t<TD WIDTH=\"50%\">\r\n"
      "\t\t\t<SELECT NAME=\"Amount\">\r\n"
      "\t\t\t<OPTION SELECTED>0</OPTION>\r\n";
  for (int n = 1; n <= 5; ++n) html += "\t\t\t<OPTION>" + std::to_string(n) + "</OPTION>\r\n";
  html +=
      "\t\t\t</SELECT>\r\n"
      "\t\t</TD>\r\n"
      "\t</TR>\r\n";
  return html;
}

std::string SelectBlock(std::string_view term, std::string_view field_name,
                        std::string_view options) {
  // Each piece is followed by one more line break.
  auto piece = [](std::string_view text) {
    std::string html(text);
    html += kCrLf;
    return html;
  };
  std::string html = piece("\t<TR>\r\n");
  html += piece("\t\t<TD COLSPAN=\"2\">" + HtmlEscape(term) + "</TD>\r\n");
  html += piece("\t</TR>\r\n");
  html += piece("\t<TR>\r\n");
  html += piece("\t\t<TD COLSPAN=\"2\">\r\n");
  html += piece("\t\t\t<SELECT NAME=\"" + std::string(field_name) + "\">\r\n");
  html += options;
  html += piece("\t\t\t</SELECT>\r\n");
  html += piece("\t\t</TD>\r\n");
  html += piece("\t</TR>\r\n");
  return html;
}

std::string TimeSheetGrid(TConfig& config, const LookupLists& lists,
                          const std::vector<std::string>& sheet_rows) {
  std::string html;
  int row = 0;
  for (const auto& line : sheet_rows) html += GridRow(config, lists, row++, &line);
  for (; row < kSheetRows; ++row) html += GridRow(config, lists, row, nullptr);
  return html;
}

}  // namespace tikora::web
