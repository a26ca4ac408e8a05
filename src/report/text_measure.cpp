#include "report/text_measure.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <map>
#include <memory>
#include <tuple>

namespace tikora::report {

namespace {

constexpr double kDotsPerInch = 1200;
constexpr double kMmPerPoint = 25.4 / 72;

bool HaveGui() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

// Metrics for a font at 1200 dpi, kept per font (layout asks for the same few fonts often).
const QFontMetricsF& Metrics(const FontStyle& f) {
  static QImage device = [] {
    QImage image(1, 1, QImage::Format_RGB32);
    const int dots_per_metre = static_cast<int>(kDotsPerInch / 0.0254 + 0.5);
    image.setDotsPerMeterX(dots_per_metre);
    image.setDotsPerMeterY(dots_per_metre);
    return image;
  }();
  using Key = std::tuple<std::string, double, bool, bool>;
  static std::map<Key, std::unique_ptr<QFontMetricsF>> cache;
  const Key key{f.family, f.size, f.bold, f.italic};
  auto& slot = cache[key];
  if (!slot) {
    QFont font(QString::fromStdString(f.family));
    font.setPointSizeF(f.size);
    font.setBold(f.bold);
    font.setItalic(f.italic);
    slot = std::make_unique<QFontMetricsF>(font, &device);
  }
  return *slot;
}

double DotsToMm(double dots) { return dots / kDotsPerInch * 25.4; }

}  // namespace

double LineHeightMm(const FontStyle& font) {
  if (!HaveGui()) return font.size * kMmPerPoint * 1.2;
  return DotsToMm(Metrics(font).lineSpacing());
}

double TextWidthMm(const FontStyle& font, const std::string& text) {
  if (!HaveGui()) {
    return static_cast<double>(QString::fromStdString(text).size()) * font.size * kMmPerPoint * 0.5;
  }
  return DotsToMm(Metrics(font).horizontalAdvance(QString::fromStdString(text)));
}

std::vector<std::string> WrapText(const FontStyle& font, const std::string& text, double width_mm) {
  std::vector<std::string> lines;
  const QStringList paragraphs = QString::fromStdString(text).split(u'\n');
  for (const QString& raw : paragraphs) {
    QString paragraph = raw;
    paragraph.remove(u'\r');
    if (TextWidthMm(font, paragraph.toStdString()) <= width_mm) {
      lines.push_back(paragraph.toStdString());
      continue;
    }
    QString line;
    const QStringList words = paragraph.split(u' ');
    for (const QString& word : words) {
      const QString candidate = line.isEmpty() ? word : line + u' ' + word;
      if (TextWidthMm(font, candidate.toStdString()) <= width_mm) {
        line = candidate;
        continue;
      }
      if (!line.isEmpty()) lines.push_back(line.toStdString());
      line = word;
      // A word longer than the line: cut it between characters.
      while (line.size() > 1 && TextWidthMm(font, line.toStdString()) > width_mm) {
        qsizetype fit = 1;
        while (fit < line.size() && TextWidthMm(font, line.left(fit + 1).toStdString()) <= width_mm) ++fit;
        lines.push_back(line.left(fit).toStdString());
        line = line.mid(fit);
      }
    }
    lines.push_back(line.toStdString());
  }
  return lines;
}

}  // namespace tikora::report
