#include "engine/sql_parser.h"

#include <algorithm>
#include <iterator>
#include <charconv>

#include <fmt/format.h>

#include "engine/errors.h"
#include "engine/sql_tokenizer.h"

namespace tikora::engine::sql {
namespace {

// Words that never stand for a name unless written in brackets.
constexpr std::string_view kReserved[] = {
    "ALL",    "AND",    "AS",      "ASC",     "BETWEEN", "BY",      "CASE",    "CAST",
    "CROSS",  "CURRENT_DATE",      "CURRENT_TIME",       "CURRENT_TIMESTAMP",   "DELETE",
    "DESC",   "DISTINCT", "ELSE",  "END",     "ESCAPE",  "EXISTS",  "FALSE",   "FROM",
    "FULL",   "GROUP",  "HAVING",  "IN",      "INNER",   "INSERT",  "INTO",    "IS",
    "JOIN",   "LEFT",   "LIKE",    "LIMIT",   "NOCASE",  "NOT",     "NULL",    "ON",
    "OR",     "ORDER",  "OUTER",   "RIGHT",   "SELECT",  "SET",     "THEN",    "TOP",
    "TRUE",   "UNION",  "UPDATE",  "VALUES",  "WHEN",    "WHERE",
};

bool IsReservedWord(std::string_view word) {
  return std::any_of(std::begin(kReserved), std::end(kReserved),
                     [&](std::string_view r) { return EqualsNoCase(word, r); });
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Table names may carry the file's extension: TimeHist.DAT and [TimeHist.DAT] name TimeHist.
std::string WithoutDatExtension(std::string name) {
  if (name.size() > 4 && EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".DAT"))
    name.resize(name.size() - 4);
  return name;
}

class Parser {
 public:
  Parser(std::string_view text, bool allow_parameters)
      : text_(text), tokens_(Tokenize(text)), allow_parameters_(allow_parameters) {}

  ParseResult WholeStatement() {
    ParseResult result;
    sql::Statement& st = result.statement;
    if (PeekKeyword("SELECT")) {
      st.kind = sql::Statement::Kind::Select;
      st.select = ParseSelect();
    } else if (AcceptKeyword("INSERT")) {
      st.kind = sql::Statement::Kind::Insert;
      ParseInsert(st);
    } else if (AcceptKeyword("UPDATE")) {
      st.kind = sql::Statement::Kind::Update;
      ParseUpdate(st);
    } else if (AcceptKeyword("DELETE")) {
      st.kind = sql::Statement::Kind::Delete;
      ExpectKeyword("FROM");
      ParseTableName(st.table, st.table_offset);
      if (AcceptKeyword("WHERE")) st.where = ParseExpr();
    } else {
      Fail();
    }
    AcceptSymbol(";");
    ExpectEnd();
    result.parameters = std::move(parameters_);
    return result;
  }

  ExprPtr Filter() {
    ExprPtr e = ParseExpr();
    ExpectEnd();
    return e;
  }

 private:
  // --- token access -------------------------------------------------------------------------

  const Token& Peek(std::size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  const Token& Take() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  bool IsKeyword(const Token& t, std::string_view word) const {
    return t.type == TokenType::Identifier && EqualsNoCase(t.value, word);
  }
  bool PeekKeyword(std::string_view word, std::size_t ahead = 0) const {
    return IsKeyword(Peek(ahead), word);
  }
  bool AcceptKeyword(std::string_view word) {
    if (!PeekKeyword(word)) return false;
    Take();
    return true;
  }
  void ExpectKeyword(std::string_view word) {
    if (!AcceptKeyword(word)) Fail();
  }
  bool PeekSymbol(std::string_view symbol, std::size_t ahead = 0) const {
    return Peek(ahead).type == TokenType::Symbol && Peek(ahead).value == symbol;
  }
  bool AcceptSymbol(std::string_view symbol) {
    if (!PeekSymbol(symbol)) return false;
    Take();
    return true;
  }
  void ExpectSymbol(std::string_view symbol) {
    if (!AcceptSymbol(symbol)) Fail();
  }
  void ExpectEnd() {
    if (Peek().type != TokenType::End) Fail();
  }
  [[noreturn]] void Fail() const { throw EngineError(kErrSqlSyntax, SyntaxErrorMessage(text_, Peek())); }

  // A name: [bracketed] or an identifier that is no reserved word.
  bool PeekName(std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.type == TokenType::Bracketed ||
           (t.type == TokenType::Identifier && !IsReservedWord(t.value));
  }
  std::string ExpectName() {
    if (!PeekName()) Fail();
    return Take().value;
  }

  // End of the text covered by the tokens consumed so far.
  std::size_t ConsumedEnd() const {
    if (pos_ == 0) return 0;
    const Token& last = tokens_[pos_ - 1];
    return last.offset + last.length;
  }

  // --- nesting limits ------------------------------------------------------------------------

  class Nesting {
   public:
    explicit Nesting(Parser& p) : p_(p) {
      if (++p_.nesting_ > kMaxNesting) ThrowAt(p_.text_, p_.Peek().offset, "Statement nested too deeply");
    }
    ~Nesting() { --p_.nesting_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    Parser& p_;
  };

  ExprPtr Node(Expr::Kind kind, std::size_t offset) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->offset = offset;
    return e;
  }
  // Fixes the node's height from its children; trees too deep to walk safely are refused.
  ExprPtr Done(ExprPtr e) {
    int depth = 0;
    for (const ExprPtr& a : e->args) depth = std::max(depth, a->depth);
    if (e->select) depth = std::max(depth, e->select->depth);
    e->depth = depth + 1;
    if (e->depth > kMaxNesting) ThrowAt(text_, e->offset, "Expression nested too deeply");
    return e;
  }
  ExprPtr Binary(std::string op, ExprPtr lhs, ExprPtr rhs, std::size_t offset) {
    ExprPtr e = Node(Expr::Kind::Binary, offset);
    e->text = std::move(op);
    e->args.push_back(std::move(lhs));
    e->args.push_back(std::move(rhs));
    return Done(std::move(e));
  }

  // --- statements ----------------------------------------------------------------------------

  void ParseTableName(std::string& name, std::size_t& offset) {
    offset = Peek().offset;
    name = ExpectName();
    if (PeekSymbol(".") && PeekKeyword("DAT", 1)) {
      Take();
      Take();
    }
    name = WithoutDatExtension(std::move(name));
  }

  void ParseInsert(sql::Statement& st) {
    ExpectKeyword("INTO");
    ParseTableName(st.table, st.table_offset);
    if (PeekSymbol("(") && !PeekKeyword("SELECT", 1)) {
      Take();
      do {
        st.column_offsets.push_back(Peek().offset);
        st.columns.push_back(ExpectName());
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
    }
    if (AcceptKeyword("VALUES")) {
      do {
        ExpectSymbol("(");
        std::vector<ExprPtr> row;
        do row.push_back(ParseExpr());
        while (AcceptSymbol(","));
        ExpectSymbol(")");
        st.rows.push_back(std::move(row));
      } while (AcceptSymbol(","));
    } else if (PeekKeyword("SELECT")) {
      st.select = ParseSelect();
    } else if (PeekSymbol("(") && PeekKeyword("SELECT", 1)) {
      Take();
      st.select = ParseSelect();
      ExpectSymbol(")");
    } else {
      Fail();
    }
  }

  void ParseUpdate(sql::Statement& st) {
    ParseTableName(st.table, st.table_offset);
    ExpectKeyword("SET");
    do {
      Assignment a;
      a.offset = Peek().offset;
      a.field = ExpectName();
      ExpectSymbol("=");
      a.value = ParseExpr();
      st.assignments.push_back(std::move(a));
    } while (AcceptSymbol(","));
    if (AcceptKeyword("WHERE")) st.where = ParseExpr();
  }

  std::unique_ptr<Select> ParseSelect() {
    Nesting nesting(*this);
    auto select = std::make_unique<Select>();
    select->offset = Peek().offset;
    select->cores.push_back(ParseCore());
    while (AcceptKeyword("UNION")) {
      select->union_all.push_back(AcceptKeyword("ALL"));
      select->cores.push_back(ParseCore());
    }
    if (AcceptKeyword("ORDER")) {
      ExpectKeyword("BY");
      do select->order_by.push_back(ParseOrderItem());
      while (AcceptSymbol(","));
    }
    select->depth = SelectDepth(*select);
    return select;
  }

  static int SelectDepth(const Select& s) {
    int depth = 0;
    auto see = [&](const ExprPtr& e) {
      if (e) depth = std::max(depth, e->depth);
    };
    for (const SelectCore& core : s.cores) {
      for (const SelectItem& item : core.items) see(item.expr);
      for (const TableRef& ref : core.from) see(ref.on);
      see(core.where);
      for (const ExprPtr& g : core.group_by) see(g);
      see(core.having);
    }
    for (const OrderItem& o : s.order_by) see(o.expr);
    return depth + 1;
  }

  std::optional<std::int64_t> ParseTop() {
    const Token& t = Peek();
    std::int64_t n = 0;
    if (t.type != TokenType::Number) Fail();
    auto [end, ec] = std::from_chars(t.value.data(), t.value.data() + t.value.size(), n);
    if (ec != std::errc() || end != t.value.data() + t.value.size()) Fail();
    Take();
    return n;
  }

  SelectCore ParseCore() {
    SelectCore core;
    ExpectKeyword("SELECT");
    for (;;) {
      if (!core.top && AcceptKeyword("TOP")) {
        core.top = ParseTop();
      } else if (!core.distinct && AcceptKeyword("DISTINCT")) {
        core.distinct = true;
      } else {
        break;
      }
    }
    if (!core.distinct) AcceptKeyword("ALL");
    do core.items.push_back(ParseSelectItem());
    while (AcceptSymbol(","));
    if (AcceptKeyword("FROM")) ParseFrom(core);
    if (AcceptKeyword("WHERE")) core.where = ParseExpr();
    if (AcceptKeyword("GROUP")) {
      ExpectKeyword("BY");
      do core.group_by.push_back(ParseExpr());
      while (AcceptSymbol(","));
    }
    if (PeekKeyword("HAVING")) {
      core.having_offset = Take().offset;
      core.having = ParseExpr();
    }
    return core;
  }

  SelectItem ParseSelectItem() {
    SelectItem item;
    item.offset = Peek().offset;
    if (AcceptSymbol("*")) return item;
    if (PeekName() && PeekSymbol(".", 1) && PeekSymbol("*", 2)) {
      item.star_qualifier = Take().value;
      Take();
      Take();
      return item;
    }
    item.expr = ParseExpr();
    item.source_text = std::string(text_.substr(item.offset, ConsumedEnd() - item.offset));
    if (AcceptKeyword("AS")) {
      if (Peek().type == TokenType::String) {
        item.alias = Take().value;
      } else {
        item.alias = ExpectName();
      }
    } else if (PeekName()) {
      item.alias = Take().value;
    }
    return item;
  }

  TableRef ParseTableRef(JoinKind join) {
    TableRef ref;
    ref.join = join;
    ParseTableName(ref.name, ref.offset);
    if (AcceptKeyword("AS")) {
      ref.alias = ExpectName();
    } else if (PeekName()) {
      ref.alias = Take().value;
    }
    return ref;
  }

  void ParseFrom(SelectCore& core) {
    core.from.push_back(ParseTableRef(JoinKind::First));
    for (;;) {
      JoinKind join;
      if (AcceptSymbol(",")) {
        join = JoinKind::Comma;
      } else if (AcceptKeyword("JOIN")) {
        join = JoinKind::Inner;
      } else if (AcceptKeyword("INNER")) {
        ExpectKeyword("JOIN");
        join = JoinKind::Inner;
      } else if (AcceptKeyword("LEFT")) {
        AcceptKeyword("OUTER");
        ExpectKeyword("JOIN");
        join = JoinKind::Left;
      } else if (AcceptKeyword("CROSS")) {
        ExpectKeyword("JOIN");
        join = JoinKind::Cross;
      } else {
        return;
      }
      TableRef ref = ParseTableRef(join);
      if (join == JoinKind::Inner || join == JoinKind::Left) {
        ExpectKeyword("ON");
        ref.on = ParseExpr();
      }
      core.from.push_back(std::move(ref));
    }
  }

  OrderItem ParseOrderItem() {
    OrderItem item;
    item.expr = ParseExpr();
    bool direction_seen = false;
    for (;;) {
      if (!direction_seen && (PeekKeyword("ASC") || PeekKeyword("DESC"))) {
        item.descending = PeekKeyword("DESC");
        Take();
        direction_seen = true;
      } else if (!item.nocase && AcceptKeyword("NOCASE")) {
        item.nocase = true;
      } else {
        return item;
      }
    }
  }

  // --- expressions ---------------------------------------------------------------------------

  ExprPtr ParseExpr() {
    Nesting nesting(*this);
    return ParseOr();
  }

  ExprPtr ParseOr() {
    ExprPtr lhs = ParseAnd();
    while (PeekKeyword("OR")) {
      const std::size_t at = Take().offset;
      lhs = Binary("OR", std::move(lhs), ParseAnd(), at);
    }
    return lhs;
  }

  ExprPtr ParseAnd() {
    ExprPtr lhs = ParseNot();
    while (PeekKeyword("AND")) {
      const std::size_t at = Take().offset;
      lhs = Binary("AND", std::move(lhs), ParseNot(), at);
    }
    return lhs;
  }

  ExprPtr ParseNot() {
    if (PeekKeyword("NOT") && !PeekKeyword("EXISTS", 1)) {
      Nesting nesting(*this);
      ExprPtr e = Node(Expr::Kind::Unary, Take().offset);
      e->text = "NOT";
      e->args.push_back(ParseNot());
      return Done(std::move(e));
    }
    return ParseComparison();
  }

  static bool IsEmptyStringLiteral(const Expr& e) { return e.kind == Expr::Kind::String && e.text.empty(); }
  static bool IsNullLike(const Expr& e) { return e.kind == Expr::Kind::Null || IsEmptyStringLiteral(e); }

  // x = NULL and x = '' test for an empty value (empty texts are stored as NULL).
  ExprPtr Comparison(std::string op, ExprPtr lhs, ExprPtr rhs, std::size_t at) {
    if ((op == "=" || op == "<>") && (IsNullLike(*lhs) || IsNullLike(*rhs))) {
      ExprPtr subject = IsNullLike(*rhs) ? std::move(lhs) : std::move(rhs);
      ExprPtr e = Node(Expr::Kind::IsNull, at);
      e->flag = op == "<>";
      e->args.push_back(std::move(subject));
      return Done(std::move(e));
    }
    return Binary(std::move(op), std::move(lhs), std::move(rhs), at);
  }

  ExprPtr ParseComparison() {
    ExprPtr lhs = ParseAdditive();
    for (;;) {
      const Token& t = Peek();
      if (t.type == TokenType::Symbol &&
          (t.value == "=" || t.value == "<>" || t.value == "!=" || t.value == "<" ||
           t.value == "<=" || t.value == ">" || t.value == ">=")) {
        std::string op = t.value == "!=" ? "<>" : t.value;
        const std::size_t at = Take().offset;
        lhs = Comparison(std::move(op), std::move(lhs), ParseAdditive(), at);
        continue;
      }
      const std::size_t at = t.offset;
      if (AcceptKeyword("IS")) {
        ExprPtr e = Node(Expr::Kind::IsNull, at);
        e->flag = AcceptKeyword("NOT");
        ExpectKeyword("NULL");
        e->args.push_back(std::move(lhs));
        lhs = Done(std::move(e));
        continue;
      }
      const bool negated = PeekKeyword("NOT") &&
                           (PeekKeyword("BETWEEN", 1) || PeekKeyword("LIKE", 1) || PeekKeyword("IN", 1));
      if (negated) Take();
      if (AcceptKeyword("BETWEEN")) {
        ExprPtr e = Node(Expr::Kind::Between, at);
        e->flag = negated;
        e->args.push_back(std::move(lhs));
        e->args.push_back(ParseAdditive());
        ExpectKeyword("AND");
        e->args.push_back(ParseAdditive());
        lhs = Done(std::move(e));
      } else if (AcceptKeyword("LIKE")) {
        ExprPtr e = Node(Expr::Kind::Like, at);
        e->flag = negated;
        e->args.push_back(std::move(lhs));
        e->args.push_back(ParseAdditive());
        if (AcceptKeyword("ESCAPE")) e->args.push_back(ParseAdditive());
        lhs = Done(std::move(e));
      } else if (AcceptKeyword("IN")) {
        lhs = ParseIn(std::move(lhs), negated, at);
      } else {
        if (negated) Fail();
        return lhs;
      }
    }
  }

  ExprPtr ParseIn(ExprPtr subject, bool negated, std::size_t at) {
    ExpectSymbol("(");
    ExprPtr e;
    if (PeekKeyword("SELECT")) {
      e = Node(Expr::Kind::InSelect, at);
      e->args.push_back(std::move(subject));
      e->select = ParseSelect();
    } else {
      e = Node(Expr::Kind::InList, at);
      e->args.push_back(std::move(subject));
      do e->args.push_back(ParseExpr());
      while (AcceptSymbol(","));
    }
    ExpectSymbol(")");
    e->flag = negated;
    return Done(std::move(e));
  }

  ExprPtr ParseAdditive() {
    ExprPtr lhs = ParseMultiplicative();
    while (PeekSymbol("+") || PeekSymbol("-") || PeekSymbol("||")) {
      const Token& op = Take();
      std::string symbol = op.value;
      lhs = Binary(std::move(symbol), std::move(lhs), ParseMultiplicative(), op.offset);
    }
    return lhs;
  }

  ExprPtr ParseMultiplicative() {
    ExprPtr lhs = ParseUnary();
    while (PeekSymbol("*") || PeekSymbol("/") || PeekSymbol("%")) {
      const Token& op = Take();
      std::string symbol = op.value;
      lhs = Binary(std::move(symbol), std::move(lhs), ParseUnary(), op.offset);
    }
    return lhs;
  }

  ExprPtr ParseUnary() {
    if (PeekSymbol("-") || PeekSymbol("+")) {
      Nesting nesting(*this);
      const Token& op = Take();
      ExprPtr e = Node(Expr::Kind::Unary, op.offset);
      e->text = op.value;
      e->args.push_back(ParseUnary());
      return Done(std::move(e));
    }
    return ParsePrimary();
  }

  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    switch (t.type) {
      case TokenType::Number: {
        ExprPtr e = Node(Expr::Kind::Number, t.offset);
        e->text = Take().value;
        return e;
      }
      case TokenType::String: {
        ExprPtr e = Node(Expr::Kind::String, t.offset);
        e->text = Take().value;
        return e;
      }
      case TokenType::Parameter:
        return ParseParameter();
      case TokenType::Bracketed:
        return ParseColumn();
      case TokenType::Symbol:
        if (PeekSymbol("(")) return ParseParenthesized();
        Fail();
      case TokenType::Identifier:
        return ParseWord();
      case TokenType::End:
        break;
    }
    Fail();
  }

  ExprPtr ParseParameter() {
    const Token& t = Take();
    if (!allow_parameters_) ThrowAt(text_, t.offset, "Parameters are not allowed in a filter");
    ExprPtr e = Node(Expr::Kind::Parameter, t.offset);
    e->text = t.value;
    auto found = std::find_if(parameters_.begin(), parameters_.end(),
                              [&](const std::string& name) { return EqualsNoCase(name, t.value); });
    if (found == parameters_.end()) {
      parameters_.push_back(t.value);
      found = parameters_.end() - 1;
    }
    e->param_index = static_cast<int>(found - parameters_.begin()) + 1;
    return e;
  }

  ExprPtr ParseParenthesized() {
    const std::size_t at = Take().offset;
    if (PeekKeyword("SELECT")) {
      ExprPtr e = Node(Expr::Kind::Subquery, at);
      e->select = ParseSelect();
      ExpectSymbol(")");
      return Done(std::move(e));
    }
    ExprPtr e = ParseExpr();
    ExpectSymbol(")");
    return e;
  }

  ExprPtr ParseColumn() {
    ExprPtr e = Node(Expr::Kind::Column, Peek().offset);
    e->text = ExpectName();
    if (PeekSymbol(".") && PeekName(1)) {
      Take();
      e->qualifier = std::move(e->text);
      e->text = Take().value;
    }
    return e;
  }

  ExprPtr ParseWord() {
    const Token& t = Peek();
    if (IsKeyword(t, "NULL")) {
      Take();
      return Node(Expr::Kind::Null, t.offset);
    }
    if (IsKeyword(t, "TRUE") || IsKeyword(t, "FALSE")) {
      ExprPtr e = Node(Expr::Kind::Boolean, t.offset);
      e->flag = IsKeyword(t, "TRUE");
      Take();
      return e;
    }
    if (IsKeyword(t, "CURRENT_DATE") || IsKeyword(t, "CURRENT_TIME") || IsKeyword(t, "CURRENT_TIMESTAMP")) {
      ExprPtr e = Node(Expr::Kind::CurrentValue, t.offset);
      e->text = UpperAscii(Take().value);
      return e;
    }
    if (IsKeyword(t, "CAST")) return ParseCast();
    if (IsKeyword(t, "CASE")) return ParseCase();
    if (IsKeyword(t, "EXISTS") || (IsKeyword(t, "NOT") && PeekKeyword("EXISTS", 1))) {
      ExprPtr e = Node(Expr::Kind::Exists, t.offset);
      e->flag = AcceptKeyword("NOT");
      Take();
      ExpectSymbol("(");
      if (!PeekKeyword("SELECT")) Fail();
      e->select = ParseSelect();
      ExpectSymbol(")");
      return Done(std::move(e));
    }
    if (PeekSymbol("(", 1) && !IsReservedWord(t.value)) return ParseFunction();
    return ParseColumn();
  }

  ExprPtr ParseCast() {
    ExprPtr e = Node(Expr::Kind::Cast, Take().offset);
    ExpectSymbol("(");
    e->args.push_back(ParseExpr());
    ExpectKeyword("AS");
    if (Peek().type != TokenType::Identifier) Fail();
    e->text = UpperAscii(Take().value);
    if (AcceptSymbol("(")) {
      e->cast_length = ParseTop();
      if (AcceptSymbol(",")) ParseTop();  // NUMERIC(p, s): the scale does not matter here
      ExpectSymbol(")");
    }
    ExpectSymbol(")");
    return Done(std::move(e));
  }

  ExprPtr ParseCase() {
    ExprPtr e = Node(Expr::Kind::Case, Take().offset);
    if (!PeekKeyword("WHEN")) {
      e->has_base = true;
      e->args.push_back(ParseExpr());
    }
    if (!PeekKeyword("WHEN")) Fail();
    while (AcceptKeyword("WHEN")) {
      e->args.push_back(ParseExpr());
      ExpectKeyword("THEN");
      e->args.push_back(ParseExpr());
    }
    if (AcceptKeyword("ELSE")) {
      e->has_else = true;
      e->args.push_back(ParseExpr());
    }
    ExpectKeyword("END");
    return Done(std::move(e));
  }

  // name(args), COUNT(*), SUM(DISTINCT x), SUBSTRING(x FROM a FOR b), TRIM([LEADING|TRAILING|BOTH]
  // [c] FROM x), EXTRACT(part FROM x). Special forms are rewritten to plain argument lists:
  // TRIM -> TRIM(x, c, side) with side "LEADING"/"TRAILING"/"BOTH"; EXTRACT -> EXTRACT(x, part).
  ExprPtr ParseFunction() {
    ExprPtr e = Node(Expr::Kind::Function, Peek().offset);
    e->text = UpperAscii(Take().value);
    Take();  // (
    if (e->text == "TRIM") {
      ParseTrimArguments(*e);
    } else if (e->text == "EXTRACT") {
      if (Peek().type != TokenType::Identifier) Fail();
      ExprPtr part = Node(Expr::Kind::String, Peek().offset);
      part->text = UpperAscii(Take().value);
      ExpectKeyword("FROM");
      e->args.push_back(ParseExpr());
      e->args.push_back(std::move(part));
    } else if (e->text == "COUNT" && AcceptSymbol("*")) {
      e->star = true;
    } else if (!PeekSymbol(")")) {
      e->flag = AcceptKeyword("DISTINCT");
      e->args.push_back(ParseExpr());
      if (e->text == "SUBSTRING" && AcceptKeyword("FROM")) {
        e->args.push_back(ParseExpr());
        if (AcceptKeyword("FOR")) e->args.push_back(ParseExpr());
      } else {
        while (AcceptSymbol(",")) e->args.push_back(ParseExpr());
      }
    }
    ExpectSymbol(")");
    return Done(std::move(e));
  }

  void ParseTrimArguments(Expr& e) {
    std::string side = "BOTH";
    const std::size_t side_offset = Peek().offset;
    if (PeekKeyword("LEADING") || PeekKeyword("TRAILING") || PeekKeyword("BOTH")) side = UpperAscii(Take().value);
    ExprPtr characters;
    ExprPtr subject;
    if (AcceptKeyword("FROM")) {
      subject = ParseExpr();
    } else {
      ExprPtr first = ParseExpr();
      if (AcceptKeyword("FROM")) {
        characters = std::move(first);
        subject = ParseExpr();
      } else {
        subject = std::move(first);
      }
    }
    if (!characters) {
      characters = Node(Expr::Kind::String, side_offset);
      characters->text = " ";
    }
    ExprPtr side_node = Node(Expr::Kind::String, side_offset);
    side_node->text = side;
    e.args.push_back(std::move(subject));
    e.args.push_back(std::move(characters));
    e.args.push_back(std::move(side_node));
  }

  std::string_view text_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  int nesting_ = 0;
  bool allow_parameters_;
  std::vector<std::string> parameters_;
};

}  // namespace

ParseResult ParseStatement(std::string_view text) { return Parser(text, true).WholeStatement(); }

ExprPtr ParseFilterExpression(std::string_view text) { return Parser(text, false).Filter(); }

}  // namespace tikora::engine::sql
