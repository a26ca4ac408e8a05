// Drawing and exporting built pages. Every output comes from the same PageModel.
//
// PaintPage is the one drawing routine (preview, printer, PDF, pictures). The exporters turn the
// texts of each page into rows: texts whose first lines start within 1.5 mm of each other form
// one row, ordered left to right.
#pragma once

#include <string>

#include "report/page_model.h"

class QImage;
class QPainter;

namespace tikora::report {

// Draws one page on a painter whose device has `dots_per_mm` dots per millimetre in both
// directions, with the page's top left corner at the device origin.
void PaintPage(QPainter& painter, const Page& page, double dots_per_mm);

// The page as a white picture at `dpi` dots per inch.
QImage RenderPageImage(const Page& page, double dpi);

// Writes every page into a PDF file (the title becomes the document title). Throws ReportError
// when the file cannot be written.
void WritePdf(const PageModel& model, const std::string& path);

// Plain text: columns from the texts' positions (2 mm per character), a form feed between pages.
std::string ExportText(const PageModel& model);
// CSV: one record per row, fields separated by ";", quoted where needed ("" inside quotes).
std::string ExportCsv(const PageModel& model);
// HTML: one positioned block per page, texts escaped, lines and boxes as SVG.
std::string ExportHtml(const PageModel& model);
// RTF: one paragraph per row with tab stops at the texts' positions, a page break between pages.
std::string ExportRtf(const PageModel& model);

// Writes the pages in a format named "pdf", "html", "csv", "txt" or "rtf" (any case). Throws
// ReportError for another name or when the file cannot be written.
void WriteReport(const PageModel& model, const std::string& format, const std::string& path);

// Writes text to a file (atomically); throws ReportError on failure.
void WriteTextFile(const std::string& path, const std::string& content);

}  // namespace tikora::report
