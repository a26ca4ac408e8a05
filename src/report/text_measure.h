// Line breaking and text sizes in millimetres, the same for layout and every renderer.
//
// With a QGuiApplication running, sizes come from the font's real metrics at 1200 dots per inch
// (the resolution of the PDF writer); without one (a program that never made one) they are
// estimated from the font size: half an em per character and 1.2 em per line, so layout still
// works, only less exactly.
#pragma once

#include <string>
#include <vector>

namespace tikora::report {

struct FontStyle {
  std::string family;
  double size = 10;  // points
  bool bold = false, italic = false;
};

// Height of one line of text, in millimetres.
double LineHeightMm(const FontStyle& font);
// Width of the text on one line, in millimetres.
double TextWidthMm(const FontStyle& font, const std::string& text);
// The text broken into lines no wider than `width_mm`: at its own line breaks, then between
// words; a word wider than the line is cut between characters.
std::vector<std::string> WrapText(const FontStyle& font, const std::string& text, double width_mm);

}  // namespace tikora::report
