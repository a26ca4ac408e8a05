// The built pages of a report: what every renderer and exporter draws.
//
// Lengths are millimetres from the top left corner of the page; font sizes are points. Items come
// in drawing order (a band's rectangles and texts in the order of its objects, bands from top to
// bottom).
#pragma once

#include <string>
#include <vector>

#include "report/definition.h"

namespace tikora::report {

struct PageItem {
  ObjectKind kind = ObjectKind::Text;
  std::string name;  // the definition object it comes from (may be empty)
  // Text and Rect: the box. Line: from (x, y) to (x + width, y + height).
  double x = 0, y = 0, width = 0, height = 0;
  std::string text;  // Text: the printed text, expressions replaced; may hold line breaks
  std::string font_family;
  double font_size = 10;
  bool bold = false, italic = false;
  Align align = Align::Left;
  bool word_wrap = true;
  bool frame = false;
  double pen = 0.2;
  std::string fill;   // "#rrggbb" or empty
  std::string color = "#000000";
};

struct Page {
  double width = 210, height = 297;
  std::vector<PageItem> items;
};

struct PageModel {
  std::string title;
  std::vector<Page> pages;
};

}  // namespace tikora::report
