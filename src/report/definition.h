// The report definition: what a `.frf` file holds.
//
// A definition is one page layout, a list of bands in the order the designer shows them, the
// objects inside each band, and named variables (texts). All lengths are millimetres, measured
// from the top left corner of the page (page geometry) or of the band (objects); font sizes are
// points.
//
// The file is an XML document of our own schema:
//
//   <tikora-report format="1" title="Per Week Report">
//     <page width="210" height="297" left="15" top="12" right="15" bottom="12"/>
//     <variables><variable name="SQL">Select ... From TimeHist</variable></variables>
//     <band name="Data" type="master-data" height="5" dataset="frDBDataSet1">
//       <text name="FldHours" x="150" y="0" width="25" height="5" size="9" align="right">[Hours]</text>
//       <line x1="0" y1="5" x2="180" y2="5" pen="0.2"/>
//       <rect x="0" y="0" width="180" height="5" pen="0.2" fill="#eeeeee"/>
//     </band>
//   </tikora-report>
//
// Files of a newer format than kDefinitionFormat are refused, so an older program never
// misreads (and then overwrites) a definition it does not understand.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tikora::report {

// Everything that goes wrong in the report engine: a damaged definition, an expression that
// cannot be read or evaluated, a file that cannot be written. what() is the message to show.
class ReportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kDefinitionFormat = 1;

enum class BandType {
  ReportTitle,   // once, at the top of the first page
  PageHeader,    // at the top of every page (below the report title on the first page)
  PageFooter,    // at the bottom of every page
  GroupHeader,   // before each group of master rows; `condition` is the group's expression
  GroupFooter,   // after each group; pairs with the group header of the same nesting level
  MasterData,    // once per row of `dataset` (frDBDataSet1)
  DetailHeader,  // before the rows of the second data source
  DetailData,    // once per row of `dataset` (frDBDataSet2)
  DetailFooter,  // after the rows of the second data source
  Summary,       // once, after everything else
};

std::string BandTypeName(BandType type);                 // "master-data", ...
std::optional<BandType> BandTypeFromName(const std::string& name);

enum class ObjectKind { Text, Line, Rect };
enum class Align { Left, Center, Right };

struct ReportObject {
  ObjectKind kind = ObjectKind::Text;
  std::string name;  // may be empty; names are compared exactly
  // Text and Rect: the box. Line: from (x, y) to (x + width, y + height).
  double x = 0, y = 0, width = 0, height = 0;
  bool visible = true;
  // Text: a template whose [expressions] are evaluated when the object is printed.
  std::string text;
  std::string font_family = "Sans Serif";
  double font_size = 10;  // points
  bool bold = false, italic = false;
  Align align = Align::Left;
  bool word_wrap = true;   // long texts break into lines inside the width (while they fit the box
                           // or the object stretches)
  bool stretch = false;    // the box grows to fit the wrapped text, and its band with it
  bool frame = false;      // Text: a thin border around the box
  double pen = 0.2;        // Line, Rect and frames: line width in millimetres
  std::string fill;        // Rect and Text: background colour "#rrggbb", empty = none
  std::string color = "#000000";  // text and line colour
};

struct Band {
  BandType type = BandType::MasterData;
  std::string name;
  double height = 5;
  bool visible = true;
  std::string dataset;     // MasterData: "frDBDataSet1"; DetailData: "frDBDataSet2"
  std::string condition;   // GroupHeader: the expression whose change starts a new group
  bool keep_together = true;    // never split across pages (always true for now: bands are atomic)
  bool keep_with_next = false;  // GroupHeader, DetailHeader: not alone at the foot of a page
  bool new_page_before = false; // GroupHeader: every group after the first starts a new page
  std::vector<ReportObject> objects;
};

struct PageSetup {
  double width = 210, height = 297;  // A4 portrait
  double left = 15, top = 12, right = 15, bottom = 12;
};

struct NamedText {
  std::string name;
  std::string value;
  bool operator==(const NamedText&) const = default;
};

struct Definition {
  std::string title;
  PageSetup page;
  std::vector<NamedText> variables;  // in file order; names compared exactly
  std::vector<Band> bands;

  // The variable or nullptr.
  const NamedText* FindVariable(const std::string& name) const;
  void SetVariable(const std::string& name, const std::string& value);
};

// XML text of a definition and back. FromXml throws ReportError naming the line of a fault.
std::string DefinitionToXml(const Definition& def);
Definition DefinitionFromXml(const std::string& xml);

}  // namespace tikora::report
