// The pieces of HTML that the main page and the time sheet page insert into their templates: the
// option lists of charge accounts, job codes and clients, the expense item rows, the blocks
// around the job code and client lists, and the rows of the weekly time sheet grid.
//
// The texts are exact: browsers post the field names back and the page handlers read them. Every
// stored value is HTML-escaped and every attribute value is quoted, so a value with a blank, a
// quote or a "<" comes back as it was stored. Options follow each other without line breaks.
// The builders take the listed values in table order (primary index order); they read no table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"

namespace tikora::web {

// The grid always offers this many rows.
inline constexpr int kSheetRows = 10;

// The charge account options, optionally after a blank one; the option equal to `select` (exact)
// is marked SELECTED. Sets config.LastAcct to the selected account when it is listed, else to the
// first account (empty when there is none).
std::string AccountOptions(TConfig& config, const std::vector<std::string>& accounts,
                           bool blank_first, std::string_view select);

// Nothing when JobCodeVis is off. Otherwise a blank option unless ForceJobCode is on, then every
// job code, the one equal to `select` marked SELECTED.
std::string JobCodeOptions(const TConfig& config, const std::vector<std::string>& job_codes,
                           std::string_view select);

// As JobCodeOptions, with ClientVis and ForceClient.
std::string ClientOptions(const TConfig& config, const std::vector<std::string>& clients,
                          std::string_view select);

// Nothing when ItemVis is off. Otherwise two table rows: the headings "Item" and "Amount", then
// the "Item" list (a blank option, the first item SELECTED) and the "Amount" list 0 to 5.
std::string ItemRows(const TConfig& config, const std::vector<std::string>& items);

// The two table rows of the main page around the job code or client list: the term (escaped)
// spanning two columns, then the list named `field_name` with `options` inside.
std::string SelectBlock(std::string_view term, std::string_view field_name,
                        std::string_view options);

// The values that the grid's lists offer.
struct LookupLists {
  std::vector<std::string> accounts;
  std::vector<std::string> job_codes;
  std::vector<std::string> clients;
};

// One grid row per sheet row (fields read with CsvField, separator ";": account, job code,
// client, hours of days 1 to 7, comment), padded with empty rows up to kSheetRows. Fields of row r
// are Account<r>, JobCode<r>, Client<r>, D<d><r> (d = 1..7) and Comments<r>. A row with a charge
// account also carries the group and comment it shows as hidden OrigAccount<r>, OrigJobCode<r>,
// OrigClient<r> and OrigComments<r>, and each visible list offers the row's stored value, selected, even when the
// list's table does not hold it (exactly).
std::string TimeSheetGrid(TConfig& config, const LookupLists& lists,
                          const std::vector<std::string>& sheet_rows);

}  // namespace tikora::web
