#include "report/report.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "core/datetime.h"
#include "engine/schema.h"
#include "report/text_measure.h"

namespace tikora::report {

namespace {

std::map<std::string, Value>& Globals() {
  static std::map<std::string, Value> globals;
  return globals;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
  auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
  return it != text.end();
}

// An empty field reads as the empty value of its kind.
Value FieldOrEmpty(const RowSource& source, std::int64_t row, int field) {
  Value v = row >= 0 && row < source.RowCount() ? source.FieldValue(row, field) : Value();
  if (!v.IsNull()) return v;
  switch (source.KindOf(field)) {
    case FieldKind::Text: return Value::Text("");
    case FieldKind::Logical: return Value::Boolean(false);
    case FieldKind::Number:
    case FieldKind::DateTime: break;
  }
  return Value::Integer(0);
}

FontStyle FontOf(const ReportObject& o) { return {o.font_family, o.font_size, o.bold, o.italic}; }

// The rows an aggregate walks: a range of one source, or a list of its rows.
struct Scope {
  const RowSource* source = nullptr;
  std::int64_t begin = 0, end = 0;
  const std::vector<std::int64_t>* rows = nullptr;  // when set, these rows instead of the range
};

}  // namespace

// One build of the pages: the layout state and the evaluation context of the band being printed.
class LayoutRun : public EvalContext {
 public:
  LayoutRun(Report& report, int total_pages)
      : report_(report), def_(report.def_), total_pages_(total_pages) {
    master_ = report.DataSource(kMasterDataSet);
    detail_ = report.DataSource(kDetailDataSet);
    for (const Band& b : def_.bands) {
      if (b.visible && b.type == BandType::PageFooter) footer_height_ += b.height;
    }
  }

  PageModel Run() {
    report_.active_context_ = this;
    struct Reset {
      Report& r;
      ~Reset() { r.active_context_ = nullptr; }
    } reset{report_};
    SetRow(master_, 0);
    StartPage();
    PrintMaster();
    PrintDetail();
    SetRow(master_, master_ ? master_->RowCount() - 1 : -1);
    for (const Band& b : def_.bands) {
      if (b.type == BandType::Summary) PrintBand(b, AllRows(master_));
    }
    EndPage();
    PageModel model;
    model.title = report_.Title();
    model.pages = std::move(pages_);
    return model;
  }

  // ---- EvalContext
  std::optional<Value> Lookup(const std::string& name) override {
    if (source_ != nullptr) {
      const int field = FieldIndex(*source_, name);
      if (field >= 0) return FieldOrEmpty(*source_, row_, field);
    }
    if (auto g = Report::GlobalVariable(name)) return g;
    if (const NamedText* v = def_.FindVariable(name)) {
      return Value::Text(HasExpressions(v->value) ? ExpandTemplate(v->value, *this) : v->value);
    }
    return SystemName(name);
  }

  void ForEachScopeRow(const std::function<void()>& per_row) override {
    const RowSource* saved_source = source_;
    const std::int64_t saved_row = row_;
    struct Restore {
      LayoutRun& run;
      const RowSource* source;
      std::int64_t row;
      ~Restore() { run.source_ = source, run.row_ = row; }
    } restore{*this, saved_source, saved_row};
    const Scope scope = scope_;
    if (scope.source == nullptr) return;
    source_ = scope.source;
    if (scope.rows != nullptr) {
      const std::vector<std::int64_t> rows = *scope.rows;  // the page may grow meanwhile
      for (std::int64_t r : rows) {
        row_ = r;
        per_row();
      }
    } else {
      for (std::int64_t r = scope.begin; r < scope.end; ++r) {
        row_ = r;
        per_row();
      }
    }
  }

  void ForEachRowOf(const std::string& name, const std::function<void()>& per_row) override {
    const RowSource* source = report_.DataSource(name);
    if (source == nullptr) throw ReportError("Unknown data source \"" + name + "\"");
    const Scope saved = scope_;
    scope_ = AllRows(source);
    struct Restore {
      LayoutRun& run;
      Scope scope;
      ~Restore() { run.scope_ = scope; }
    } restore{*this, saved};
    ForEachScopeRow(per_row);
  }

  Value CallUserFunction(const std::string& name, const std::vector<std::string>& args) override {
    Value result;
    if (!report_.on_user_function) return result;
    const EvaluateText evaluate = [this](const std::string& text) {
      return EvaluateExpression(text, *this);
    };
    auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
    report_.on_user_function(name, arg(0), arg(1), arg(2), result, evaluate);
    return result;
  }

  int PageCount() const { return page_number_; }

 private:
  // ---- Rows and scopes
  void SetRow(const RowSource* source, std::int64_t row) {
    source_ = source;
    row_ = row;
  }

  static Scope AllRows(const RowSource* source) {
    return Scope{source, 0, source ? source->RowCount() : 0, nullptr};
  }

  int FieldIndex(const RowSource& source, const std::string& name) {
    auto& names = field_cache_[&source];
    if (auto it = names.find(name); it != names.end()) return it->second;
    const int index = source.FindField(name);
    names.emplace(name, index);
    return index;
  }

  std::optional<Value> SystemName(const std::string& name) const {
    auto is = [&](const char* n) { return engine::SameName(name, n); };
    if (is("Page") || is("Page#")) return Value::Integer(page_number_);
    if (is("TotalPages")) return Value::Integer(total_pages_);
    if (is("Line") || is("Line#")) return Value::Integer(line_);
    const auto now = [&] { return report_.clock ? report_.clock() : Now(); };
    if (is("Date")) return Value::Date(DatePart(now()));
    if (is("Time")) return Value::Date(TimePart(now()));
    if (is("Now")) return Value::Date(now());
    if (is("Title")) return Value::Text(report_.Title());
    return std::nullopt;
  }

  // ---- Pages
  double ContentBottom() const { return def_.page.height - def_.page.bottom - footer_height_; }

  void StartPage() {
    Page page;
    page.width = def_.page.width;
    page.height = def_.page.height;
    pages_.push_back(std::move(page));
    ++page_number_;
    page_rows_.clear();
    y_ = def_.page.top;
    if (page_number_ == 1) {
      for (const Band& b : def_.bands) {
        if (b.type == BandType::ReportTitle) PrintBand(b, AllRows(master_), /*may_break=*/false);
      }
    }
    for (const Band& b : def_.bands) {
      if (b.type == BandType::PageHeader) PrintBand(b, AllRows(master_), /*may_break=*/false);
    }
    content_top_ = y_;
  }

  void EndPage() {
    const RowSource* saved_source = source_;
    const std::int64_t saved_row = row_;
    if (!page_rows_.empty()) SetRow(master_, page_rows_.back());
    y_ = ContentBottom();
    const Scope page_scope{master_, 0, 0, &page_rows_};
    for (const Band& b : def_.bands) {
      if (b.type == BandType::PageFooter) PrintBand(b, page_scope, /*may_break=*/false);
    }
    SetRow(saved_source, saved_row);
  }

  void NewPage() {
    EndPage();
    StartPage();
  }

  // ---- Bands
  struct BuiltBand {
    std::vector<PageItem> items;  // relative to the band's top left corner
    double height = 0;
  };

  BuiltBand BuildBand(const Band& band) {
    BuiltBand built;
    built.height = band.height;
    for (const ReportObject& o : band.objects) {
      if (!o.visible) continue;
      PrintingObject printing{o.name, o.kind, {}, true};
      if (o.kind == ObjectKind::Text) printing.text = ExpandTemplate(o.text, *this);
      if (report_.on_before_print) report_.on_before_print(report_, printing);
      if (!printing.visible) continue;
      PageItem item;
      item.kind = o.kind;
      item.name = o.name;
      item.x = o.x, item.y = o.y, item.width = o.width, item.height = o.height;
      item.font_family = o.font_family;
      item.font_size = o.font_size;
      item.bold = o.bold, item.italic = o.italic;
      item.align = o.align;
      item.word_wrap = o.word_wrap;
      item.frame = o.frame;
      item.pen = o.pen;
      item.fill = o.fill;
      item.color = o.color;
      if (o.kind == ObjectKind::Text) {
        const FontStyle font = FontOf(o);
        std::vector<std::string> lines =
            o.word_wrap ? WrapText(font, printing.text, std::max(o.width - 1.0, 1.0))
                        : std::vector<std::string>{printing.text};
        // A text that does not stretch wraps only while its lines fit its box; otherwise it
        // stays on one line (a caption running past its column reads better than a cut one).
        if (!o.stretch && lines.size() > 1 &&
            static_cast<double>(lines.size()) * LineHeightMm(font) > o.height + 0.5 &&
            printing.text.find('\n') == std::string::npos) {
          lines = {printing.text};
        }
        std::string joined;
        for (std::size_t i = 0; i < lines.size(); ++i) joined += (i ? "\n" : "") + lines[i];
        item.text = std::move(joined);
        if (o.stretch) {
          const double needed = static_cast<double>(lines.size()) * LineHeightMm(font) + 0.6;
          item.height = std::max(o.height, needed);
          built.height = std::max(built.height, o.y + item.height);
        }
      }
      built.items.push_back(std::move(item));
    }
    return built;
  }

  void Place(BuiltBand&& built) {
    Page& page = pages_.back();
    for (PageItem& item : built.items) {
      item.x += def_.page.left;
      item.y += y_;
      page.items.push_back(std::move(item));
    }
    y_ += built.height;
  }

  // Prints a band at the cursor; moves to a new page first when it does not fit (and the page
  // holds more than its headers). `extra` is room that must remain below it (keep-with-next).
  void PrintBand(const Band& band, const Scope& scope, bool may_break = true, double extra = 0) {
    if (!band.visible) return;
    scope_ = scope;
    BuiltBand built = BuildBand(band);
    if (may_break && y_ + built.height + extra > ContentBottom() + 1e-9 && y_ > content_top_ + 1e-9) {
      NewPage();
      scope_ = scope;
      built = BuildBand(band);  // page numbers and page scopes changed
    }
    Place(std::move(built));
  }

  // ---- Master rows and groups
  struct Group {
    const Band* header = nullptr;
    const Band* footer = nullptr;
    std::vector<std::string> keys;  // the condition's printed value per master row
    std::int64_t start = 0, end = 0;
  };

  std::vector<Group> MakeGroups() {
    std::vector<const Band*> headers, footers;
    for (const Band& b : def_.bands) {
      if (b.type == BandType::GroupHeader) headers.push_back(&b);
      if (b.type == BandType::GroupFooter) footers.push_back(&b);
    }
    std::vector<Group> groups(headers.size());
    for (std::size_t i = 0; i < headers.size(); ++i) groups[i].header = headers[i];
    for (std::size_t j = 0; j < footers.size() && j < headers.size(); ++j) {
      groups[headers.size() - 1 - j].footer = footers[j];
    }
    // A group whose header and footer are both hidden does not exist.
    std::erase_if(groups, [](const Group& g) { return !g.header->visible && !(g.footer && g.footer->visible); });
    const std::int64_t rows = master_->RowCount();
    for (Group& g : groups) {
      g.keys.reserve(static_cast<std::size_t>(rows));
      for (std::int64_t r = 0; r < rows; ++r) {
        SetRow(master_, r);
        scope_ = AllRows(master_);
        // Without a condition the group spans all rows.
        g.keys.push_back(g.header->condition.empty()
                             ? std::string()
                             : FormatValue(EvaluateExpression(g.header->condition, *this)));
      }
    }
    return groups;
  }

  const Band* FindBand(BandType type) const {
    for (const Band& b : def_.bands) {
      if (b.type == type && b.visible) return &b;
    }
    return nullptr;
  }

  void PrintMaster() {
    const Band* data = FindBand(BandType::MasterData);
    if (master_ == nullptr || data == nullptr) return;
    const std::int64_t rows = master_->RowCount();
    if (rows == 0) return;
    std::vector<Group> groups = MakeGroups();
    const std::size_t levels = groups.size();
    for (std::int64_t r = 0; r < rows; ++r) {
      std::size_t changed = levels;
      for (std::size_t level = 0; level < levels; ++level) {
        if (r == 0 || groups[level].keys[static_cast<std::size_t>(r)] !=
                          groups[level].keys[static_cast<std::size_t>(r - 1)]) {
          changed = level;
          break;
        }
      }
      if (r > 0) CloseGroups(groups, changed, r - 1);
      for (std::size_t level = changed; level < levels; ++level) {
        Group& g = groups[level];
        g.start = r;
        g.end = r + 1;
        while (g.end < rows && SameGroup(groups, level, r, g.end)) ++g.end;
        SetRow(master_, r);
        if (r > 0 && g.header->new_page_before && g.header->visible && y_ > content_top_ + 1e-9) {
          NewPage();
        }
        const double extra = g.header->keep_with_next ? data->height : 0;
        PrintBand(*g.header, Scope{master_, g.start, g.end, nullptr}, true, extra);
      }
      SetRow(master_, r);
      line_ = r + 1;
      const Scope data_scope = levels ? Scope{master_, groups.back().start, groups.back().end, nullptr}
                                      : AllRows(master_);
      PrintBand(*data, data_scope);
      page_rows_.push_back(r);  // after printing: a band that moved on belongs to the new page
    }
    CloseGroups(groups, 0, rows - 1);
  }

  static bool SameGroup(const std::vector<Group>& groups, std::size_t level, std::int64_t a,
                        std::int64_t b) {
    for (std::size_t l = 0; l <= level; ++l) {
      if (groups[l].keys[static_cast<std::size_t>(a)] != groups[l].keys[static_cast<std::size_t>(b)]) {
        return false;
      }
    }
    return true;
  }

  // Prints the footers of the groups from the innermost down to `from_level`; `last_row` is the
  // last row of those groups.
  void CloseGroups(const std::vector<Group>& groups, std::size_t from_level, std::int64_t last_row) {
    for (std::size_t level = groups.size(); level-- > from_level;) {
      const Group& g = groups[level];
      if (g.footer == nullptr) continue;
      SetRow(master_, last_row);
      PrintBand(*g.footer, Scope{master_, g.start, g.end, nullptr});
    }
  }

  void PrintDetail() {
    const Band* data = FindBand(BandType::DetailData);
    if (detail_ == nullptr || data == nullptr || detail_->RowCount() == 0) return;
    const std::int64_t rows = detail_->RowCount();
    const Scope all = AllRows(detail_);
    SetRow(detail_, 0);
    for (const Band& b : def_.bands) {
      if (b.type == BandType::DetailHeader) PrintBand(b, all, true, b.keep_with_next ? data->height : 0);
    }
    for (std::int64_t r = 0; r < rows; ++r) {
      SetRow(detail_, r);
      line_ = r + 1;
      PrintBand(*data, all);
    }
    SetRow(detail_, rows - 1);
    for (const Band& b : def_.bands) {
      if (b.type == BandType::DetailFooter) PrintBand(b, all);
    }
  }

  Report& report_;
  const Definition& def_;
  const RowSource* master_ = nullptr;
  const RowSource* detail_ = nullptr;
  int total_pages_ = 0;

  std::vector<Page> pages_;
  int page_number_ = 0;
  double y_ = 0;
  double content_top_ = 0;
  double footer_height_ = 0;
  std::vector<std::int64_t> page_rows_;

  const RowSource* source_ = nullptr;
  std::int64_t row_ = -1;
  std::int64_t line_ = 0;
  Scope scope_;
  std::unordered_map<const RowSource*, std::unordered_map<std::string, int>> field_cache_;
};

// ---------------------------------------------------------------------------------------------

void Report::Clear() { def_ = Definition(); }

bool Report::LoadFromFile(const std::string& path) {
  Clear();
  QFile file(QString::fromStdString(path));
  if (!QFileInfo(file).isFile()) return false;
  if (!file.open(QIODevice::ReadOnly)) {
    throw ReportError("Cannot read report file " + path + ": " + file.errorString().toStdString());
  }
  def_ = DefinitionFromXml(file.readAll().toStdString());
  return true;
}

void Report::SaveToFile(const std::string& path) const {
  QSaveFile file(QString::fromStdString(path));
  const std::string xml = DefinitionToXml(def_);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(xml.data(), static_cast<qint64>(xml.size())) != static_cast<qint64>(xml.size()) ||
      !file.commit()) {
    throw ReportError("Cannot write report file " + path + ": " + file.errorString().toStdString());
  }
}

std::optional<std::string> Report::Variable(const std::string& name) const {
  if (const NamedText* v = def_.FindVariable(name)) return v->value;
  return std::nullopt;
}

Value Report::VariableValue(const std::string& name) {
  if (auto g = GlobalVariable(name)) return *g;
  const NamedText* v = def_.FindVariable(name);
  if (v == nullptr) throw ReportError("Unknown variable \"" + name + "\"");
  if (!HasExpressions(v->value)) return Value::Text(v->value);
  if (active_context_ != nullptr) return Value::Text(ExpandTemplate(v->value, *active_context_));
  LayoutRun idle(*this, 0);
  return Value::Text(ExpandTemplate(v->value, idle));
}

void Report::SetGlobalVariable(const std::string& name, const Value& value) { Globals()[name] = value; }

std::optional<Value> Report::GlobalVariable(const std::string& name) {
  const auto& g = Globals();
  if (auto it = g.find(name); it != g.end()) return it->second;
  return std::nullopt;
}

void Report::ClearGlobalVariables() { Globals().clear(); }

ReportObject* Report::FindObject(const std::string& name) {
  for (Band& b : def_.bands) {
    for (ReportObject& o : b.objects) {
      if (o.name == name) return &o;
    }
  }
  return nullptr;
}

Band* Report::FindBand(const std::string& name) {
  for (Band& b : def_.bands) {
    if (b.name == name) return &b;
  }
  return nullptr;
}

bool Report::SetObjectText(const std::string& name, const std::string& text) {
  ReportObject* o = FindObject(name);
  if (o == nullptr) return false;
  o->text = text;
  return true;
}

bool Report::SetVisible(const std::string& name, bool visible) {
  if (ReportObject* o = FindObject(name)) {
    o->visible = visible;
    return true;
  }
  if (Band* b = FindBand(name)) {
    b->visible = visible;
    return true;
  }
  return false;
}

void Report::BindDataSource(const std::string& name, RowSource* source) {
  if (source == nullptr) {
    sources_.erase(name);
  } else {
    sources_[name] = source;
  }
}

RowSource* Report::DataSource(const std::string& name) const {
  auto it = sources_.find(name);
  return it == sources_.end() ? nullptr : it->second;
}

PageModel Report::BuildPages() {
  for (auto& [name, source] : sources_) source->Open();
  bool needs_total = false;
  for (const Band& b : def_.bands) {
    for (const ReportObject& o : b.objects) needs_total = needs_total || ContainsNoCase(o.text, "TotalPages");
  }
  for (const NamedText& v : def_.variables) needs_total = needs_total || ContainsNoCase(v.value, "TotalPages");
  int total = 0;
  // A first pass counts the pages when a text shows their total.
  if (needs_total) total = static_cast<int>(LayoutRun(*this, 0).Run().pages.size());
  PageModel model = LayoutRun(*this, total).Run();
  if (model.title.empty()) model.title = def_.title;
  if (on_end_of_document) on_end_of_document(*this);
  return model;
}

Value Report::Evaluate(const std::string& expression) {
  if (active_context_ != nullptr) return EvaluateExpression(expression, *active_context_);
  LayoutRun idle(*this, 0);
  return EvaluateExpression(expression, idle);
}

}  // namespace tikora::report
