#include "report/definition.h"

#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <array>
#include <utility>

namespace tikora::report {

namespace {

constexpr std::array<std::pair<BandType, const char*>, 10> kBandTypeNames{{
    {BandType::ReportTitle, "report-title"},
    {BandType::PageHeader, "page-header"},
    {BandType::PageFooter, "page-footer"},
    {BandType::GroupHeader, "group-header"},
    {BandType::GroupFooter, "group-footer"},
    {BandType::MasterData, "master-data"},
    {BandType::DetailHeader, "detail-header"},
    {BandType::DetailData, "detail-data"},
    {BandType::DetailFooter, "detail-footer"},
    {BandType::Summary, "summary"},
}};

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString Number(double v) { return QString::number(v, 'g', 10); }

const char* AlignName(Align a) {
  switch (a) {
    case Align::Center: return "center";
    case Align::Right: return "right";
    case Align::Left: break;
  }
  return "left";
}

// Reads attributes of the current element with defaults; remembers the first fault.
class Attributes {
 public:
  Attributes(const QXmlStreamReader& reader) : attrs_(reader.attributes()), reader_(reader) {}

  std::string Text(const char* name, const std::string& fallback = {}) const {
    return attrs_.hasAttribute(name) ? attrs_.value(name).toString().toStdString() : fallback;
  }
  double Real(const char* name, double fallback) const {
    if (!attrs_.hasAttribute(name)) return fallback;
    bool ok = false;
    const double v = attrs_.value(name).toDouble(&ok);
    if (!ok) Fail(std::string("attribute \"") + name + "\" is not a number");
    return v;
  }
  bool Flag(const char* name, bool fallback) const {
    if (!attrs_.hasAttribute(name)) return fallback;
    const auto v = attrs_.value(name);
    if (v == u"true" || v == u"1") return true;
    if (v == u"false" || v == u"0") return false;
    Fail(std::string("attribute \"") + name + "\" is not true or false");
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw ReportError("Report definition, line " + std::to_string(reader_.lineNumber()) + ": " +
                      what);
  }

 private:
  QXmlStreamAttributes attrs_;
  const QXmlStreamReader& reader_;
};

void WriteObject(QXmlStreamWriter& w, const ReportObject& o) {
  const ReportObject defaults;
  switch (o.kind) {
    case ObjectKind::Text: w.writeStartElement("text"); break;
    case ObjectKind::Line: w.writeStartElement("line"); break;
    case ObjectKind::Rect: w.writeStartElement("rect"); break;
  }
  if (!o.name.empty()) w.writeAttribute("name", Q(o.name));
  if (o.kind == ObjectKind::Line) {
    w.writeAttribute("x1", Number(o.x));
    w.writeAttribute("y1", Number(o.y));
    w.writeAttribute("x2", Number(o.x + o.width));
    w.writeAttribute("y2", Number(o.y + o.height));
  } else {
    w.writeAttribute("x", Number(o.x));
    w.writeAttribute("y", Number(o.y));
    w.writeAttribute("width", Number(o.width));
    w.writeAttribute("height", Number(o.height));
  }
  if (!o.visible) w.writeAttribute("visible", "false");
  if (o.pen != defaults.pen) w.writeAttribute("pen", Number(o.pen));
  if (!o.fill.empty()) w.writeAttribute("fill", Q(o.fill));
  if (o.color != defaults.color) w.writeAttribute("color", Q(o.color));
  if (o.kind == ObjectKind::Text) {
    if (o.font_family != defaults.font_family) w.writeAttribute("font", Q(o.font_family));
    if (o.font_size != defaults.font_size) w.writeAttribute("size", Number(o.font_size));
    if (o.bold) w.writeAttribute("bold", "true");
    if (o.italic) w.writeAttribute("italic", "true");
    if (o.align != Align::Left) w.writeAttribute("align", AlignName(o.align));
    if (!o.word_wrap) w.writeAttribute("wrap", "false");
    if (o.stretch) w.writeAttribute("stretch", "true");
    if (o.frame) w.writeAttribute("frame", "true");
    w.writeCharacters(Q(o.text));
  }
  w.writeEndElement();
}

void WriteBand(QXmlStreamWriter& w, const Band& b) {
  const Band defaults;
  w.writeStartElement("band");
  if (!b.name.empty()) w.writeAttribute("name", Q(b.name));
  w.writeAttribute("type", Q(BandTypeName(b.type)));
  w.writeAttribute("height", Number(b.height));
  if (!b.visible) w.writeAttribute("visible", "false");
  if (!b.dataset.empty()) w.writeAttribute("dataset", Q(b.dataset));
  if (!b.condition.empty()) w.writeAttribute("condition", Q(b.condition));
  if (b.keep_with_next) w.writeAttribute("keep-with-next", "true");
  if (b.new_page_before) w.writeAttribute("new-page", "true");
  for (const ReportObject& o : b.objects) WriteObject(w, o);
  w.writeEndElement();
}

ReportObject ReadObject(QXmlStreamReader& r) {
  const Attributes a(r);
  ReportObject o;
  const auto tag = r.name();
  o.kind = tag == u"line" ? ObjectKind::Line : tag == u"rect" ? ObjectKind::Rect : ObjectKind::Text;
  o.name = a.Text("name");
  if (o.kind == ObjectKind::Line) {
    o.x = a.Real("x1", 0);
    o.y = a.Real("y1", 0);
    o.width = a.Real("x2", o.x) - o.x;
    o.height = a.Real("y2", o.y) - o.y;
  } else {
    o.x = a.Real("x", 0);
    o.y = a.Real("y", 0);
    o.width = a.Real("width", 0);
    o.height = a.Real("height", 0);
  }
  o.visible = a.Flag("visible", true);
  o.pen = a.Real("pen", o.pen);
  o.fill = a.Text("fill");
  o.color = a.Text("color", o.color);
  o.font_family = a.Text("font", o.font_family);
  o.font_size = a.Real("size", o.font_size);
  if (o.font_size <= 0 || o.font_size > 400) a.Fail("font size out of range");
  o.bold = a.Flag("bold", false);
  o.italic = a.Flag("italic", false);
  const std::string align = a.Text("align", "left");
  if (align == "left") o.align = Align::Left;
  else if (align == "center") o.align = Align::Center;
  else if (align == "right") o.align = Align::Right;
  else a.Fail("unknown alignment \"" + align + "\"");
  o.word_wrap = a.Flag("wrap", true);
  o.stretch = a.Flag("stretch", false);
  o.frame = a.Flag("frame", false);
  if (o.kind == ObjectKind::Text) {
    o.text = r.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).toStdString();
  } else {
    r.skipCurrentElement();
  }
  return o;
}

Band ReadBand(QXmlStreamReader& r) {
  const Attributes a(r);
  Band b;
  b.name = a.Text("name");
  const std::string type = a.Text("type");
  const auto t = BandTypeFromName(type);
  if (!t) a.Fail("unknown band type \"" + type + "\"");
  b.type = *t;
  b.height = a.Real("height", b.height);
  if (b.height < 0) a.Fail("negative band height");
  b.visible = a.Flag("visible", true);
  b.dataset = a.Text("dataset");
  b.condition = a.Text("condition");
  b.keep_with_next = a.Flag("keep-with-next", false);
  b.new_page_before = a.Flag("new-page", false);
  while (r.readNextStartElement()) {
    const auto tag = r.name();
    if (tag == u"text" || tag == u"line" || tag == u"rect") {
      b.objects.push_back(ReadObject(r));
    } else {
      Attributes(r).Fail("unknown element <" + tag.toString().toStdString() + "> in a band");
    }
  }
  return b;
}

}  // namespace

std::string BandTypeName(BandType type) {
  for (const auto& [t, name] : kBandTypeNames) {
    if (t == type) return name;
  }
  return "master-data";
}

std::optional<BandType> BandTypeFromName(const std::string& name) {
  for (const auto& [t, n] : kBandTypeNames) {
    if (name == n) return t;
  }
  return std::nullopt;
}

const NamedText* Definition::FindVariable(const std::string& name) const {
  for (const NamedText& v : variables) {
    if (v.name == name) return &v;
  }
  return nullptr;
}

void Definition::SetVariable(const std::string& name, const std::string& value) {
  for (NamedText& v : variables) {
    if (v.name == name) {
      v.value = value;
      return;
    }
  }
  variables.push_back({name, value});
}

std::string DefinitionToXml(const Definition& def) {
  QString out;
  QXmlStreamWriter w(&out);
  w.setAutoFormatting(true);
  w.setAutoFormattingIndent(2);
  w.writeStartDocument();
  w.writeStartElement("tikora-report");
  w.writeAttribute("format", QString::number(kDefinitionFormat));
  w.writeAttribute("title", Q(def.title));
  w.writeEmptyElement("page");
  w.writeAttribute("width", Number(def.page.width));
  w.writeAttribute("height", Number(def.page.height));
  w.writeAttribute("left", Number(def.page.left));
  w.writeAttribute("top", Number(def.page.top));
  w.writeAttribute("right", Number(def.page.right));
  w.writeAttribute("bottom", Number(def.page.bottom));
  w.writeStartElement("variables");
  for (const NamedText& v : def.variables) {
    w.writeStartElement("variable");
    w.writeAttribute("name", Q(v.name));
    w.writeCharacters(Q(v.value));
    w.writeEndElement();
  }
  w.writeEndElement();
  for (const Band& b : def.bands) WriteBand(w, b);
  w.writeEndElement();
  w.writeEndDocument();
  return out.toStdString();
}

Definition DefinitionFromXml(const std::string& xml) {
  QXmlStreamReader r(QByteArray::fromStdString(xml));
  Definition def;
  if (!r.readNextStartElement() || r.name() != u"tikora-report") {
    throw ReportError("Not a report definition");
  }
  {
    const Attributes a(r);
    const double format = a.Real("format", 0);
    if (format < 1) a.Fail("the format version is missing");
    if (format > kDefinitionFormat) {
      a.Fail("written by a newer program (format " + a.Text("format") + ")");
    }
    def.title = a.Text("title");
  }
  while (r.readNextStartElement()) {
    const auto tag = r.name();
    if (tag == u"page") {
      const Attributes a(r);
      def.page.width = a.Real("width", def.page.width);
      def.page.height = a.Real("height", def.page.height);
      def.page.left = a.Real("left", def.page.left);
      def.page.top = a.Real("top", def.page.top);
      def.page.right = a.Real("right", def.page.right);
      def.page.bottom = a.Real("bottom", def.page.bottom);
      if (def.page.width - def.page.left - def.page.right <= 0 ||
          def.page.height - def.page.top - def.page.bottom <= 0) {
        a.Fail("the page has no room inside its margins");
      }
      r.skipCurrentElement();
    } else if (tag == u"variables") {
      while (r.readNextStartElement()) {
        if (r.name() != u"variable") Attributes(r).Fail("unknown element in <variables>");
        const std::string name = Attributes(r).Text("name");
        def.SetVariable(name, r.readElementText().toStdString());
      }
    } else if (tag == u"band") {
      def.bands.push_back(ReadBand(r));
    } else {
      Attributes(r).Fail("unknown element <" + tag.toString().toStdString() + ">");
    }
  }
  if (r.hasError()) {
    throw ReportError("Report definition, line " + std::to_string(r.lineNumber()) + ": " +
                      r.errorString().toStdString());
  }
  return def;
}

}  // namespace tikora::report
