// Parser of the engine's SQL dialect: tokens to a syntax tree.
//
// The tree records what was written; names are resolved and types inferred later, by the
// translator (sql_dialect.cpp), which also fills the analysis fields of Expr.
//
// Operator precedence, lowest first: OR; AND; NOT; comparisons (= <> != < <= > >=, [NOT] LIKE,
// [NOT] BETWEEN, [NOT] IN, IS [NOT] NULL); + - ||; * / %; unary - +.
// Nesting is limited to kMaxNesting levels, so hostile input gives an error, not a stack overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_types.h"

namespace tikora::engine::sql {

inline constexpr int kMaxNesting = 200;

struct Select;

struct Expr {
  enum class Kind {
    String,       // text: the value
    Number,       // text: the literal as written
    Boolean,      // flag: the value
    Null,
    Parameter,    // text: the name; param_index: 1-based ?N
    Column,       // qualifier (may be empty) and text: the name as written
    Unary,        // text: "-", "+", "NOT"; args[0]
    Binary,       // text: operator ("+", "-", "*", "/", "%", "||", "AND", "OR", "=", "<>", "<", ...)
    Between,      // args: subject, low, high; flag: NOT
    InList,       // args: subject, items...; flag: NOT
    InSelect,     // args[0]: subject; select; flag: NOT
    Exists,       // select
    Subquery,     // select (a scalar value)
    IsNull,       // args[0]; flag: IS NOT NULL
    Like,         // args: subject, pattern[, escape]; flag: NOT
    Function,     // text: upper-case name; args; flag: DISTINCT (aggregates); star: COUNT(*)
    Cast,         // args[0]; text: upper-case target type name; cast_length: VARCHAR(n) etc.
    CurrentValue, // text: "CURRENT_DATE", "CURRENT_TIME" or "CURRENT_TIMESTAMP"
    Case,         // args: [base], when1, then1, ..., [else]; has_base / has_else
  };

  Kind kind = Kind::Null;
  std::size_t offset = 0;  // byte offset of the first token, for messages
  std::string text;
  std::string qualifier;
  bool flag = false;
  bool star = false;
  bool has_base = false;
  bool has_else = false;
  int param_index = 0;
  std::optional<std::int64_t> cast_length;
  std::vector<std::unique_ptr<Expr>> args;
  std::unique_ptr<Select> select;
  int depth = 1;  // height of this subtree, limited to kMaxNesting

  // Filled by the translator.
  std::optional<FieldType> type;  // inferred type; nullopt when unknown
  std::string resolved;           // Column: the SQLite column reference
  bool as_timestamp = false;      // a date value compared as a timestamp (midnight appended)
  bool nocase = false;            // comparison: compare text ignoring case
  bool prefix_match = false;      // = / <> against 'text*': compare the leading characters only
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
  ExprPtr expr;            // null for * and qualifier.*
  std::string star_qualifier;
  std::string alias;       // as written, empty when none
  std::string source_text; // the item's text in the statement, for an unnamed column
  std::size_t offset = 0;
};

enum class JoinKind { First, Comma, Inner, Left, Cross };

struct TableRef {
  std::string name;   // as written (a ".DAT" extension removed)
  std::string alias;  // empty when none
  std::size_t offset = 0;
  JoinKind join = JoinKind::First;
  ExprPtr on;         // Inner / Left joins
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
  bool nocase = false;
};

struct SelectCore {
  bool distinct = false;
  std::optional<std::int64_t> top;
  std::vector<SelectItem> items;
  std::vector<TableRef> from;
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
  std::size_t having_offset = 0;  // of the word HAVING
};

struct Select {
  std::vector<SelectCore> cores;   // more than one: a UNION
  std::vector<bool> union_all;     // between cores[i] and cores[i + 1]
  std::vector<OrderItem> order_by;
  std::size_t offset = 0;
  int depth = 1;
};

struct Assignment {
  std::string field;
  std::size_t offset = 0;
  ExprPtr value;
};

struct Statement {
  enum class Kind { Select, Insert, Update, Delete };
  Kind kind = Kind::Select;
  std::unique_ptr<Select> select;      // Select; Insert ... SELECT
  std::string table;                   // Insert, Update, Delete
  std::size_t table_offset = 0;
  std::vector<std::string> columns;    // Insert column list (empty: every field)
  std::vector<std::size_t> column_offsets;
  std::vector<std::vector<ExprPtr>> rows;  // Insert ... VALUES
  std::vector<Assignment> assignments;     // Update
  ExprPtr where;                           // Update, Delete
};

struct ParseResult {
  Statement statement;
  std::vector<std::string> parameters;  // names in ?N order (first spelling kept)
};

// Parses one statement (a trailing ";" is allowed). Throws EngineError(kErrSqlSyntax).
ParseResult ParseStatement(std::string_view text);

// Parses a filter: one boolean expression. Parameters are not allowed.
ExprPtr ParseFilterExpression(std::string_view text);

}  // namespace tikora::engine::sql
