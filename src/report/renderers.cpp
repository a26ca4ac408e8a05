#include "report/renderers.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "report/definition.h"
#include "report/text_measure.h"

namespace tikora::report {

namespace {

constexpr double kTextPadding = 0.5;  // mm between a text box's sides and its text
constexpr double kRowTolerance = 1.5; // mm: texts this close vertically share an export row
constexpr double kCharWidth = 2.0;    // mm per character in the plain-text export

QColor ColorOf(const std::string& text, const QColor& fallback) {
  const QColor c(QString::fromStdString(text));
  return c.isValid() ? c : fallback;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t nl = text.find('\n', start);
    lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

FontStyle FontOf(const PageItem& item) {
  return {item.font_family, item.font_size, item.bold, item.italic};
}

// ---- Rows of text for the exporters

struct Cell {
  double x = 0, width = 0;
  std::string text;
  Align align = Align::Left;
  bool bold = false;
  double font_size = 10;
};

struct Row {
  double y = 0;
  std::vector<Cell> cells;
};

std::vector<Row> TextRows(const Page& page) {
  struct Placed {
    double y;
    Cell cell;
  };
  std::vector<Placed> placed;
  for (const PageItem& item : page.items) {
    if (item.kind != ObjectKind::Text) continue;
    const double line_height = LineHeightMm(FontOf(item));
    const std::vector<std::string> lines = Lines(item.text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      placed.push_back({item.y + static_cast<double>(i) * line_height,
                        Cell{item.x, item.width, lines[i], item.align, item.bold, item.font_size}});
    }
  }
  std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.y < b.y; });
  std::vector<Row> rows;
  for (Placed& p : placed) {
    if (rows.empty() || p.y - rows.back().y > kRowTolerance) rows.push_back(Row{p.y, {}});
    rows.back().cells.push_back(std::move(p.cell));
  }
  for (Row& r : rows) {
    std::stable_sort(r.cells.begin(), r.cells.end(), [](const Cell& a, const Cell& b) { return a.x < b.x; });
  }
  return rows;
}

double LeftmostText(const PageModel& model) {
  double left = 1e9;
  for (const Page& p : model.pages) {
    for (const PageItem& i : p.items) {
      if (i.kind == ObjectKind::Text && !i.text.empty()) left = std::min(left, i.x);
    }
  }
  return left == 1e9 ? 0 : left;
}

std::string HtmlEscape(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Mm(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);  // the locale may write a comma: CSS wants a point
  std::string s = buf;
  std::replace(s.begin(), s.end(), ',', '.');
  // Drop trailing zeros for compactness.
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string CsvQuote(const std::string& field) {
  const bool needs = field.find_first_of(";\"\r\n") != std::string::npos ||
                     (!field.empty() && (field.front() == ' ' || field.back() == ' '));
  if (!needs) return field;
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string RtfEscape(const std::string& text) {
  std::string out;
  const QString q = QString::fromStdString(text);
  for (const QChar ch : q) {
    const char16_t u = ch.unicode();
    if (u == '\\' || u == '{' || u == '}') {
      out += '\\';
      out += static_cast<char>(u);
    } else if (u == '\t') {
      out += "\\tab ";
    } else if (u < 0x80) {
      out += static_cast<char>(u);
    } else {
      // Signed 16-bit code units, as RTF wants them, with "?" for readers without Unicode.
      out += "\\u" + std::to_string(static_cast<int16_t>(u)) + "?";
    }
  }
  return out;
}

int Twips(double mm) { return static_cast<int>(std::lround(mm / 25.4 * 1440)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Painting

void PaintPage(QPainter& painter, const Page& page, double dots_per_mm) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  auto dots = [&](double mm) { return mm * dots_per_mm; };
  for (const PageItem& item : page.items) {
    const QRectF box(dots(item.x), dots(item.y), dots(item.width), dots(item.height));
    QPen pen(ColorOf(item.color, Qt::black));
    pen.setWidthF(std::max(dots(item.pen), 1.0));
    switch (item.kind) {
      case ObjectKind::Line:
        painter.setPen(pen);
        painter.drawLine(QPointF(dots(item.x), dots(item.y)),
                         QPointF(dots(item.x + item.width), dots(item.y + item.height)));
        break;
      case ObjectKind::Rect:
        painter.setPen(item.pen > 0 ? pen : QPen(Qt::NoPen));
        painter.setBrush(item.fill.empty() ? QBrush(Qt::NoBrush) : QBrush(ColorOf(item.fill, Qt::white)));
        painter.drawRect(box);
        painter.setBrush(Qt::NoBrush);
        break;
      case ObjectKind::Text: {
        if (!item.fill.empty()) painter.fillRect(box, ColorOf(item.fill, Qt::white));
        if (item.frame) {
          painter.setPen(pen);
          painter.drawRect(box);
        }
        QFont font(QString::fromStdString(item.font_family));
        font.setPointSizeF(item.font_size);
        font.setBold(item.bold);
        font.setItalic(item.italic);
        painter.setFont(font);
        painter.setPen(ColorOf(item.color, Qt::black));
        const double line_height = LineHeightMm(FontOf(item));
        const std::vector<std::string> lines = Lines(item.text);
        const Qt::Alignment h = item.align == Align::Right    ? Qt::AlignRight
                                : item.align == Align::Center ? Qt::AlignHCenter
                                                              : Qt::AlignLeft;
        for (std::size_t i = 0; i < lines.size(); ++i) {
          const double top = item.y + static_cast<double>(i) * line_height;
          const QRectF line_box(dots(item.x + kTextPadding), dots(top),
                                dots(std::max(item.width - 2 * kTextPadding, 0.1)), dots(line_height));
          painter.drawText(line_box, static_cast<int>(h | Qt::AlignTop | Qt::TextDontClip),
                           QString::fromStdString(lines[i]));
        }
        break;
      }
    }
  }
  painter.restore();
}

QImage RenderPageImage(const Page& page, double dpi) {
  const double dots_per_mm = dpi / 25.4;
  QImage image(static_cast<int>(std::ceil(page.width * dots_per_mm)),
               static_cast<int>(std::ceil(page.height * dots_per_mm)), QImage::Format_RGB32);
  const int dots_per_metre = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dots_per_metre);
  image.setDotsPerMeterY(dots_per_metre);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintPage(painter, page, dots_per_mm);
  painter.end();
  return image;
}

void WritePdf(const PageModel& model, const std::string& path) {
  QPdfWriter writer(QString::fromStdString(path));
  writer.setTitle(QString::fromStdString(model.title));
  writer.setCreator("Tikora");
  writer.setResolution(1200);
  auto set_size = [&](const Page& page) {
    writer.setPageSize(QPageSize(QSizeF(page.width, page.height), QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  };
  if (!model.pages.empty()) set_size(model.pages.front());
  QPainter painter;
  if (!painter.begin(&writer)) throw ReportError("Cannot write PDF file " + path);
  const double dots_per_mm = writer.resolution() / 25.4;
  for (std::size_t i = 0; i < model.pages.size(); ++i) {
    if (i > 0) {
      set_size(model.pages[i]);
      writer.newPage();
    }
    PaintPage(painter, model.pages[i], dots_per_mm);
  }
  if (!painter.end()) throw ReportError("Cannot write PDF file " + path);
}

// ---------------------------------------------------------------------------------------------
// Exporters

std::string ExportText(const PageModel& model) {
  const double origin = LeftmostText(model);
  std::string out;
  for (std::size_t p = 0; p < model.pages.size(); ++p) {
    if (p > 0) out += "\f";
    double last_y = -1;
    for (const Row& row : TextRows(model.pages[p])) {
      // A gap of more than two rows shows as one empty line.
      if (last_y >= 0 && row.y - last_y > 9) out += "\n";
      last_y = row.y;
      QString line;
      for (const Cell& cell : row.cells) {
        const QString text = QString::fromStdString(cell.text);
        const auto col = static_cast<qsizetype>(std::lround((cell.x - origin) / kCharWidth));
        const auto width = static_cast<qsizetype>(std::lround(cell.width / kCharWidth));
        qsizetype start = col;
        if (cell.align == Align::Right) start = col + width - text.size();
        if (cell.align == Align::Center) start = col + (width - text.size()) / 2;
        start = std::max(start, line.isEmpty() ? qsizetype(0) : line.size() + 1);
        line += QString(start - line.size(), u' ');
        line += text;
      }
      out += line.toStdString() + "\n";
    }
  }
  return out;
}

std::string ExportCsv(const PageModel& model) {
  std::string out;
  for (const Page& page : model.pages) {
    for (const Row& row : TextRows(page)) {
      for (std::size_t i = 0; i < row.cells.size(); ++i) {
        if (i > 0) out += ';';
        out += CsvQuote(row.cells[i].text);
      }
      out += "\r\n";
    }
  }
  return out;
}

std::string ExportHtml(const PageModel& model) {
  std::string out =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + HtmlEscape(model.title) +
      "</title>\n<style>\n"
      "body { background: #e8e8e8; margin: 0; padding: 8mm 0; font-family: sans-serif; }\n"
      ".page { position: relative; margin: 0 auto 8mm; background: #fff; overflow: hidden;"
      " box-shadow: 0 1px 4px rgba(0,0,0,.3); }\n"
      ".page svg { position: absolute; left: 0; top: 0; }\n"
      ".t { position: absolute; white-space: pre; overflow: visible; box-sizing: border-box;"
      " padding: 0 0.5mm; }\n"
      "@media print { body { background: none; padding: 0; }"
      " .page { margin: 0; box-shadow: none; page-break-after: always; } }\n"
      "</style>\n</head>\n<body>\n";
  for (const Page& page : model.pages) {
    out += "<div class=\"page\" style=\"width:" + Mm(page.width) + "mm;height:" + Mm(page.height) + "mm\">\n";
    out += "<svg width=\"" + Mm(page.width) + "mm\" height=\"" + Mm(page.height) + "mm\" viewBox=\"0 0 " +
           Mm(page.width) + " " + Mm(page.height) + "\">\n";
    for (const PageItem& i : page.items) {
      const std::string stroke = HtmlEscape(i.color);
      if (i.kind == ObjectKind::Line) {
        out += "<line x1=\"" + Mm(i.x) + "\" y1=\"" + Mm(i.y) + "\" x2=\"" + Mm(i.x + i.width) + "\" y2=\"" +
               Mm(i.y + i.height) + "\" stroke=\"" + stroke + "\" stroke-width=\"" + Mm(i.pen) + "\"/>\n";
      } else if (i.kind == ObjectKind::Rect || (i.kind == ObjectKind::Text && (i.frame || !i.fill.empty()))) {
        const bool outline = i.kind == ObjectKind::Rect ? i.pen > 0 : i.frame;
        out += "<rect x=\"" + Mm(i.x) + "\" y=\"" + Mm(i.y) + "\" width=\"" + Mm(i.width) + "\" height=\"" +
               Mm(i.height) + "\" fill=\"" + (i.fill.empty() ? "none" : HtmlEscape(i.fill)) + "\" stroke=\"" +
               (outline ? stroke : "none") + "\" stroke-width=\"" + Mm(i.pen) + "\"/>\n";
      }
    }
    out += "</svg>\n";
    for (const PageItem& i : page.items) {
      if (i.kind != ObjectKind::Text || i.text.empty()) continue;
      const double line_height = LineHeightMm(FontOf(i));
      std::string style = "left:" + Mm(i.x) + "mm;top:" + Mm(i.y) + "mm;width:" + Mm(i.width) +
                          "mm;font-size:" + Mm(i.font_size) + "pt;line-height:" + Mm(line_height) + "mm";
      if (i.bold) style += ";font-weight:bold";
      if (i.italic) style += ";font-style:italic";
      if (i.align == Align::Right) style += ";text-align:right";
      if (i.align == Align::Center) style += ";text-align:center";
      if (i.color != "#000000") style += ";color:" + HtmlEscape(i.color);
      out += "<div class=\"t\" style=\"" + style + "\">" + HtmlEscape(i.text) + "</div>\n";
    }
    out += "</div>\n";
  }
  out += "</body>\n</html>\n";
  return out;
}

std::string ExportRtf(const PageModel& model) {
  const Page first = model.pages.empty() ? Page() : model.pages.front();
  const double origin = LeftmostText(model);
  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}\n";
  out += "\\paperw" + std::to_string(Twips(first.width)) + "\\paperh" + std::to_string(Twips(first.height)) +
         "\\margl" + std::to_string(Twips(origin)) + "\\margr567\\margt567\\margb567\n";
  for (std::size_t p = 0; p < model.pages.size(); ++p) {
    if (p > 0) out += "\\page\n";
    for (const Row& row : TextRows(model.pages[p])) {
      out += "\\pard\\plain";
      std::string body;
      for (std::size_t c = 0; c < row.cells.size(); ++c) {
        const Cell& cell = row.cells[c];
        const double rel = cell.x - origin;
        // Tab stops: left texts at their left edge, right texts at their right edge, centred
        // texts at their middle. The first text starts at the margin when it is left aligned.
        if (cell.align == Align::Right) {
          out += "\\tqr\\tx" + std::to_string(Twips(rel + cell.width - kTextPadding));
        } else if (cell.align == Align::Center) {
          out += "\\tqc\\tx" + std::to_string(Twips(rel + cell.width / 2));
        } else if (c > 0 || rel > 0.5) {
          out += "\\tx" + std::to_string(Twips(rel + kTextPadding));
        }
        const bool tab = c > 0 || cell.align != Align::Left || rel > 0.5;
        body += std::string(tab ? "\\tab" : "") + "\\fs" + std::to_string(std::lround(cell.font_size * 2)) +
                (cell.bold ? "\\b " : "\\b0 ") + RtfEscape(cell.text);
      }
      out += body + "\\par\n";
    }
  }
  out += "}\n";
  return out;
}

void WriteReport(const PageModel& model, const std::string& format, const std::string& path) {
  const QString f = QString::fromStdString(format).toLower();
  if (f == u"pdf") return WritePdf(model, path);
  if (f == u"html") return WriteTextFile(path, ExportHtml(model));
  if (f == u"csv") return WriteTextFile(path, ExportCsv(model));
  if (f == u"txt") return WriteTextFile(path, ExportText(model));
  if (f == u"rtf") return WriteTextFile(path, ExportRtf(model));
  throw ReportError("Unknown report format \"" + format + "\" (pdf, html, csv, txt or rtf)");
}

void WriteTextFile(const std::string& path, const std::string& content) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(content.data(), static_cast<qint64>(content.size())) != static_cast<qint64>(content.size()) ||
      !file.commit()) {
    throw ReportError("Cannot write " + path + ": " + file.errorString().toStdString());
  }
}

}  // namespace tikora::report
