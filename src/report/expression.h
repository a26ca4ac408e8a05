// Expressions inside report texts.
//
// An object's text is a template: "Total: [Sum([Hours])] h" prints the literal parts as they stand
// and replaces each bracketed part with the value of the expression inside. Expressions know
//
//   numbers (1, 2.5 — always with a point), texts ('it''s' or "say ""hi"""), True and False;
//   names: fields of the current data source, variables, and the system names Page, TotalPages,
//     Line (the row number inside the data band, from 1), Date, Time and Now;
//   [Name With Blanks] — a field or variable whose name has blanks; when the brackets do not hold
//     a name they hold an expression ([FracRound(Mo)]);
//   + (numbers add, texts join, a date-time plus a number of days stays a date-time), -, *, /,
//     mod, div, = <> < > <= >=, and, or, not, parentheses;
//   functions, names compared without regard to case: IIF(cond, a, b) (only the chosen branch is
//     evaluated), the aggregates Sum, Count, Avg, Min, Max over the rows of the band's scope —
//     or, with a data source's name as second argument (Sum(Amount, 'frDBDataSet2')), over all
//     rows of that source — and Upper, Lower, Trim, Length, Copy(text, from, count),
//     Pos(part, text), Str, Int, Frac, Round (halves to even), Abs, FormatFloat(pattern, x),
//     DateToStr(x), TimeToStr(x), WeekStart(date, first_day) (the day on or before the date
//     whose weekday is first_day, 0 = Sunday ... 6 = Saturday).
//
// Any other function is a user function: its name as written and up to three argument texts
// (the source text of each argument, unevaluated) go to the context, which hands them to the
// program's callback together with a service that evaluates a text in the same context. An
// unserved call gives an empty value.
//
// An empty field reads as an empty text (text fields), False (logical fields) or 0 (others).
// Failures (a syntax error, an unknown name, a text that is not a number in arithmetic, a
// division by zero) throw ReportError naming the expression.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/value.h"
#include "report/definition.h"

namespace tikora::report {

using engine::Value;

// Evaluates an expression text in the context of the call that received it.
using EvaluateText = std::function<Value(const std::string& expression_text)>;

// The user-function callback: name as written in the expression, the argument texts (empty when
// absent), the result slot (holding the engine's default, an empty value, on entry) and the
// evaluation service. A callback that does not know the name leaves the result untouched.
using UserFunction =
    std::function<void(const std::string& name, const std::string& arg1, const std::string& arg2,
                       const std::string& arg3, Value& result, const EvaluateText& evaluate)>;

// What an expression sees while it is evaluated; the layout implements it per band.
class EvalContext {
 public:
  virtual ~EvalContext() = default;
  // A field of the current data source, a variable or a system name; nullopt when unknown.
  // Fields come first, then variables, then system names.
  virtual std::optional<Value> Lookup(const std::string& name) = 0;
  // Calls `per_row` once for every row of the aggregate scope, with that row current.
  virtual void ForEachScopeRow(const std::function<void()>& per_row) = 0;
  // The same over all rows of the named data source; the default knows no data source and
  // throws ReportError.
  virtual void ForEachRowOf(const std::string& source, const std::function<void()>& per_row);
  // An unknown function; the default serves nobody and gives an empty value.
  virtual Value CallUserFunction(const std::string& name, const std::vector<std::string>& args);
};

// The value of one expression (without the surrounding brackets).
Value EvaluateExpression(const std::string& expression, EvalContext& context);

// The template with every [expression] replaced by its printed form. A "[" without its closing
// "]" is printed as it stands.
std::string ExpandTemplate(const std::string& text, EvalContext& context);

// True when the template holds at least one [expression].
bool HasExpressions(const std::string& text);

// The printed form of a value: texts as they are; integers in decimal; floats in their shortest
// exact form with the regional decimal separator; True/False; date-times in the short date
// format, followed by the time unless it is midnight; empty values as "".
std::string FormatValue(const Value& value);

// A number with a pattern: "#,##0.00" groups thousands and shows two decimals, "0.0" one
// decimal without grouping; literal text before and after the digits is kept ("$#,##0.00",
// "0.00 h"). Separators are the regional ones; where the locale names no thousands separator
// it is "," (or "." when the decimal separator is ",").
std::string FormatNumberPattern(const std::string& pattern, double value);

// The number a value stands for: empty is 0, True 1, a date-time its day number, a text read
// with the regional decimal separator or a point. Throws ReportError for other texts.
double ValueToNumber(const Value& value);

}  // namespace tikora::report
