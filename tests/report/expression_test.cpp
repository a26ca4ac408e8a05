// Expressions: values, operators, functions, aggregates, empty fields and failures.
#include <gtest/gtest.h>

#include <map>

#include "locale_guard.h"
#include "report/expression.h"
#include "report_fixture.h"

namespace tikora::report::test {
namespace {

// Row 1 of HoursByAccount is current ("Alpha", 2.25, empty note, empty logical); aggregates see
// all five rows.
class FakeContext : public EvalContext {
 public:
  FakeContext() : rows_(HoursByAccount()) {
    variables_["varHeading"] = Value::Text("Orvane Ltd");
    variables_["Start Time"] = Value::Date(DateTime(45292.375));  // 2024-01-01 09:00
  }
  std::optional<Value> Lookup(const std::string& name) override {
    const int field = rows_.FindField(name);
    if (field >= 0) {
      Value v = rows_.FieldValue(row_, field);
      if (v.IsNull()) {
        if (rows_.KindOf(field) == FieldKind::Text) return Value::Text("");
        if (rows_.KindOf(field) == FieldKind::Logical) return Value::Boolean(false);
        return Value::Integer(0);
      }
      return v;
    }
    if (auto it = variables_.find(name); it != variables_.end()) return it->second;
    return std::nullopt;
  }
  void ForEachScopeRow(const std::function<void()>& per_row) override {
    const std::int64_t saved = row_;
    for (row_ = 0; row_ < rows_.RowCount(); ++row_) per_row();
    row_ = saved;
  }

 private:
  MemoryRowSource rows_;
  std::int64_t row_ = 1;
  std::map<std::string, Value> variables_;
};

std::string Eval(const std::string& expression) {
  FakeContext ctx;
  return FormatValue(EvaluateExpression(expression, ctx));
}

struct Case {
  const char* expression;
  const char* printed;
};

TEST(Expression, ValuesOperatorsAndFunctions) {
  const Case cases[] = {
      // arithmetic: integers stay integers, "/" always divides exactly
      {"1 + 2 * 3", "7"},
      {"(1 + 2) * 3", "9"},
      {"7 / 2", "3.5"},
      {"7 div 2", "3"},
      {"7 mod 3", "1"},
      {"-2 - -3", "1"},
      {"2.5e1", "25"},
      {"0.1 + 0.2 = 0.3", "False"},  // binary fractions are not hidden
      // texts
      {"'a' + 'b'", "ab"},
      {"\"say \"\"hi\"\"\"", "say \"hi\""},
      {"'it''s'", "it's"},
      {"'n=' + 3", "n=3"},
      {"[Account] + '/' + Note", "Alpha/"},
      // comparisons and logic
      {"3 > 2", "True"},
      {"'abc' < 'abd'", "True"},
      {"'10' = 10", "True"},
      {"'10' = '10.0'", "False"},  // two texts compare as texts
      {"not (1 = 1) or 2 >= 2 and 1 <> 2", "True"},
      {"IIF([Hours] > 2, 'long', 'short')", "long"},
      {"IIF(True, 1, 1 / 0)", "1"},  // only the chosen branch is evaluated
      // fields and variables: names with blanks in brackets, brackets around expressions
      {"[Hours] * 2", "4.5"},
      {"[Start Time]", "01/01/2024 09:00:00"},
      {"[Start Time] + 1", "01/02/2024 09:00:00"},
      {"[varHeading]", "Orvane Ltd"},
      {"[[Hours] + 1]", "3.25"},
      // empty fields: text "", logical False, numbers 0
      {"Note", ""},
      {"Note + 'x'", "x"},
      {"Billable", "False"},
      {"IIF(Billable, 'yes', 'no')", "no"},
      // text functions; names ignore case
      {"Upper('abc')", "ABC"},
      {"lowercase('ÄB')", "äb"},
      {"Trim('  x ')", "x"},
      {"Length('äb')", "2"},
      {"Copy('abcdef', 2, 3)", "bcd"},
      {"Copy('abc', 3, 10)", "c"},
      {"Pos('c', 'abc')", "3"},
      {"Pos('z', 'abc')", "0"},
      {"Str(12) + Str(True)", "12True"},
      {"Int(-2.7) + Frac(2.5)", "-1.5"},
      {"Round(2.5) + Round(3.5)", "6"},  // halves to even
      {"Abs(-1.25)", "1.25"},
      {"FormatFloat('#,##0.00', 1234.5)", "1,234.50"},
      {"FormatFloat('#,##0.00', 1234567.891)", "1,234,567.89"},
      {"FormatFloat('0.0 h', -0.04)", "0.0 h"},
      {"FormatFloat('$#,##0.00', -1234.5)", "$-1,234.50"},
      {"FormatFloat('0', 0.5)", "1"},
      {"DateToStr([Start Time])", "01/01/2024"},
      {"TimeToStr([Start Time])", "09:00:00"},
      {"WeekStart([Start Time], 1)", "01/01/2024"},  // a Monday
      {"WeekStart([Start Time] + 6, 1)", "01/01/2024"},
      {"WeekStart([Start Time], 0)", "12/31/2023"},
      // aggregates over the scope (five rows, one with empty hours)
      {"Sum([Hours])", "8.25"},
      {"Sum(1)", "5"},
      {"Count()", "5"},
      {"Count(Note)", "3"},
      {"Avg(Hours)", "1.65"},
      {"Min(Hours)", "0"},
      {"Max(Hours)", "4"},
      {"Max(Account)", "Gamma"},
      {"Sum(IIF(Billable, Hours, 0))", "5.5"},
      {"FormatFloat('0.00', Sum(Hours) / Count())", "1.65"},
  };
  tikora::test::ScopedLocale locale("C.UTF-8");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(Eval(c.expression), c.printed);
  }
}

TEST(Expression, RegionalSeparatorsInPrintedNumbers) {
  tikora::test::ScopedLocale locale("de_DE.UTF-8");
  if (!locale.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  EXPECT_EQ(Eval("7 / 2"), "3,5");
  EXPECT_EQ(Eval("FormatFloat('#,##0.00', 1234.5)"), "1.234,50");
  EXPECT_EQ(Eval("'2,5' * 2"), "5");  // texts read with the regional separator
}

TEST(Expression, FailuresNameTheExpression) {
  const Case cases[] = {
      {"1 +", "ends too early"},
      {"(1", "expected \")\""},
      {"'open", "closing quote"},
      {"1 2", "unexpected \"2\""},
      {"Missing + 1", "Unknown variable or field \"Missing\""},
      {"[No Such Field]", "Unknown variable or field \"No Such Field\""},
      {"'x' * 2", "'x' is not a valid floating point value"},
      {"1 / 0", "Division by zero"},
      {"5 mod 0", "Division by zero"},
      {"IIF(1, 2)", "IIF takes 3 arguments"},
      {"Sum(1, 2, 3)", "Sum takes one or two arguments"},
      {"Sum(Hours, 'frDBDataSet9')", "Unknown data source \"frDBDataSet9\""},
      {"Foo(1, 2, 3, 4)", "at most three arguments"},
      {"1 # 2", "unexpected character \"#\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    try {
      Eval(c.expression);
      ADD_FAILURE() << "no error";
    } catch (const ReportError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(std::string("Error in expression \"") + c.expression + "\""), std::string::npos) << what;
      EXPECT_NE(what.find(c.printed), std::string::npos) << what;
    }
  }
}

TEST(Expression, TemplatesReplaceCompleteBrackets) {
  tikora::test::ScopedLocale locale("C.UTF-8");
  FakeContext ctx;
  const Case cases[] = {
      {"Total: [Sum(Hours)] h", "Total: 8.25 h"},
      {"[Account][Hours]", "Alpha2.25"},
      {"at [Start Time]", "at 01/01/2024 09:00:00"},
      {"no expressions", "no expressions"},
      {"[]", ""},
      {"open [Account", "open [Account"},
      {"[Account] and ']' in [IIF(1 = 1, ']', '[')]", "Alpha and ']' in ]"},
      {"[FormatFloat('0.0', [Hours])]", "2.3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(ExpandTemplate(c.expression, ctx), c.printed);
  }
  EXPECT_TRUE(HasExpressions("a [b] c"));
  EXPECT_FALSE(HasExpressions("a [b c"));
}

TEST(Expression, UnservedUserFunctionIsEmpty) {
  FakeContext ctx;  // the base context serves no user function
  EXPECT_TRUE(EvaluateExpression("Whatever(1)", ctx).IsNull());
  EXPECT_EQ(ExpandTemplate("<[Whatever(1)]>", ctx), "<>");
}

}  // namespace
}  // namespace tikora::report::test
