#include "report/expression.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "core/datetime.h"
#include "core/regional.h"
#include "core/text_helpers.h"

namespace tikora::report {

namespace {

// ---------------------------------------------------------------------------------------------
// Small helpers

bool SameNoCase(const std::string& a, const char* b) {
  const std::size_t n = std::char_traits<char>::length(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool IsEmptyValue(const Value& v) {
  return v.IsNull() || (v.kind() == Value::Kind::Text && v.AsText().empty());
}

// A text read as a number, or nullopt.
std::optional<double> TextAsNumber(const std::string& text) {
  const std::string t = Trimmed(text);
  if (t.empty()) return 0.0;
  try {
    return ParseLocaleFloat(t);
  } catch (const ConversionError&) {
    return std::nullopt;
  }
}

bool ToBool(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Boolean: return v.AsBoolean();
    case Value::Kind::Text: {
      const std::string t = Trimmed(v.AsText());
      if (SameNoCase(t, "true")) return true;
      if (SameNoCase(t, "false") || t.empty()) return false;
      break;
    }
    default: return ValueToNumber(v) != 0;
  }
  throw ReportError("'" + v.AsText() + "' is not a valid boolean value");
}

// Numbers keep integer form while both sides are integers and the result fits.
Value NumberValue(double d) { return Value::Float(d); }

// ---------------------------------------------------------------------------------------------
// Tokens

enum class Tok { End, Number, String, Bracket, Ident, Op, LParen, RParen, Comma };

struct Token {
  Tok type = Tok::End;
  std::string text;     // identifier, operator, string contents, bracket contents
  double number = 0;
  bool integer = false;
  std::size_t begin = 0, end = 0;  // source span
};

// The end of the bracketed part that starts at `open` (the position of "["): the position of
// its matching "]", or npos. Quotes inside are skipped; brackets nest.
std::size_t MatchingBracket(const std::string& s, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\'' || c == '"') {
      const std::size_t close = s.find(c, i + 1);
      if (close == std::string::npos) return std::string::npos;
      i = close;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      if (--depth == 0) return i;
    }
  }
  return std::string::npos;
}

class Lexer {
 public:
  explicit Lexer(const std::string& s) : s_(s) {}

  Token Next() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    Token t;
    t.begin = pos_;
    if (pos_ >= s_.size()) {
      t.end = pos_;
      return t;
    }
    const char c = s_[pos_];
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      ReadNumber(t);
    } else if (c == '\'' || c == '"') {
      ReadString(t, c);
    } else if (c == '[') {
      const std::size_t close = MatchingBracket(s_, pos_);
      if (close == std::string::npos) Fail("a \"[\" without its \"]\"");
      t.type = Tok::Bracket;
      t.text = s_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80) {
      const std::size_t b = pos_;
      while (pos_ < s_.size() &&
             (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_' ||
              s_[pos_] == '#' || static_cast<unsigned char>(s_[pos_]) >= 0x80)) {
        ++pos_;
      }
      t.type = Tok::Ident;
      t.text = s_.substr(b, pos_ - b);
    } else if (c == '(') {
      t.type = Tok::LParen, ++pos_;
    } else if (c == ')') {
      t.type = Tok::RParen, ++pos_;
    } else if (c == ',') {
      t.type = Tok::Comma, ++pos_;
    } else {
      static const char* const kOps[] = {"<>", "<=", ">=", "+", "-", "*", "/", "=", "<", ">"};
      for (const char* op : kOps) {
        if (s_.compare(pos_, std::char_traits<char>::length(op), op) == 0) {
          t.type = Tok::Op;
          t.text = op;
          pos_ += t.text.size();
          break;
        }
      }
      if (t.type != Tok::Op) Fail(std::string("unexpected character \"") + c + "\"");
    }
    t.end = pos_;
    return t;
  }

  [[noreturn]] void Fail(const std::string& what) const { throw ReportError(what); }

 private:
  void ReadNumber(Token& t) {
    const std::size_t b = pos_;
    bool integer = true;
    while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '.') {
      integer = false;
      ++pos_;
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      std::size_t p = pos_ + 1;
      if (p < s_.size() && (s_[p] == '+' || s_[p] == '-')) ++p;
      if (p < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p]))) {
        integer = false;
        pos_ = p;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      }
    }
    t.type = Tok::Number;
    t.text = s_.substr(b, pos_ - b);
    // Definitions are locale-independent: the point is the decimal separator here.
    t.number = QString::fromStdString(t.text).toDouble();
    t.integer = integer && t.text.size() <= 18;
  }

  void ReadString(Token& t, char quote) {
    ++pos_;
    std::string out;
    while (true) {
      if (pos_ >= s_.size()) Fail("a text without its closing quote");
      if (s_[pos_] == quote) {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == quote) {
          out += quote;
          pos_ += 2;
          continue;
        }
        ++pos_;
        break;
      }
      out += s_[pos_++];
    }
    t.type = Tok::String;
    t.text = std::move(out);
  }

  const std::string& s_;
  std::size_t pos_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Syntax tree

struct Node;
using NodePtr = std::shared_ptr<const Node>;

enum class NodeKind { Literal, Name, Bracket, Unary, Binary, Call };

struct Node {
  NodeKind kind = NodeKind::Literal;
  Value literal;
  std::string name;                 // Name, Bracket (contents), Unary/Binary operator, Call
  std::vector<NodePtr> children;    // operands or arguments
  std::vector<std::string> arg_texts;  // Call: each argument's source text
};

std::string LowerAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class Parser {
 public:
  explicit Parser(const std::string& s) : s_(s), lex_(s) { Advance(); }

  NodePtr ParseAll() {
    NodePtr n = Or();
    if (tok_.type != Tok::End) Fail("unexpected \"" + s_.substr(tok_.begin, tok_.end - tok_.begin) + "\"");
    return n;
  }

 private:
  void Advance() { tok_ = lex_.Next(); }
  [[noreturn]] void Fail(const std::string& what) const { throw ReportError(what); }

  bool IsWord(const char* w) const { return tok_.type == Tok::Ident && SameNoCase(tok_.text, w); }
  bool IsOp(const char* op) const { return tok_.type == Tok::Op && tok_.text == op; }

  static NodePtr MakeBinary(std::string op, NodePtr a, NodePtr b) {
    auto n = std::make_shared<Node>();
    n->kind = NodeKind::Binary;
    n->name = std::move(op);
    n->children = {std::move(a), std::move(b)};
    return n;
  }
  static NodePtr MakeUnary(std::string op, NodePtr a) {
    auto n = std::make_shared<Node>();
    n->kind = NodeKind::Unary;
    n->name = std::move(op);
    n->children = {std::move(a)};
    return n;
  }

  NodePtr Or() {
    NodePtr n = And();
    while (IsWord("or")) {
      Advance();
      n = MakeBinary("or", n, And());
    }
    return n;
  }
  NodePtr And() {
    NodePtr n = Not();
    while (IsWord("and")) {
      Advance();
      n = MakeBinary("and", n, Not());
    }
    return n;
  }
  NodePtr Not() {
    if (IsWord("not")) {
      Advance();
      return MakeUnary("not", Not());
    }
    return Comparison();
  }
  NodePtr Comparison() {
    NodePtr n = Additive();
    for (const char* op : {"=", "<>", "<", ">", "<=", ">="}) {
      if (IsOp(op)) {
        Advance();
        return MakeBinary(op, n, Additive());
      }
    }
    return n;
  }
  NodePtr Additive() {
    NodePtr n = Multiplicative();
    while (IsOp("+") || IsOp("-")) {
      const std::string op = tok_.text;
      Advance();
      n = MakeBinary(op, n, Multiplicative());
    }
    return n;
  }
  NodePtr Multiplicative() {
    NodePtr n = Unary();
    while (IsOp("*") || IsOp("/") || IsWord("mod") || IsWord("div")) {
      const std::string op = LowerAscii(tok_.text);
      Advance();
      n = MakeBinary(op, n, Unary());
    }
    return n;
  }
  NodePtr Unary() {
    if (IsOp("-") || IsOp("+")) {
      const std::string op = tok_.text;
      Advance();
      return MakeUnary(op, Unary());
    }
    return Primary();
  }
  NodePtr Primary() {
    auto n = std::make_shared<Node>();
    switch (tok_.type) {
      case Tok::Number:
        n->literal = tok_.integer ? Value::Integer(static_cast<std::int64_t>(tok_.number))
                                  : Value::Float(tok_.number);
        Advance();
        return n;
      case Tok::String:
        n->literal = Value::Text(tok_.text);
        Advance();
        return n;
      case Tok::Bracket:
        n->kind = NodeKind::Bracket;
        n->name = Trimmed(tok_.text);
        Advance();
        return n;
      case Tok::LParen: {
        Advance();
        NodePtr inner = Or();
        Expect(Tok::RParen, "\")\"");
        return inner;
      }
      case Tok::Ident: {
        const std::string name = tok_.text;
        Advance();
        if (tok_.type != Tok::LParen) {
          if (SameNoCase(name, "true") || SameNoCase(name, "false")) {
            n->literal = Value::Boolean(SameNoCase(name, "true"));
          } else {
            n->kind = NodeKind::Name;
            n->name = name;
          }
          return n;
        }
        n->kind = NodeKind::Call;
        n->name = name;
        Advance();
        if (tok_.type != Tok::RParen) {
          while (true) {
            const std::size_t begin = tok_.begin;
            n->children.push_back(Or());
            n->arg_texts.push_back(Trimmed(s_.substr(begin, tok_.begin - begin)));
            if (tok_.type != Tok::Comma) break;
            Advance();
          }
        }
        Expect(Tok::RParen, "\")\"");
        return n;
      }
      default:
        break;
    }
    if (tok_.type == Tok::End) Fail("the expression ends too early");
    Fail("unexpected \"" + s_.substr(tok_.begin, tok_.end - tok_.begin) + "\"");
  }
  void Expect(Tok type, const char* what) {
    if (tok_.type != type) Fail(std::string("expected ") + what);
    Advance();
  }

  const std::string& s_;
  Lexer lex_;
  Token tok_;
};

// Parsed expressions by text: report texts repeat for every row.
NodePtr Parse(const std::string& text) {
  thread_local std::unordered_map<std::string, NodePtr> cache;
  if (auto it = cache.find(text); it != cache.end()) return it->second;
  NodePtr n = Parser(text).ParseAll();
  if (cache.size() > 4096) cache.clear();
  cache.emplace(text, n);
  return n;
}

// ---------------------------------------------------------------------------------------------
// Evaluation

constexpr int kMaxDepth = 64;  // nesting of brackets, user functions and variables

class Evaluator {
 public:
  explicit Evaluator(EvalContext& ctx) : ctx_(ctx) {}

  Value Eval(const Node& n) {
    switch (n.kind) {
      case NodeKind::Literal: return n.literal;
      case NodeKind::Name: return LookupName(n.name);
      case NodeKind::Bracket: return EvalBracket(n.name);
      case NodeKind::Unary: return EvalUnary(n);
      case NodeKind::Binary: return EvalBinary(n);
      case NodeKind::Call: return EvalCall(n);
    }
    return {};
  }

 private:
  Value LookupName(const std::string& name) {
    if (auto v = ctx_.Lookup(name)) return *v;
    throw ReportError("Unknown variable or field \"" + name + "\"");
  }

  Value EvalBracket(const std::string& inner) {
    if (auto v = ctx_.Lookup(inner)) return *v;
    NodePtr sub;
    try {
      sub = Parse(inner);
    } catch (const ReportError&) {
      throw ReportError("Unknown variable or field \"" + inner + "\"");
    }
    if (sub->kind == NodeKind::Name) return LookupName(sub->name);
    return Eval(*sub);
  }

  Value EvalUnary(const Node& n) {
    const Value a = Eval(*n.children[0]);
    if (n.name == "not") return Value::Boolean(!ToBool(a));
    if (n.name == "+") return Value::Float(ValueToNumber(a));
    if (a.kind() == Value::Kind::Integer) return Value::Integer(-a.AsInteger());
    return NumberValue(-ValueToNumber(a));
  }

  Value EvalBinary(const Node& n) {
    const std::string& op = n.name;
    if (op == "and") return Value::Boolean(ToBool(Eval(*n.children[0])) && ToBool(Eval(*n.children[1])));
    if (op == "or") return Value::Boolean(ToBool(Eval(*n.children[0])) || ToBool(Eval(*n.children[1])));
    const Value a = Eval(*n.children[0]);
    const Value b = Eval(*n.children[1]);
    if (op == "+") return Add(a, b);
    if (op == "-") return Subtract(a, b);
    if (op == "*") {
      if (a.kind() == Value::Kind::Integer && b.kind() == Value::Kind::Integer) {
        return Value::Integer(a.AsInteger() * b.AsInteger());
      }
      return NumberValue(ValueToNumber(a) * ValueToNumber(b));
    }
    if (op == "/" || op == "div" || op == "mod") return Divide(op, a, b);
    return Value::Boolean(CompareResult(op, Compare(a, b)));
  }

  static Value Add(const Value& a, const Value& b) {
    if (a.kind() == Value::Kind::Text || b.kind() == Value::Kind::Text) {
      return Value::Text(FormatValue(a) + FormatValue(b));
    }
    if (a.kind() == Value::Kind::DateTime && b.kind() != Value::Kind::DateTime) {
      return Value::Date(DateTime(a.AsDateTime().days + ValueToNumber(b)));
    }
    if (b.kind() == Value::Kind::DateTime && a.kind() != Value::Kind::DateTime) {
      return Value::Date(DateTime(b.AsDateTime().days + ValueToNumber(a)));
    }
    if (a.kind() == Value::Kind::Integer && b.kind() == Value::Kind::Integer) {
      return Value::Integer(a.AsInteger() + b.AsInteger());
    }
    return NumberValue(ValueToNumber(a) + ValueToNumber(b));
  }

  static Value Subtract(const Value& a, const Value& b) {
    if (a.kind() == Value::Kind::DateTime && b.kind() != Value::Kind::DateTime) {
      return Value::Date(DateTime(a.AsDateTime().days - ValueToNumber(b)));
    }
    if (a.kind() == Value::Kind::Integer && b.kind() == Value::Kind::Integer) {
      return Value::Integer(a.AsInteger() - b.AsInteger());
    }
    return NumberValue(ValueToNumber(a) - ValueToNumber(b));
  }

  static Value Divide(const std::string& op, const Value& a, const Value& b) {
    const double divisor = ValueToNumber(b);
    if (divisor == 0) throw ReportError("Division by zero");
    const double dividend = ValueToNumber(a);
    if (op == "/") return NumberValue(dividend / divisor);
    const double whole = std::trunc(dividend / divisor);
    if (op == "div") return Value::Integer(static_cast<std::int64_t>(whole));
    return NumberValue(dividend - whole * divisor);
  }

  // -1, 0 or 1. Texts compare as texts unless the other side is a number and the text reads as
  // one; everything else compares as numbers.
  static int Compare(const Value& a, const Value& b) {
    const bool ta = a.kind() == Value::Kind::Text, tb = b.kind() == Value::Kind::Text;
    if (ta || tb) {
      const auto na = ta ? TextAsNumber(a.AsText()) : std::optional<double>(ValueToNumber(a));
      const auto nb = tb ? TextAsNumber(b.AsText()) : std::optional<double>(ValueToNumber(b));
      if (!(ta && tb) && !a.IsNull() && !b.IsNull() && na && nb) return Sign(*na - *nb);
      const std::string sa = FormatValue(a), sb = FormatValue(b);
      return sa < sb ? -1 : sa > sb ? 1 : 0;
    }
    return Sign(ValueToNumber(a) - ValueToNumber(b));
  }
  static int Sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }
  static bool CompareResult(const std::string& op, int c) {
    if (op == "=") return c == 0;
    if (op == "<>") return c != 0;
    if (op == "<") return c < 0;
    if (op == ">") return c > 0;
    if (op == "<=") return c <= 0;
    return c >= 0;
  }

  Value EvalCall(const Node& n) {
    const std::string name = LowerAscii(n.name);
    const auto argc = n.children.size();
    auto arg = [&](std::size_t i) { return Eval(*n.children[i]); };
    auto need = [&](std::size_t count) {
      if (argc != count) {
        throw ReportError(n.name + " takes " + std::to_string(count) + " argument" +
                          (count == 1 ? "" : "s"));
      }
    };
    if (name == "iif") {
      need(3);
      return ToBool(arg(0)) ? arg(1) : arg(2);
    }
    if (name == "sum" || name == "count" || name == "avg" || name == "min" || name == "max") {
      return Aggregate(name, n);
    }
    if (name == "upper" || name == "uppercase") {
      need(1);
      return Value::Text(QString::fromStdString(FormatValue(arg(0))).toUpper().toStdString());
    }
    if (name == "lower" || name == "lowercase") {
      need(1);
      return Value::Text(QString::fromStdString(FormatValue(arg(0))).toLower().toStdString());
    }
    if (name == "trim") {
      need(1);
      return Value::Text(Trimmed(FormatValue(arg(0))));
    }
    if (name == "length") {
      need(1);
      return Value::Integer(QString::fromStdString(FormatValue(arg(0))).size());
    }
    if (name == "copy") {
      need(3);
      const QString s = QString::fromStdString(FormatValue(arg(0)));
      const auto from = std::max<std::int64_t>(1, static_cast<std::int64_t>(ValueToNumber(arg(1))));
      const auto count = std::max<std::int64_t>(0, static_cast<std::int64_t>(ValueToNumber(arg(2))));
      return Value::Text(s.mid(static_cast<qsizetype>(from - 1), static_cast<qsizetype>(count)).toStdString());
    }
    if (name == "pos") {
      need(2);
      const QString part = QString::fromStdString(FormatValue(arg(0)));
      const QString s = QString::fromStdString(FormatValue(arg(1)));
      return Value::Integer(part.isEmpty() ? 0 : s.indexOf(part) + 1);
    }
    if (name == "str") {
      need(1);
      return Value::Text(FormatValue(arg(0)));
    }
    if (name == "int" || name == "frac" || name == "round" || name == "abs") {
      need(1);
      const double x = ValueToNumber(arg(0));
      if (name == "int") return Value::Integer(static_cast<std::int64_t>(std::trunc(x)));
      if (name == "frac") return NumberValue(x - std::trunc(x));
      if (name == "round") return Value::Integer(static_cast<std::int64_t>(std::nearbyint(x)));
      return NumberValue(std::fabs(x));
    }
    if (name == "formatfloat") {
      need(2);
      return Value::Text(FormatNumberPattern(FormatValue(arg(0)), ValueToNumber(arg(1))));
    }
    if (name == "datetostr" || name == "timetostr") {
      need(1);
      const DateTime d(ValueToNumber(arg(0)));
      return Value::Text(name == "datetostr" ? FormatShortDate(d) : FormatLocaleTime(d));
    }
    if (name == "weekstart") {
      need(2);
      const DateTime d(ValueToNumber(arg(0)));
      return Value::Date(DatePart(StartOfWeek(static_cast<int>(ValueToNumber(arg(1))), d)));
    }
    if (argc > 3) throw ReportError(n.name + ": a user function takes at most three arguments");
    return ctx_.CallUserFunction(n.name, n.arg_texts);
  }

  Value Aggregate(const std::string& name, const Node& n) {
    if (n.children.size() > 2 || (n.children.empty() && name != "count")) {
      throw ReportError(n.name + " takes one or two arguments");
    }
    std::optional<std::string> source;
    if (n.children.size() == 2) source = FormatValue(Eval(*n.children[1]));
    std::int64_t rows = 0, counted = 0;
    double sum = 0;
    bool all_integer = true;
    std::optional<Value> best;
    const auto per_row = [&] {
      ++rows;
      if (n.children.empty()) return;
      const Value v = Eval(*n.children[0]);
      if (name == "count") {
        if (!IsEmptyValue(v)) ++counted;
      } else if (name == "min" || name == "max") {
        if (!best || (name == "min" ? Compare(v, *best) < 0 : Compare(v, *best) > 0)) best = v;
      } else {
        all_integer = all_integer && (v.kind() == Value::Kind::Integer || v.IsNull());
        sum += ValueToNumber(v);
      }
    };
    if (source) {
      ctx_.ForEachRowOf(*source, per_row);
    } else {
      ctx_.ForEachScopeRow(per_row);
    }
    if (name == "count") return Value::Integer(n.children.empty() ? rows : counted);
    if (name == "min" || name == "max") return best ? *best : Value::Integer(0);
    if (name == "avg") return NumberValue(rows == 0 ? 0.0 : sum / static_cast<double>(rows));
    if (all_integer && std::fabs(sum) < 9e15) return Value::Integer(static_cast<std::int64_t>(sum));
    return NumberValue(sum);
  }

  EvalContext& ctx_;
};

thread_local int g_depth = 0;

struct DepthGuard {
  DepthGuard() {
    if (++g_depth > kMaxDepth) {
      --g_depth;
      throw ReportError("Expressions nested too deeply");
    }
  }
  ~DepthGuard() { --g_depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

std::string ThousandsSeparator() {
  const std::string decimal = CurrentRegionalSettings().decimal_separator;
  const std::lconv* lc = std::localeconv();
  std::string sep = lc != nullptr && lc->thousands_sep != nullptr ? lc->thousands_sep : "";
  if (sep.empty() || sep == decimal) sep = decimal == "," ? "." : ",";
  return sep;
}

}  // namespace

void EvalContext::ForEachRowOf(const std::string& source, const std::function<void()>&) {
  throw ReportError("Unknown data source \"" + source + "\"");
}

Value EvalContext::CallUserFunction(const std::string&, const std::vector<std::string>&) {
  return {};
}

double ValueToNumber(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null: return 0;
    case Value::Kind::Integer: return static_cast<double>(value.AsInteger());
    case Value::Kind::Float: return value.AsFloat();
    case Value::Kind::Boolean: return value.AsBoolean() ? 1 : 0;
    case Value::Kind::DateTime: return value.AsDateTime().days;
    case Value::Kind::Text: break;
  }
  if (auto n = TextAsNumber(value.AsText())) return *n;
  throw ReportError("'" + value.AsText() + "' is not a valid floating point value");
}

Value EvaluateExpression(const std::string& expression, EvalContext& context) {
  DepthGuard depth;
  try {
    NodePtr tree = Parse(expression);
    return Evaluator(context).Eval(*tree);
  } catch (const ReportError& e) {
    const std::string what = e.what();
    // Name the outermost expression once; inner failures already carry their own text.
    if (what.rfind("Error in expression", 0) == 0) throw;
    throw ReportError("Error in expression \"" + expression + "\": " + what);
  }
}

std::string ExpandTemplate(const std::string& text, EvalContext& context) {
  DepthGuard depth;  // a variable whose text names itself comes back here
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('[', pos);
    if (open == std::string::npos) break;
    const std::size_t close = MatchingBracket(text, open);
    if (close == std::string::npos) break;
    out.append(text, pos, open - pos);
    const std::string inner = text.substr(open + 1, close - open - 1);
    // "[User ID]": brackets around a name with blanks name a field or variable.
    const std::string name = Trimmed(inner);
    if (auto value = name.empty() ? std::nullopt : context.Lookup(name)) {
      out += FormatValue(*value);
    } else if (!name.empty()) {
      out += FormatValue(EvaluateExpression(inner, context));
    }
    pos = close + 1;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

bool HasExpressions(const std::string& text) {
  const std::size_t open = text.find('[');
  return open != std::string::npos && MatchingBracket(text, open) != std::string::npos;
}

std::string FormatValue(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null: return {};
    case Value::Kind::Text: return value.AsText();
    case Value::Kind::Integer: return std::to_string(value.AsInteger());
    case Value::Kind::Float: return FormatLocaleFloat(value.AsFloat());
    case Value::Kind::Boolean: return value.AsBoolean() ? "True" : "False";
    case Value::Kind::DateTime: return FormatLocaleDateTime(value.AsDateTime());
  }
  return {};
}

std::string FormatNumberPattern(const std::string& pattern, double value) {
  const std::size_t first = pattern.find_first_of("#0");
  if (first == std::string::npos) return pattern;
  const std::size_t last = pattern.find_last_of("#0");
  const std::string prefix = pattern.substr(0, first);
  const std::string suffix = pattern.substr(last + 1);
  const std::string digits = pattern.substr(first, last - first + 1);
  const std::size_t point = digits.find('.');
  const int decimals = point == std::string::npos
                           ? 0
                           : static_cast<int>(std::count_if(digits.begin() + static_cast<long>(point), digits.end(),
                                                            [](char c) { return c == '0' || c == '#'; }));
  const bool grouped = digits.find(',') != std::string::npos;

  const double scale = std::pow(10.0, decimals);
  // Half away from zero at the last shown decimal, after removing binary noise.
  double scaled = std::round(std::fabs(value) * scale * (1 + 1e-15));
  const bool negative = value < 0 && scaled != 0;
  std::string whole, fraction;
  {
    const double int_part = std::floor(scaled / scale);
    const double frac_part = scaled - int_part * scale;
    whole = QString::number(int_part, 'f', 0).toStdString();
    if (decimals > 0) {
      fraction = QString::number(frac_part, 'f', 0).toStdString();
      fraction.insert(0, static_cast<std::size_t>(decimals) - std::min(fraction.size(), static_cast<std::size_t>(decimals)), '0');
    }
  }
  if (grouped) {
    const std::string sep = ThousandsSeparator();
    std::string g;
    const std::size_t n = whole.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0 && (n - i) % 3 == 0) g += sep;
      g += whole[i];
    }
    whole = std::move(g);
  }
  std::string out = prefix;
  if (negative) out += "-";
  out += whole;
  if (decimals > 0) out += CurrentRegionalSettings().decimal_separator + fraction;
  return out + suffix;
}

}  // namespace tikora::report
