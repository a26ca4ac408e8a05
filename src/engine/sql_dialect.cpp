#include "engine/sql_dialect.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/sql_datetime_literal.h"
#include "engine/sql_parser.h"
#include "engine/sql_tokenizer.h"

namespace tikora::engine {
namespace {

using sql::EqualsNoCase;
using sql::Expr;
using sql::ExprPtr;
using Kind = sql::Expr::Kind;

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string QuoteText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

bool IsTextType(std::optional<FieldType> t) {
  return t && (*t == FieldType::String || *t == FieldType::Memo);
}
bool IsDateTime(std::optional<FieldType> t) { return t && IsDateTimeType(*t); }
bool IsWholeNumberType(std::optional<FieldType> t) {
  return t && (*t == FieldType::Integer || *t == FieldType::Word || *t == FieldType::AutoInc ||
               *t == FieldType::Boolean);
}
bool IsFractionType(std::optional<FieldType> t) {
  return t && (*t == FieldType::Float || *t == FieldType::Currency);
}

// Literals and parameters take their type from what they meet.
bool IsLoose(const Expr& e) {
  return e.kind == Kind::String || e.kind == Kind::Parameter || e.kind == Kind::Null;
}

bool IsComparison(std::string_view op) {
  return op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=";
}

bool IsAggregateName(std::string_view name) {
  return name == "SUM" || name == "COUNT" || name == "AVG" || name == "MIN" || name == "MAX";
}

std::string_view DateTimeTypeName(FieldType t) {
  switch (t) {
    case FieldType::Date: return "date";
    case FieldType::Time: return "time";
    default: return "timestamp";
  }
}

// A table in scope: its canonical name, the name SQL refers to it by, and its fields.
struct Source {
  std::string table;
  std::string ref;
  std::vector<SchemaLookup::Field> fields;
};

struct Scope {
  std::vector<Source> sources;
  const Scope* parent = nullptr;
  bool qualify = true;  // emit "ref"."column" (statements) or "column" (filters)
};

enum class Aggregates { Forbidden, Allowed, Inside };

struct SelectResult {
  std::string sql;
  std::vector<SqlColumn> columns;
  std::optional<std::string> live_table;
  std::size_t live_columns_end = 0;
};

class Translator {
 public:
  Translator(std::string_view text, const SchemaLookup& schema) : text_(text), schema_(schema) {}

  TranslatedSql Statement() {
    sql::ParseResult parsed = sql::ParseStatement(text_);
    parameter_types_.assign(parsed.parameters.size(), std::nullopt);
    TranslatedSql out;
    sql::Statement& st = parsed.statement;
    switch (st.kind) {
      case sql::Statement::Kind::Select: {
        out.kind = SqlStatementKind::Select;
        SelectResult r = TranslateSelect(*st.select, nullptr);
        out.sql = std::move(r.sql);
        out.columns = std::move(r.columns);
        out.live_table = std::move(r.live_table);
        out.live_columns_end = r.live_columns_end;
        break;
      }
      case sql::Statement::Kind::Insert:
        out.kind = SqlStatementKind::Insert;
        out.sql = TranslateInsert(st);
        break;
      case sql::Statement::Kind::Update:
        out.kind = SqlStatementKind::Update;
        out.sql = TranslateUpdate(st);
        break;
      case sql::Statement::Kind::Delete:
        out.kind = SqlStatementKind::Delete;
        out.sql = TranslateDelete(st);
        break;
    }
    for (std::size_t i = 0; i < parsed.parameters.size(); ++i)
      out.parameters.push_back(SqlParameter{parsed.parameters[i], parameter_types_[i]});
    out.tables = std::move(tables_);
    return out;
  }

  TranslatedFilter Filter(std::string_view table, FilterOptions options) {
    options_ = options;
    in_filter_ = true;
    TranslatedFilter out;
    std::string_view rest = text_;
    while (!rest.empty() && std::string_view(" \t\r\n").find(rest.front()) != std::string_view::npos)
      rest.remove_prefix(1);
    if (rest.empty()) return out;
    ExprPtr e = sql::ParseFilterExpression(text_);
    const std::string canonical = CanonicalTable(table, 0, false);
    Scope scope;
    scope.qualify = false;
    scope.sources.push_back(MakeSource(canonical, ""));
    Analyze(*e, scope, Aggregates::Forbidden);
    out.sql = Emit(*e);
    return out;
  }

 private:
  // --- errors --------------------------------------------------------------------------------

  [[noreturn]] void Fail(std::size_t offset, std::string_view what) const { sql::ThrowAt(text_, offset, what); }

  // --- tables and names ----------------------------------------------------------------------

  std::string CanonicalTable(std::string_view name, std::size_t offset, bool with_position = true) {
    std::optional<std::string> canonical = schema_.CanonicalTable(name);
    if (!canonical) {
      if (!with_position) throw EngineError(kErrSqlSyntax, fmt::format("Unknown table \"{}\"", name));
      Fail(offset, fmt::format("Unknown table \"{}\"", name));
    }
    if (std::find(tables_.begin(), tables_.end(), *canonical) == tables_.end()) tables_.push_back(*canonical);
    return *canonical;
  }

  Source MakeSource(const std::string& canonical, const std::string& alias) {
    Source s;
    s.table = canonical;
    s.ref = alias.empty() ? canonical : alias;
    auto fields = schema_.Fields(canonical);
    if (!fields) throw EngineError(kErrSqlSyntax, fmt::format("Unknown table \"{}\"", canonical));
    s.fields = std::move(*fields);
    return s;
  }

  static const SchemaLookup::Field* FindField(const Source& s, std::string_view name) {
    for (const SchemaLookup::Field& f : s.fields)
      if (EqualsNoCase(f.name, name)) return &f;
    return nullptr;
  }

  // The source a qualifier names: its alias (or table name when it has none), else the only
  // source of that table.
  static const Source* FindSource(const Scope& scope, std::string_view qualifier) {
    for (const Source& s : scope.sources)
      if (EqualsNoCase(s.ref, qualifier)) return &s;
    const Source* by_table = nullptr;
    for (const Source& s : scope.sources) {
      if (!EqualsNoCase(s.table, qualifier)) continue;
      if (by_table) return nullptr;
      by_table = &s;
    }
    return by_table;
  }

  void ResolveColumn(Expr& e, const Scope& scope) {
    for (const Scope* s = &scope; s; s = s->parent) {
      const Source* source = nullptr;
      const SchemaLookup::Field* field = nullptr;
      if (!e.qualifier.empty()) {
        source = FindSource(*s, e.qualifier);
        if (!source) continue;
        field = FindField(*source, e.text);
        if (!field) Fail(e.offset, fmt::format("Unknown field \"{}\" in table \"{}\"", e.text, source->table));
      } else {
        for (const Source& candidate : s->sources) {
          const SchemaLookup::Field* f = FindField(candidate, e.text);
          if (!f) continue;
          if (field) Fail(e.offset, fmt::format("Ambiguous field name \"{}\"", e.text));
          source = &candidate;
          field = f;
        }
        if (!field) continue;
      }
      e.type = field->type;
      e.resolved = s->qualify ? QuoteName(source->ref) + "." + QuoteName(field->name) : QuoteName(field->name);
      e.qualifier = source->table;  // from here on: the canonical table
      e.text = field->name;         // ... and the canonical field name
      return;
    }
    if (!e.qualifier.empty()) Fail(e.offset, fmt::format("Unknown table or alias \"{}\"", e.qualifier));
    Fail(e.offset, fmt::format("Unknown field \"{}\"", e.text));
  }

  // --- coercion ------------------------------------------------------------------------------

  void NoteParameterType(Expr& p, FieldType type) {
    auto& slot = parameter_types_.at(static_cast<std::size_t>(p.param_index - 1));
    if (!slot) slot = type;
  }

  // Rewrites a date/time literal to the storage form of `type`.
  void NormalizeLiteral(Expr& literal, FieldType type) {
    std::optional<std::string> stored = sql::StorageFormOf(literal.text, type);
    if (!stored)
      Fail(literal.offset, fmt::format("Invalid {} value \"{}\"", DateTimeTypeName(type), literal.text));
    literal.text = std::move(*stored);
    literal.type = type;
  }

  // Operands compared with one another (=, <, BETWEEN, IN ...): literals and parameters take the
  // type of the typed operands; a date meeting a timestamp is compared as its midnight.
  void CoerceCompared(const std::vector<Expr*>& operands) {
    std::optional<FieldType> target;
    for (const Expr* op : operands) {
      if (IsLoose(*op) || !IsDateTime(op->type)) continue;
      if (!target) {
        target = op->type;
      } else if (*target != *op->type && *target != FieldType::Time && *op->type != FieldType::Time) {
        target = FieldType::Timestamp;
      }
    }
    if (!target) {
      CoerceParametersToKnownType(operands);
      return;
    }
    if (*target == FieldType::Date) {
      for (const Expr* op : operands) {
        if (op->kind != Kind::String) continue;
        auto literal = sql::ParseDateTimeLiteral(op->text);
        if (literal && literal->has_date && literal->has_time && !literal->IsMidnight()) target = FieldType::Timestamp;
      }
    }
    for (Expr* op : operands) {
      if (op->kind == Kind::String) {
        NormalizeLiteral(*op, *target);
      } else if (op->kind == Kind::Parameter) {
        NoteParameterType(*op, *target);
      } else if (*target == FieldType::Timestamp && op->type == FieldType::Date) {
        op->as_timestamp = true;
      }
    }
  }

  void CoerceParametersToKnownType(const std::vector<Expr*>& operands) {
    std::optional<FieldType> known;
    for (const Expr* op : operands)
      if (!IsLoose(*op) && op->type) known = known ? known : op->type;
    if (!known) return;
    for (Expr* op : operands)
      if (op->kind == Kind::Parameter) NoteParameterType(*op, *known);
  }

  // A value written into a field (INSERT, UPDATE).
  void CoerceAssigned(Expr& value, FieldType type) {
    if (value.kind == Kind::String && value.text.empty()) {
      value.kind = Kind::Null;  // empty texts are stored as NULL
      value.type.reset();
    } else if (value.kind == Kind::String && IsDateTimeType(type)) {
      NormalizeLiteral(value, type);
    } else if (value.kind == Kind::Parameter) {
      NoteParameterType(value, type);
    }
  }

  // Text comparisons of a filter with the case-insensitive option.
  bool ComparesText(const std::vector<Expr*>& operands) const {
    if (!in_filter_ || !options_.case_insensitive) return false;
    bool any_text = false;
    for (const Expr* op : operands) {
      if (IsTextType(op->type)) any_text = true;
      else if (op->type && op->kind != Kind::String) return false;
    }
    return any_text;
  }

  // --- analysis: names, types, coercion ------------------------------------------------------

  void Analyze(Expr& e, const Scope& scope, Aggregates aggregates) {
    switch (e.kind) {
      case Kind::String: e.type = FieldType::String; return;
      case Kind::Number:
        e.type = e.text.find_first_of(".eE") == std::string::npos ? FieldType::Integer : FieldType::Float;
        return;
      case Kind::Boolean: e.type = FieldType::Boolean; return;
      case Kind::Null: return;
      case Kind::Parameter: return;
      case Kind::Column: ResolveColumn(e, scope); return;
      case Kind::CurrentValue:
        e.type = e.text == "CURRENT_DATE" ? FieldType::Date
                 : e.text == "CURRENT_TIME" ? FieldType::Time
                                            : FieldType::Timestamp;
        return;
      default: break;
    }
    if (e.select) AnalyzeSubquery(e, scope);
    for (ExprPtr& a : e.args)
      Analyze(*a, scope, e.kind == Kind::Function && IsAggregateName(e.text) ? Aggregates::Inside : aggregates);
    switch (e.kind) {
      case Kind::Unary:
        e.type = e.text == "NOT" ? std::optional(FieldType::Boolean) : e.args[0]->type;
        if (e.text != "NOT" && IsDateTime(e.type)) Fail(e.offset, "Date and time values cannot be negated");
        return;
      case Kind::Binary: AnalyzeBinary(e); return;
      case Kind::Between:
      case Kind::InList: {
        std::vector<Expr*> operands;
        for (ExprPtr& a : e.args) operands.push_back(a.get());
        CoerceCompared(operands);
        e.nocase = ComparesText(operands);
        e.type = FieldType::Boolean;
        return;
      }
      case Kind::InSelect:
      case Kind::Exists:
      case Kind::IsNull: e.type = FieldType::Boolean; return;
      case Kind::Like:
        e.nocase = in_filter_ && options_.case_insensitive;
        e.type = FieldType::Boolean;
        return;
      case Kind::Subquery: return;  // typed by AnalyzeSubquery
      case Kind::Function: AnalyzeFunction(e, aggregates); return;
      case Kind::Cast: AnalyzeCast(e); return;
      case Kind::Case: e.type = e.args.size() > 1 ? e.args[e.has_base ? 2 : 1]->type : std::nullopt; return;
      default: return;
    }
  }

  void AnalyzeBinary(Expr& e) {
    Expr& lhs = *e.args[0];
    Expr& rhs = *e.args[1];
    const std::string& op = e.text;
    if (op == "AND" || op == "OR") {
      e.type = FieldType::Boolean;
    } else if (IsComparison(op)) {
      AnalyzeComparison(e);
    } else if (IsDateTime(lhs.type) || IsDateTime(rhs.type)) {
      // timestamp - timestamp: milliseconds. Nothing else is defined on dates and times.
      if (op != "-") Fail(e.offset, fmt::format("Operator {} is not defined on date and time values", op));
      CoerceCompared({&lhs, &rhs});
      if (!IsDateTime(lhs.type) && lhs.kind != Kind::Parameter && lhs.kind != Kind::Null)
        Fail(e.offset, "Only a date or time value can be subtracted from a date or time value");
      if (!IsDateTime(rhs.type) && rhs.kind != Kind::Parameter && rhs.kind != Kind::Null)
        Fail(e.offset, "Only a date or time value can be subtracted from a date or time value");
      lhs.as_timestamp = rhs.as_timestamp = false;  // julianday() reads dates as they are
      e.text = "MSDIFF";
      e.type = FieldType::Integer;
    } else if (op == "||" || (op == "+" && (IsTextType(lhs.type) || IsTextType(rhs.type)))) {
      e.text = "||";
      e.type = FieldType::String;
    } else if (op == "/") {
      e.type = FieldType::Float;
    } else if (IsWholeNumberType(lhs.type) && IsWholeNumberType(rhs.type)) {
      e.type = FieldType::Integer;
    } else if ((IsWholeNumberType(lhs.type) || IsFractionType(lhs.type)) &&
               (IsWholeNumberType(rhs.type) || IsFractionType(rhs.type))) {
      e.type = FieldType::Float;
    }
  }

  void AnalyzeComparison(Expr& e) {
    Expr& lhs = *e.args[0];
    Expr& rhs = *e.args[1];
    e.type = FieldType::Boolean;
    if (in_filter_ && !options_.no_partial_compare && (e.text == "=" || e.text == "<>")) {
      // Field = 'ab*': the leading characters of the field, compared with 'ab'.
      Expr* literal = rhs.kind == Kind::String ? &rhs : lhs.kind == Kind::String ? &lhs : nullptr;
      Expr* other = literal == &rhs ? &lhs : &rhs;
      if (literal && !IsLoose(*other) && !IsDateTime(other->type) && !literal->text.empty() &&
          literal->text.back() == '*') {
        literal->text.pop_back();
        if (literal == &lhs) std::swap(e.args[0], e.args[1]);
        e.prefix_match = true;
        e.nocase = options_.case_insensitive;
        return;
      }
    }
    CoerceCompared({&lhs, &rhs});
    e.nocase = ComparesText({&lhs, &rhs});
  }

  void AnalyzeFunction(Expr& e, Aggregates aggregates) {
    const std::string& name = e.text;
    auto arity = [&](std::size_t low, std::size_t high) {
      if (e.args.size() < low || e.args.size() > high)
        Fail(e.offset, fmt::format("Wrong number of arguments for {}", name));
    };
    if (IsAggregateName(name)) {
      if (aggregates == Aggregates::Forbidden) Fail(e.offset, fmt::format("Aggregate {} is not allowed here", name));
      if (aggregates == Aggregates::Inside) Fail(e.offset, "Aggregates cannot be nested");
      saw_aggregate_ = true;
      if (!e.star) arity(1, 1);
      const std::optional<FieldType> arg = e.star ? std::nullopt : e.args[0]->type;
      if (name == "COUNT") e.type = FieldType::Integer;
      else if (name == "AVG") e.type = FieldType::Float;
      else if (name == "SUM") e.type = IsWholeNumberType(arg) ? FieldType::Integer : IsFractionType(arg) ? arg : std::nullopt;
      else e.type = arg;
      if (name == "SUM" || name == "AVG") {
        if (IsDateTime(arg)) Fail(e.offset, fmt::format("{} is not defined on date and time values", name));
      }
      return;
    }
    if (e.flag) Fail(e.offset, "DISTINCT is only allowed in aggregates");
    if (name == "UPPER" || name == "LOWER") {
      arity(1, 1);
    } else if (name == "SUBSTRING") {
      arity(2, 3);
    } else if (name == "TRIM") {
      arity(3, 3);
    } else if (name == "EXTRACT") {
      arity(2, 2);
      static constexpr std::string_view kParts[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "MSECOND"};
      if (std::find(std::begin(kParts), std::end(kParts), e.args[1]->text) == std::end(kParts))
        Fail(e.args[1]->offset, fmt::format("Unknown date part \"{}\"", e.args[1]->text));
      e.type = FieldType::Integer;
      return;
    } else {
      Fail(e.offset, fmt::format("Unknown function \"{}\"", name));
    }
    e.type = FieldType::String;
  }

  static std::optional<FieldType> CastTarget(std::string_view name) {
    static constexpr std::pair<std::string_view, FieldType> kTargets[] = {
        {"DATE", FieldType::Date},       {"TIME", FieldType::Time},        {"TIMESTAMP", FieldType::Timestamp},
        {"INTEGER", FieldType::Integer}, {"INT", FieldType::Integer},      {"SMALLINT", FieldType::Integer},
        {"LARGEINT", FieldType::Integer}, {"WORD", FieldType::Integer},    {"FLOAT", FieldType::Float},
        {"REAL", FieldType::Float},      {"DOUBLE", FieldType::Float},     {"NUMERIC", FieldType::Float},
        {"DECIMAL", FieldType::Float},   {"MONEY", FieldType::Currency},   {"CHAR", FieldType::String},
        {"VARCHAR", FieldType::String},  {"MEMO", FieldType::Memo},        {"BOOLEAN", FieldType::Boolean},
        {"BOOL", FieldType::Boolean},
    };
    for (const auto& [n, t] : kTargets)
      if (n == name) return t;
    return std::nullopt;
  }

  void AnalyzeCast(Expr& e) {
    auto target = CastTarget(e.text);
    if (!target) Fail(e.offset, fmt::format("Unknown type \"{}\" in CAST", e.text));
    Expr& arg = *e.args[0];
    if (arg.kind == Kind::String && IsDateTimeType(*target)) NormalizeLiteral(arg, *target);
    if (arg.kind == Kind::Parameter && IsDateTimeType(*target)) NoteParameterType(arg, *target);
    e.type = target;
  }

  // --- select --------------------------------------------------------------------------------

  void AnalyzeSubquery(Expr& e, const Scope& scope) {
    if (in_filter_) Fail(e.offset, "Sub-selects are not allowed in a filter");
    const bool saw = std::exchange(saw_aggregate_, false);
    SelectResult r = TranslateSelect(*e.select, &scope);
    saw_aggregate_ = saw;
    if (e.kind != Kind::Exists && r.columns.size() != 1)
      Fail(e.select->offset, "A sub-select used as a value must select exactly one column");
    e.resolved = std::move(r.sql);
    if (e.kind == Kind::Subquery) e.type = r.columns[0].type;
  }

  struct CoreResult {
    std::string sql;
    std::vector<SqlColumn> columns;
    std::vector<std::string> names;  // result names in lower case, for ORDER BY
    bool plain = false;              // one table, no aggregate, GROUP BY or DISTINCT
    std::size_t columns_end = 0;     // offset in `sql` just after the result columns
    Scope scope;
  };

  std::string EmitFrom(sql::SelectCore& core, Scope& scope) {
    std::string out;
    for (std::size_t i = 0; i < core.from.size(); ++i) {
      sql::TableRef& ref = core.from[i];
      const std::string canonical = CanonicalTable(ref.name, ref.offset);
      Source source = MakeSource(canonical, ref.alias);
      for (const Source& other : scope.sources)
        if (EqualsNoCase(other.ref, source.ref))
          Fail(ref.offset, fmt::format("Table \"{}\" is named twice; give it an alias", source.ref));
      std::string item = QuoteName(canonical);
      if (!ref.alias.empty()) item += " AS " + QuoteName(ref.alias);
      scope.sources.push_back(std::move(source));
      switch (ref.join) {
        case sql::JoinKind::First: out += item; break;
        case sql::JoinKind::Comma: out += ", " + item; break;
        case sql::JoinKind::Cross: out += " CROSS JOIN " + item; break;
        case sql::JoinKind::Inner:
        case sql::JoinKind::Left:
          out += (ref.join == sql::JoinKind::Left ? " LEFT JOIN " : " JOIN ") + item;
          // ON sees the tables joined so far, this one included.
          Analyze(*ref.on, scope, Aggregates::Forbidden);
          out += " ON " + Emit(*ref.on);
          break;
      }
    }
    return out;
  }

  void AddColumn(CoreResult& r, std::string emitted, std::string name, SqlColumn column) {
    if (!r.sql.empty()) r.sql += ", ";
    r.sql += emitted + " AS " + QuoteName(name);
    column.name = name;
    r.names.push_back(name);
    r.columns.push_back(std::move(column));
  }

  CoreResult TranslateCore(sql::SelectCore& core, const Scope* parent) {
    CoreResult r;
    r.scope.parent = parent;
    const std::string from = EmitFrom(core, r.scope);
    saw_aggregate_ = false;
    for (sql::SelectItem& item : core.items) {
      if (!item.expr) {
        ExpandStar(item, r);
        continue;
      }
      Analyze(*item.expr, r.scope, Aggregates::Allowed);
      SqlColumn column;
      column.type = item.expr->type;
      std::string name = item.alias;
      if (item.expr->kind == Kind::Column) {
        column.table = item.expr->qualifier;
        column.field = item.expr->text;
        if (name.empty()) name = item.expr->text;
      }
      if (name.empty()) name = item.source_text;
      AddColumn(r, Emit(*item.expr), std::move(name), std::move(column));
    }
    std::string sql = std::string("SELECT ") + (core.distinct ? "DISTINCT " : "") + r.sql;
    r.columns_end = sql.size();
    if (!from.empty()) sql += " FROM " + from;
    if (core.where) {
      Analyze(*core.where, r.scope, Aggregates::Forbidden);
      sql += " WHERE " + Emit(*core.where);
    }
    if (!core.group_by.empty()) {
      sql += " GROUP BY ";
      for (std::size_t i = 0; i < core.group_by.size(); ++i) {
        if (i) sql += ", ";
        sql += ResultReference(*core.group_by[i], r, Clause::GroupBy);
      }
    }
    if (core.having) {
      Analyze(*core.having, r.scope, Aggregates::Allowed);
      if (core.group_by.empty() && !saw_aggregate_)
        Fail(core.having_offset, "HAVING needs GROUP BY or an aggregate");
      sql += " HAVING " + Emit(*core.having);
    }
    r.plain = core.from.size() == 1 && !core.distinct && core.group_by.empty() && !core.having && !saw_aggregate_;
    r.sql = std::move(sql);
    return r;
  }

  void ExpandStar(const sql::SelectItem& item, CoreResult& r) {
    if (r.scope.sources.empty()) Fail(item.offset, "* needs a FROM clause");
    for (const Source& source : r.scope.sources) {
      if (!item.star_qualifier.empty() && !EqualsNoCase(source.ref, item.star_qualifier)) continue;
      for (const SchemaLookup::Field& f : source.fields) {
        SqlColumn column{f.name, f.type, source.table, f.name};
        AddColumn(r, QuoteName(source.ref) + "." + QuoteName(f.name), f.name, std::move(column));
      }
      if (!item.star_qualifier.empty()) return;
    }
    if (!item.star_qualifier.empty()) Fail(item.offset, fmt::format("Unknown table or alias \"{}\"", item.star_qualifier));
  }

  // A GROUP BY or ORDER BY term: an ordinal, a result column's name, or an expression.
  enum class Clause { GroupBy, OrderBy };
  std::string ResultReference(Expr& e, CoreResult& r, Clause clause) {
    if (e.kind == Kind::Number) {
      std::size_t ordinal = 0;
      const bool digits_only = e.text.find_first_not_of("0123456789") == std::string::npos;
      if (digits_only && e.text.size() < 6) ordinal = std::stoul(e.text);
      if (ordinal < 1 || ordinal > r.columns.size())
        Fail(e.offset, fmt::format("Column number {} is out of range", e.text));
      return e.text;
    }
    if (e.kind == Kind::Column && e.qualifier.empty()) {
      // A field of the tables comes first in GROUP BY, a result name first in ORDER BY.
      if (clause == Clause::OrderBy || !ResolvesInScope(e, r.scope)) {
        for (const std::string& name : r.names)
          if (EqualsNoCase(name, e.text)) return QuoteName(name);
      }
    }
    Analyze(e, r.scope, clause == Clause::OrderBy ? Aggregates::Allowed : Aggregates::Forbidden);
    return Emit(e);
  }

  bool ResolvesInScope(const Expr& e, const Scope& scope) const {
    for (const Scope* s = &scope; s; s = s->parent)
      for (const Source& source : s->sources)
        if (FindField(source, e.text)) return true;
    return false;
  }

  std::string OrderTerm(const sql::OrderItem& item, std::string term) {
    if (item.nocase) term += " COLLATE NOCASE";
    if (item.descending) term += " DESC";
    return term;
  }

  SelectResult TranslateSelect(sql::Select& select, const Scope* parent) {
    SelectResult out;
    std::vector<CoreResult> cores;
    for (std::size_t i = 0; i < select.cores.size(); ++i) {
      cores.push_back(TranslateCore(select.cores[i], parent));
      if (i > 0) {
        if (cores[i].columns.size() != cores[0].columns.size())
          Fail(select.offset, "The selects of a UNION must have the same number of columns");
        out.sql += select.union_all[i - 1] ? " UNION ALL " : " UNION ";
      }
      if (select.cores[i].top && select.cores.size() > 1) Fail(select.offset, "TOP cannot be used with UNION");
      out.sql += cores[i].sql;
    }
    CoreResult& first = cores[0];
    const bool compound = cores.size() > 1;
    bool order_has_aggregate = false;
    if (!select.order_by.empty()) {
      out.sql += " ORDER BY ";
      for (std::size_t i = 0; i < select.order_by.size(); ++i) {
        sql::OrderItem& item = select.order_by[i];
        if (i) out.sql += ", ";
        if (compound && !(item.expr->kind == Kind::Number ||
                          (item.expr->kind == Kind::Column && item.expr->qualifier.empty())))
          Fail(item.expr->offset, "ORDER BY of a UNION must name a result column");
        saw_aggregate_ = false;
        std::string term = ResultReference(*item.expr, first, Clause::OrderBy);
        order_has_aggregate = order_has_aggregate || saw_aggregate_;
        if (compound && item.expr->kind == Kind::Column && !item.expr->resolved.empty())
          Fail(item.expr->offset, "ORDER BY of a UNION must name a result column");
        out.sql += OrderTerm(item, std::move(term));
      }
    }
    if (select.cores[0].top) out.sql += fmt::format(" LIMIT {}", *select.cores[0].top);
    out.columns = std::move(first.columns);
    if (!compound && first.plain && !order_has_aggregate) {
      out.live_table = first.scope.sources[0].table;
      out.live_columns_end = first.columns_end;  // the only core stands at the start of out.sql
    }
    return out;
  }

  // --- insert, update, delete ----------------------------------------------------------------

  std::string TranslateInsert(sql::Statement& st) {
    const std::string table = CanonicalTable(st.table, st.table_offset);
    Source source = MakeSource(table, "");
    std::vector<const SchemaLookup::Field*> targets;
    if (st.columns.empty()) {
      for (const SchemaLookup::Field& f : source.fields) targets.push_back(&f);
    }
    for (std::size_t i = 0; i < st.columns.size(); ++i) {
      const SchemaLookup::Field* f = FindField(source, st.columns[i]);
      if (!f) Fail(st.column_offsets[i], fmt::format("Unknown field \"{}\" in table \"{}\"", st.columns[i], table));
      targets.push_back(f);
    }
    std::string sql = "INSERT INTO " + QuoteName(table) + " (";
    for (std::size_t i = 0; i < targets.size(); ++i) sql += (i ? ", " : "") + QuoteName(targets[i]->name);
    sql += ")";
    if (st.select) {
      SelectResult r = TranslateSelect(*st.select, nullptr);
      if (r.columns.size() != targets.size())
        Fail(st.select->offset, fmt::format("{} columns selected for {} fields", r.columns.size(), targets.size()));
      // The selected rows pass through a named source, so that each column can be stored by its
      // field's rules whatever the select calls it.
      std::string names, values;
      for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string column = fmt::format("tikora_c{}", i + 1);
        names += (i ? ", " : "") + column;
        values += (i ? ", " : "") + StoredValue(column, *targets[i]);
      }
      return fmt::format("WITH tikora_source({}) AS ({}) {} SELECT {} FROM tikora_source", names, r.sql,
                         sql, values);
    }
    const Scope no_tables;
    sql += " VALUES ";
    for (std::size_t row = 0; row < st.rows.size(); ++row) {
      std::vector<ExprPtr>& values = st.rows[row];
      if (values.size() != targets.size())
        Fail(values.front()->offset, fmt::format("{} values given for {} fields", values.size(), targets.size()));
      sql += row ? ", (" : "(";
      for (std::size_t i = 0; i < values.size(); ++i) {
        Analyze(*values[i], no_tables, Aggregates::Forbidden);
        CoerceAssigned(*values[i], targets[i]->type);
        sql += (i ? ", " : "") + StoredValue(Emit(*values[i]), *targets[i]);
      }
      sql += ")";
    }
    return sql;
  }

  Scope SingleTableScope(sql::Statement& st) {
    Scope scope;
    scope.sources.push_back(MakeSource(CanonicalTable(st.table, st.table_offset), ""));
    return scope;
  }

  std::string WhereClause(sql::Statement& st, const Scope& scope) {
    if (!st.where) return "";
    Analyze(*st.where, scope, Aggregates::Forbidden);
    return " WHERE " + Emit(*st.where);
  }

  std::string TranslateUpdate(sql::Statement& st) {
    Scope scope = SingleTableScope(st);
    const Source& source = scope.sources[0];
    std::string sql = "UPDATE " + QuoteName(source.table) + " SET ";
    for (std::size_t i = 0; i < st.assignments.size(); ++i) {
      sql::Assignment& a = st.assignments[i];
      const SchemaLookup::Field* f = FindField(source, a.field);
      if (!f) Fail(a.offset, fmt::format("Unknown field \"{}\" in table \"{}\"", a.field, source.table));
      Analyze(*a.value, scope, Aggregates::Forbidden);
      CoerceAssigned(*a.value, f->type);
      sql += (i ? ", " : "") + QuoteName(f->name) + " = " + StoredValue(Emit(*a.value), *f);
    }
    return sql + WhereClause(st, scope);
  }

  // A value assigned to `field`, stored by the same rules as the table objects store it.
  static std::string StoredValue(const std::string& value_sql, const SchemaLookup::Field& field) {
    if (field.type == FieldType::Blob) return value_sql;
    return fmt::format("{}({}, {}, {}, {})", kStoredValueFunction, value_sql,
                       QuoteText(FieldTypeName(field.type)), field.size, QuoteText(field.name));
  }

  std::string TranslateDelete(sql::Statement& st) {
    Scope scope = SingleTableScope(st);
    return "DELETE FROM " + QuoteName(scope.sources[0].table) + WhereClause(st, scope);
  }

  // --- emission ------------------------------------------------------------------------------

  std::string Emit(const Expr& e) {
    std::string s = EmitBare(e);
    if (e.as_timestamp) s = "(" + s + " || ' 00:00:00.000')";
    return s;
  }

  std::string Collate(const Expr& e) const { return e.nocase ? " COLLATE NOCASE" : ""; }

  std::string EmitBare(const Expr& e) {
    switch (e.kind) {
      case Kind::String: return QuoteText(e.text);
      case Kind::Number: return e.text;
      case Kind::Boolean: return e.flag ? "1" : "0";
      case Kind::Null: return "NULL";
      case Kind::Parameter: return fmt::format("?{}", e.param_index);
      case Kind::Column: return e.resolved;
      case Kind::Unary:
        return "(" + std::string(e.text == "NOT" ? "NOT " : e.text) + Emit(*e.args[0]) + ")";
      case Kind::Binary: return EmitBinary(e);
      case Kind::Between:
        return "(" + Emit(*e.args[0]) + Collate(e) + (e.flag ? " NOT" : "") + " BETWEEN " + Emit(*e.args[1]) +
               " AND " + Emit(*e.args[2]) + ")";
      case Kind::InList: {
        std::string s = "(" + Emit(*e.args[0]) + Collate(e) + (e.flag ? " NOT IN (" : " IN (");
        for (std::size_t i = 1; i < e.args.size(); ++i) s += (i > 1 ? ", " : "") + Emit(*e.args[i]);
        return s + "))";
      }
      case Kind::InSelect:
        return "(" + Emit(*e.args[0]) + (e.flag ? " NOT IN (" : " IN (") + e.resolved + "))";
      case Kind::Exists: return std::string(e.flag ? "(NOT EXISTS (" : "(EXISTS (") + e.resolved + "))";
      case Kind::Subquery: return "(" + e.resolved + ")";
      case Kind::IsNull: return "(" + Emit(*e.args[0]) + (e.flag ? " IS NOT NULL)" : " IS NULL)");
      case Kind::Like: return EmitLike(e);
      case Kind::Function: return EmitFunction(e);
      case Kind::Cast: return EmitCast(e);
      case Kind::CurrentValue:
        if (e.text == "CURRENT_DATE") return "strftime('%Y-%m-%d','now','localtime')";
        if (e.text == "CURRENT_TIME") return "strftime('%H:%M:%f','now','localtime')";
        return "strftime('%Y-%m-%d %H:%M:%f','now','localtime')";
      case Kind::Case: return EmitCase(e);
    }
    return "NULL";
  }

  // SQLite's precedence group of a plainly written binary operator; 0 for the others.
  static int PlainGroup(const Expr& e) {
    if (e.kind != Kind::Binary || e.as_timestamp || e.nocase || e.prefix_match) return 0;
    const std::string& op = e.text;
    if (op == "OR") return 1;
    if (op == "AND") return 2;
    if (op == "+" || op == "-") return 3;
    if (op == "*" || op == "%") return 4;
    if (op == "||") return 5;
    return 0;
  }

  // Left-associative chains (a AND b AND c) are written flat: SQLite's parser stack is shallow,
  // and ((a AND b) AND c) nests one level per term.
  std::string EmitBinary(const Expr& e, bool bare = false) {
    const Expr& left = *e.args[0];
    const int group = PlainGroup(e);
    const std::string lhs = group != 0 && PlainGroup(left) == group ? EmitBinary(left, true) : Emit(left);
    const std::string rhs = Emit(*e.args[1]);
    if (e.text == "MSDIFF")  // exact: julianday() keeps whole milliseconds, round() removes the noise
      return "CAST(round((julianday(" + lhs + ") - julianday(" + rhs + ")) * 86400000.0) AS INTEGER)";
    if (e.text == "/") return "(CAST(" + lhs + " AS REAL) / " + rhs + ")";
    if (e.prefix_match) {
      const std::size_t length = sql::CharacterPosition(e.args[1]->text, e.args[1]->text.size()) - 1;
      return fmt::format("(substr({}, 1, {}) {} {}{})", lhs, length, e.text, rhs, Collate(e));
    }
    std::string s = lhs + " " + e.text + " " + rhs + Collate(e);
    return bare ? s : "(" + s + ")";
  }

  // LIKE with a literal pattern compares letter case exactly (as GLOB), unless the filter ignores
  // case; SQLite's own LIKE ignores the case of ASCII letters.
  std::string EmitLike(const Expr& e) {
    const Expr& pattern = *e.args[1];
    const Expr* escape = e.args.size() > 2 ? e.args[2].get() : nullptr;
    if (escape && (escape->kind != Kind::String || sql::CharacterPosition(escape->text, escape->text.size()) != 2))
      Fail(escape->offset, "ESCAPE needs a single character");
    const std::string subject = Emit(*e.args[0]);
    const std::string negation = e.flag ? " NOT" : "";
    if (!e.nocase && pattern.kind == Kind::String)
      return "(" + subject + negation + " GLOB " + QuoteText(LikeToGlob(pattern.text, escape ? escape->text : "")) + ")";
    std::string s = "(" + subject + negation + " LIKE " + Emit(pattern);
    if (escape) s += " ESCAPE " + QuoteText(escape->text);
    return s + ")";
  }

  static std::string LikeToGlob(std::string_view like, std::string_view escape) {
    std::string glob;
    for (std::size_t i = 0; i < like.size(); ++i) {
      const char c = like[i];
      if (!escape.empty() && like.substr(i, escape.size()) == escape && i + escape.size() < like.size()) {
        i += escape.size();
        const char literal = like[i];
        if (literal == '*' || literal == '?' || literal == '[') glob += std::string("[") + literal + "]";
        else glob += literal;
      } else if (c == '%') {
        glob += '*';
      } else if (c == '_') {
        glob += '?';
      } else if (c == '*' || c == '?' || c == '[') {
        glob += std::string("[") + c + "]";
      } else {
        glob += c;
      }
    }
    return glob;
  }

  std::string EmitFunction(const Expr& e) {
    const std::string& name = e.text;
    if (IsAggregateName(name)) {
      if (e.star) return "count(*)";
      std::string lower = name;
      std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(c - 'A' + 'a'); });
      return lower + (e.flag ? "(DISTINCT " : "(") + Emit(*e.args[0]) + ")";
    }
    if (name == "UPPER" || name == "LOWER") return (name == "UPPER" ? "upper(" : "lower(") + Emit(*e.args[0]) + ")";
    if (name == "SUBSTRING") {
      std::string s = "substr(" + Emit(*e.args[0]) + ", " + Emit(*e.args[1]);
      if (e.args.size() > 2) s += ", " + Emit(*e.args[2]);
      return s + ")";
    }
    if (name == "TRIM") {
      const std::string& side = e.args[2]->text;
      const char* fn = side == "LEADING" ? "ltrim(" : side == "TRAILING" ? "rtrim(" : "trim(";
      return fn + Emit(*e.args[0]) + ", " + Emit(*e.args[1]) + ")";
    }
    // EXTRACT
    const std::string value = Emit(*e.args[0]);
    const std::string& part = e.args[1]->text;
    if (part == "MSECOND") return "CAST(substr(strftime('%f', " + value + "), 4) AS INTEGER)";
    const char* format = part == "YEAR" ? "%Y" : part == "MONTH" ? "%m" : part == "DAY" ? "%d"
                         : part == "HOUR" ? "%H" : part == "MINUTE" ? "%M" : "%S";
    return fmt::format("CAST(strftime('{}', {}) AS INTEGER)", format, value);
  }

  std::string EmitCast(const Expr& e) {
    const Expr& arg = *e.args[0];
    const FieldType target = *e.type;
    const std::string value = Emit(arg);
    if (IsDateTimeType(target)) {
      if (arg.type == target) return value;
      const std::optional<FieldType> from = arg.type;
      switch (target) {
        case FieldType::Time:
          if (from == FieldType::Timestamp) return "substr(" + value + ", 12, 12)";
          return "strftime('%H:%M:%f', " + value + ")";
        case FieldType::Date:
          if (from == FieldType::Timestamp) return "substr(" + value + ", 1, 10)";
          return "date(" + value + ")";
        default:
          if (from == FieldType::Date) return "(" + value + " || ' 00:00:00.000')";
          if (from == FieldType::Time) return "('1899-12-30 ' || " + value + ")";
          return "strftime('%Y-%m-%d %H:%M:%f', " + value + ")";
      }
    }
    switch (target) {
      case FieldType::Integer:
      case FieldType::Boolean: return "CAST(" + value + " AS INTEGER)";
      case FieldType::Float:
      case FieldType::Currency: return "CAST(" + value + " AS REAL)";
      default:
        if (e.cast_length) return fmt::format("substr(CAST({} AS TEXT), 1, {})", value, *e.cast_length);
        return "CAST(" + value + " AS TEXT)";
    }
  }

  std::string EmitCase(const Expr& e) {
    std::string s = "CASE";
    std::size_t i = 0;
    if (e.has_base) s += " " + Emit(*e.args[i++]);
    const std::size_t pairs_end = e.args.size() - (e.has_else ? 1 : 0);
    for (; i + 1 < pairs_end; i += 2) s += " WHEN " + Emit(*e.args[i]) + " THEN " + Emit(*e.args[i + 1]);
    if (e.has_else) s += " ELSE " + Emit(*e.args.back());
    return s + " END";
  }

  std::string_view text_;
  const SchemaLookup& schema_;
  FilterOptions options_;
  bool in_filter_ = false;
  bool saw_aggregate_ = false;
  std::vector<std::optional<FieldType>> parameter_types_;
  std::vector<std::string> tables_;
};

}  // namespace

TranslatedSql TranslateSql(std::string_view text, const SchemaLookup& schema) {
  return Translator(text, schema).Statement();
}

TranslatedFilter TranslateFilter(std::string_view filter, std::string_view table, const SchemaLookup& schema,
                                 FilterOptions options) {
  return Translator(filter, schema).Filter(table, options);
}

}  // namespace tikora::engine
