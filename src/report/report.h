// One report engine instance: a loaded definition, its data sources and callbacks, and the
// build of its pages.
//
// Typical run:
//
//   Report report;
//   if (!report.LoadFromFile(path)) { ...the file is missing... }
//   Report::SetGlobalVariable("varDateFrom", "05/06/2024");
//   QueryRowSource rows(query);
//   report.BindDataSource("frDBDataSet1", &rows);
//   PageModel pages = report.BuildPages();   // then WritePdf / ExportHtml / PaintPage ...
//
// Layout (BuildPages): the report title bands open the first page, the page headers follow on
// every page and the page footers close it at the bottom margin. The master data band prints once
// per row of its data source; group headers and footers around it break on a change of their
// condition's value (footers pair with headers from the inside out: the first group footer in
// the definition closes the last group header). Then the detail bands print the rows of the
// second data source (header, rows, footer; nothing when it has no rows), then the summary.
// A band never splits: one that does not fit moves whole to the next page; a header marked
// keep-with-next also takes the first band after it along. Stretching texts grow their band.
//
// Aggregates see the rows of their band's scope: a group header or footer its group, a page
// footer the master rows on its page, a detail band the detail rows, a data band the rows of its
// innermost group (all rows without groups), every other band all master rows.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "core/datetime.h"
#include "report/definition.h"
#include "report/expression.h"
#include "report/page_model.h"
#include "report/row_source.h"

namespace tikora::report {

class Report;

inline constexpr const char* kMasterDataSet = "frDBDataSet1";
inline constexpr const char* kDetailDataSet = "frDBDataSet2";

// The object about to be printed, as the before-print callback sees it. The callback may change
// the text or hide the object.
struct PrintingObject {
  std::string name;
  ObjectKind kind = ObjectKind::Text;
  std::string text;  // expressions already replaced
  bool visible = true;
};

class Report {
 public:
  Report() = default;

  // ---- The definition
  void Clear();  // an empty definition: no bands, no variables, A4 page, empty title
  // Loads a definition; false (and the definition cleared) when the file does not exist.
  // Throws ReportError for a file that cannot be read or is no valid definition.
  bool LoadFromFile(const std::string& path);
  // Writes the definition (atomically: a temporary file renamed into place).
  void SaveToFile(const std::string& path) const;
  Definition& definition() { return def_; }
  const Definition& definition() const { return def_; }

  // ---- Variables
  // The text of a variable the definition defines, or nullopt.
  std::optional<std::string> Variable(const std::string& name) const;
  // A variable's value as an expression sees it (a definition variable with [expressions] is
  // expanded; global variables come first). Throws ReportError for an unknown name.
  Value VariableValue(const std::string& name);
  // Global variables are shared by every instance of the process and keep their values until
  // set again. An expression finds a global variable before a definition variable of that name.
  static void SetGlobalVariable(const std::string& name, const Value& value);
  static void SetGlobalVariable(const std::string& name, const std::string& text) {
    SetGlobalVariable(name, Value::Text(text));
  }
  static std::optional<Value> GlobalVariable(const std::string& name);
  static void ClearGlobalVariables();

  // ---- Objects and bands by name (objects first, then bands; names compared exactly)
  ReportObject* FindObject(const std::string& name);
  Band* FindBand(const std::string& name);
  bool SetObjectText(const std::string& name, const std::string& text);  // false: no such object
  bool SetVisible(const std::string& name, bool visible);  // an object or a band

  // ---- Title (preview caption, print job name, [Title] in expressions)
  void SetTitle(const std::string& title) { title_ = title; }
  // The title set here, or the definition's own when none was set.
  const std::string& Title() const { return title_.empty() ? def_.title : title_; }

  // ---- Data
  // Binds a data source by name (kMasterDataSet, kDetailDataSet); nullptr unbinds. The source
  // must outlive the builds that use it.
  void BindDataSource(const std::string& name, RowSource* source);
  RowSource* DataSource(const std::string& name) const;

  // ---- Build
  // Lays the report out into pages; raises on_end_of_document once at the end. Errors of
  // expressions or callbacks throw ReportError and end the build.
  PageModel BuildPages();
  // Evaluates an expression text: during a build in the context of the object being printed,
  // otherwise with variables only.
  Value Evaluate(const std::string& expression);

  // ---- Callbacks
  UserFunction on_user_function;
  std::function<void(Report&, PrintingObject&)> on_before_print;
  std::function<void(Report&)> on_end_of_document;
  // The wall clock behind Date, Time and Now; the local time when unset (tests fix it).
  std::function<DateTime()> clock;

 private:
  friend class LayoutRun;
  Definition def_;
  std::string title_;
  std::map<std::string, RowSource*> sources_;
  EvalContext* active_context_ = nullptr;  // during a build
};

}  // namespace tikora::report
