// Model text normalisation, the numbered checks with their marker lines,
// and the evaluation glue around the compiled model.

#include "model/formula_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/runtime.h"
#include "model/fparser.h"
#include "model/globals.h"

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

class FormulaCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        runtime::Hooks hooks;
        hooks.sleep_seconds = [this](double seconds) { sleeps.push_back(seconds); };
        runtime::set_hooks(hooks);
        globals::iexpzero = 0;
        globals::nmdl = 0;
    }
    void TearDown() override {
        runtime::reset_hooks();
        fparser::endf();
        globals::iexpzero = 0;
        globals::nmdl = 0;
    }

    struct Parsed {
        std::string text;
        int np = -1, nx = -1, length = -1, ierr = -1;
        std::string msg;
    };
    Parsed parse(std::string_view model) {
        kalvor::Text<512> text(model), msg;
        Parsed r;
        parse_func(r.np, r.nx, text, r.length, r.ierr, msg);
        r.text = text.trimmed();
        r.msg = msg.trimmed();
        return r;
    }

    struct Checked {
        std::string text, marker, msg;
        int ierr = -1;
    };
    Checked check(std::string_view model, int np, int nx) {
        kalvor::Text<512> text(model), marker("untouched"), msg;
        Checked r;
        check_func(text, marker, np, nx, r.ierr, msg);
        r.text = text.trimmed();
        r.marker = marker.trimmed();
        r.msg = msg.trimmed();
        return r;
    }

    std::vector<double> sleeps;
};

// ---- normalisation ----

TEST_F(FormulaCheckTest, NormalisesCaseAndBlanksAndCounts) {
    const Parsed r = parse(" p1 * exp( -p2*x1 ) ");
    EXPECT_EQ(r.text, "P1*EXP(-P2*X1)");
    EXPECT_EQ(r.np, 2);
    EXPECT_EQ(r.nx, 1);
    EXPECT_EQ(r.ierr, 0);
    EXPECT_EQ(r.length, 14);
    EXPECT_TRUE(r.msg.empty());
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(FormulaCheckTest, TabsAndControlCharactersAreRemoved) {
    EXPECT_EQ(parse("P1\t*\tX1\r").text, "P1*X1");
    EXPECT_EQ(parse("P1*\x01X1").text, "P1*X1");
}

TEST_F(FormulaCheckTest, SignRunsAndDoubleStarsAreFolded) {
    EXPECT_EQ(parse("P1+-P2").text, "P1-P2");
    EXPECT_EQ(parse("P1-+P2").text, "P1-P2");
    EXPECT_EQ(parse("P1--P2").text, "P1+P2");
    EXPECT_EQ(parse("P1++P2").text, "P1+P2");
    EXPECT_EQ(parse("P1**2").text, "P1^2");
    const Parsed r = parse("P1+++P2");
    EXPECT_EQ(r.text, "P1++P2");
    EXPECT_EQ(r.ierr, 8);
    EXPECT_EQ(r.msg, "Multiple operators");
}

TEST_F(FormulaCheckTest, ZeroGoesBeforeABarePointAfterPower) {
    Parsed r = parse("X1^.5");
    EXPECT_EQ(r.text, "X1^0.5");
    EXPECT_EQ(r.ierr, 0);
    EXPECT_EQ(globals::iexpzero, 6);
    // Once set, the guard stops further insertions for this text.
    EXPECT_EQ(parse("X1^.5").text, "X1^.5");

    globals::iexpzero = 0;
    EXPECT_EQ(parse("X1^(-.5)").text, "X1^(-0.5)");
    globals::iexpzero = 0;
    EXPECT_EQ(parse("X1^(.5)").text, "X1^(0.5)");
    globals::iexpzero = 0;
    EXPECT_EQ(parse("X1^(+.5)").text, "X1^(+0.5)");
}

TEST_F(FormulaCheckTest, OnlyOneZeroIsInsertedPerCall) {
    Parsed r = parse("X1^.5+X2^.5");
    EXPECT_EQ(r.text, "X1^0.5+X2^.5");
    EXPECT_EQ(globals::iexpzero, 0);
    EXPECT_EQ(r.ierr, 6);  // ".5" is no number
    r = parse(r.text);
    EXPECT_EQ(r.text, "X1^0.5+X2^0.5");
    EXPECT_EQ(r.ierr, 0);
    EXPECT_EQ(globals::iexpzero, 13);
}

TEST_F(FormulaCheckTest, UnbalancedTextIsNotFolded) {
    const Parsed r = parse("P1*X1)");
    EXPECT_EQ(r.ierr, 7);
    EXPECT_EQ(r.msg, "Mismatched parenthesis");
    EXPECT_EQ(parse("P1--X1)").text, "P1--X1)");
}

// ---- numbered checks ----

TEST_F(FormulaCheckTest, ParameterGapGivesTwelveWithMarker) {
    const Parsed parsed = parse("P1*X1+P3");
    EXPECT_EQ(parsed.ierr, 12);
    EXPECT_EQ(parsed.msg, "Invalid non-sequential parameter P3 ?");
    const Checked r = check("P1*X1+P3", 2, 1);
    EXPECT_EQ(r.ierr, 12);
    // "P3" begins in column 7; "\*/" follows that first character.
    EXPECT_EQ(r.marker, "_______\\*/");
    EXPECT_EQ(sleeps, (std::vector<double>{1.0, 1.0}));
}

TEST_F(FormulaCheckTest, XGapGivesThirteenWithMarker) {
    const Checked r = check("P1*X2", 1, 1);
    EXPECT_EQ(r.ierr, 13);
    EXPECT_EQ(r.msg, "Invalid non-sequential variable X2 ?");
    EXPECT_EQ(r.marker, "____\\*/");  // "X2" begins in column 4
}

TEST_F(FormulaCheckTest, XVariablesBeyondTheDataGiveFourteen) {
    const Checked r = check("P1*X1+P2*X2", 2, 1);
    EXPECT_EQ(r.ierr, 14);
    EXPECT_EQ(r.msg, "Invalid variable X2 ? incompatible with input data.");
    EXPECT_EQ(r.marker, "__________\\*/");
}

TEST_F(FormulaCheckTest, NamesBeyondTheAllowedOnesGiveFifteen) {
    const std::string allowed = ": the model allows the parameters P1 to P8 and the variables X1 to X3.";
    const Checked p9 = check("P1*X1+P9", 1, 1);
    EXPECT_EQ(p9.ierr, 15);
    EXPECT_EQ(p9.msg, "Invalid name P9" + allowed);
    EXPECT_EQ(p9.marker, "_______\\*/");
    // P10 holds P1, X4 no X1..X3, X0 and P0 are below the range.
    EXPECT_EQ(check("P10*X1+P1", 1, 1).msg, "Invalid name P10" + allowed);
    EXPECT_EQ(check("P1*X4", 1, 0).msg, "Invalid name X4" + allowed);
    EXPECT_EQ(check("P1*X0+P2*X1", 2, 1).msg, "Invalid name X0" + allowed);
    EXPECT_EQ(check("P0+P1*X1", 1, 1).ierr, 15);
    // A P or X inside a word (EXP) starts no name.
    EXPECT_EQ(check("P1*EXP(X1)+P8*X3+P2+P3+P4+P5+P6+P7+X2", 8, 3).ierr, 0);
}

TEST_F(FormulaCheckTest, MarkerContinuesTheUnderlineAfterTheName) {
    const Checked r = check("P2*X1+P1", 2, 1);  // P2 present, P1 too: fine
    EXPECT_EQ(r.ierr, 0);
    const Checked gap = check("P3*X1+P1+X1", 1, 1);
    EXPECT_EQ(gap.ierr, 12);
    // "P3" in column 1: one underscore, "\*/", then the underline from column 5 on.
    EXPECT_EQ(gap.marker, "_\\*/_______");
}

TEST_F(FormulaCheckTest, SyntaxCodesCarryTheirMessages) {
    // The marker's "?" stands under the faulty character.
    const struct { const char* text; int np, nx, ierr; const char* msg, *marker; } cases[] = {
        {"P1*(X1", 1, 1, 10, "Missing )", "_____?"},
        {"P1*X1+", 1, 1, 1, "Missing operand", "_____?"},
        {"EXP*X1", 0, 1, 4, "Missing opening parenthesis", "___?"},
        {"P1*X1*EXP", 1, 1, 3, "Missing function argument", "untouched"},
        {"P1*X1*1.2.3", 1, 1, 5, "Invalid number format", "______?"},
        {"P1*X1*Q", 1, 1, 6, "Invalid variable or math function", "______?"},
        {"P1*X1)", 1, 1, 7, "Mismatched parenthesis", "_____?"},
        {"P1*/X1", 1, 1, 8, "Multiple operators", "___?"},
        {"-*P1*X1", 1, 1, 2, "Multiple operators", "_?"},
        {"P1*X1(P1)", 1, 1, 6, "Invalid variable or math function", "___?"},
        {"(P1)X1", 1, 1, 9, "Missing operator", "____?"},
        {"P1*X1*Y", 1, 1, 11, "Invalid character", "______?"},
    };
    for (const auto& c : cases) {
        const Checked r = check(c.text, c.np, c.nx);
        EXPECT_EQ(r.ierr, c.ierr) << c.text;
        EXPECT_EQ(r.msg, c.msg) << c.text;
        EXPECT_EQ(r.marker, c.marker) << c.text;
    }
    EXPECT_EQ(sleeps.size(), std::size(cases));
}

TEST_F(FormulaCheckTest, FailingCheckKeepsTheFormulaText) {
    const Checked r = check("   P1+*X1", 1, 1);
    EXPECT_EQ(r.ierr, 8);
    EXPECT_EQ(r.text, "P1+*X1");  // only left-adjusted
}

TEST_F(FormulaCheckTest, PassingCheckReturnsAtOnce) {
    kalvor::Text<512> text("  P1*X1"), marker("m"), msg("old");
    int np = 1, nx = 1, ierr = -1;
    check_func(text, marker, np, nx, ierr, msg);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(text.trimmed(), "P1*X1");
    EXPECT_EQ(msg.trimmed(), "old");
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(FormulaCheckTest, CountsAreCapped) {
    kalvor::Text<512> text("P1*X1"), marker, msg;
    int np = 20, nx = 30, ierr = -1;
    check_func(text, marker, np, nx, ierr, msg);
    EXPECT_EQ(np, 8);
    EXPECT_EQ(nx, 11);
    EXPECT_EQ(ierr, 14);
}

TEST_F(FormulaCheckTest, ParenthesesTest) {
    EXPECT_TRUE(check_parentheses(""));
    EXPECT_TRUE(check_parentheses("x"));
    EXPECT_TRUE(check_parentheses("(a+(b))"));
    EXPECT_TRUE(check_parentheses(" ( a\t) "));
    EXPECT_FALSE(check_parentheses("(a)(b)"));
    EXPECT_FALSE(check_parentheses("f()"));
    EXPECT_FALSE(check_parentheses(")("));
    EXPECT_FALSE(check_parentheses("(("));
    EXPECT_FALSE(check_parentheses("a)"));
}

TEST_F(FormulaCheckTest, FinalVerdictAcceptsEveryText) {
    int flag = 0;
    check_udf("P1*X1", flag);
    EXPECT_EQ(flag, 1);
    flag = 0;
    check_udf("", flag);
    EXPECT_EQ(flag, 1);
}

// ---- evaluation glue ----

TEST_F(FormulaCheckTest, Fnparse2CompilesOnceUntilAskedAgain) {
    const double p[] = {2.0, 3.0};
    const double x[] = {5.0};
    double y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(p, x, 2, 1, 1, "P1*X1+P2", y));
    EXPECT_EQ(y, 13.0);
    y = 0.0;
    ASSERT_TRUE(fnparse2(p, x, 2, 1, 1, "P1-X1", y));  // still the first text
    EXPECT_EQ(y, 13.0);
    y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(p, x, 2, 1, 1, "P1-X1", y));
    EXPECT_EQ(y, -3.0);
}

TEST_F(FormulaCheckTest, FunctionWordsNeverActAsVariables) {
    const double p[] = {4.0};
    const double x[] = {0.0};
    double y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(p, x, 1, 1, 1, "SQRT(P1)+EXP(X1)", y));
    EXPECT_EQ(y, 3.0);
}

TEST_F(FormulaCheckTest, CompileFailureIsReturnedNotFatal) {
    const double p[] = {1.0};
    const double x[] = {1.0};
    double y = fnparse2_recompile;
    testing::internal::CaptureStdout();
    const bool ok = fnparse2(p, x, 1, 1, 1, "P1+*X1", y);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(ok);
    EXPECT_EQ(y, 0.0);
    EXPECT_NE(out.find("\nError in function, run aborted!\n"), std::string::npos) << out;
    EXPECT_NE(out.find("*** Error in syntax of function string. ***"), std::string::npos);
    EXPECT_EQ(sleeps, (std::vector<double>{5.0}));
}

TEST_F(FormulaCheckTest, CompileFuncFillsEverySlot) {
    constexpr std::string_view names[] = {"P1", "X1", "Q"};
    int ierr = -1;
    compile_func(3, "P1*X1", names, 2, ierr, false);
    EXPECT_EQ(ierr, 0);
    ASSERT_EQ(fparser::comp.size(), 3u);
    const double values[] = {3.0, 4.0};
    double results[3] = {};
    calc_func(3, values, 2, results);
    EXPECT_EQ(results[0], 12.0);
    EXPECT_EQ(results[2], 12.0);

    // Only the first nnames names count; a failing text compiles nothing.
    compile_func(1, "P1*Q", names, 2, ierr, false);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(fparser::comp.size(), 3u);
}

TEST_F(FormulaCheckTest, BuiltInModelSlotIsZero) {
    EXPECT_EQ(func2(1.0, 2.0, 3.0, 3), 0.0);
    globals::nmdl = 2;
    kalvor::Text<512> text("P1");
    const double p[] = {5.0};
    const double x[] = {1.0, 2.0};
    double y = -1.0;
    my_func::eval_func(p, 1, x, 2, text, y);
    EXPECT_EQ(y, 0.0);
}

TEST_F(FormulaCheckTest, EvalFuncGuardsTheModelValue) {
    kalvor::Text<512> text("   P1*X1");
    const double x[] = {1.0};
    double y = fnparse2_recompile;
    const double start[] = {1.0};
    ASSERT_TRUE(fnparse2(start, x, 1, 1, 1, "P1*X1", y));

    limits::clamp = 1.0;  // eval_func stores the guard constants itself
    const double p[] = {3.0};
    my_func::eval_func(p, 1, x, 1, text, y);
    EXPECT_EQ(y, 3.0);
    EXPECT_EQ(text.trimmed(), "P1*X1");
    EXPECT_EQ(limits::clamp, 2251799813685248.0);

    const double big[] = {1e16};
    my_func::eval_func(big, 1, x, 1, text, y);
    EXPECT_EQ(y, 2251799813685248.0);
    const double low[] = {-1e16};
    my_func::eval_func(low, 1, x, 1, text, y);
    EXPECT_EQ(y, -2251799813685248.0);
    const double not_a_number[] = {nan};
    my_func::eval_func(not_a_number, 1, x, 1, text, y);
    EXPECT_EQ(y, 4.440892098500626e-16);
    const double overflow[] = {1e300};
    const double x_big[] = {1e300};
    my_func::eval_func(overflow, 1, x_big, 1, text, y);
    EXPECT_EQ(y, 4.440892098500626e-16);
}

TEST_F(FormulaCheckTest, EvalRowsGuardsEveryRowAsEvalFunc) {
    kalvor::Text<512> text("  P1*X1+X2");
    double y = fnparse2_recompile;
    const double start[] = {1.0};
    const double x0[] = {0.0, 0.0};
    ASSERT_TRUE(fnparse2(start, x0, 1, 2, 1, "P1*X1+X2", y));
    // Rows: ordinary, huge (clamped), NaN and infinite (replaced); a
    // third column that the model does not use.
    kalvor::Matrix x(4, 3, 7.0);
    const double x1[] = {2.0, 1e16, nan, 1e300}, x2[] = {0.5, 0.0, 1.0, -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < 4; ++i) {
        x(i, 0) = x1[i];
        x(i, 1) = x2[i];
    }
    const double p[] = {3.0};
    limits::clamp = 1.0;  // stored afresh by the call
    std::vector<double> out(4, -1.0);
    my_func::eval_rows(p, 1, x, 2, 4, text, out);
    EXPECT_EQ(out, (std::vector<double>{6.5, 2251799813685248.0, 4.440892098500626e-16, 4.440892098500626e-16}));
    EXPECT_EQ(text.trimmed(), "P1*X1+X2");

    // A table without the second column: X2 reads 0, as in a one-row call
    // with the missing value 0.
    kalvor::Matrix one_column(1, 1, 2.0);
    my_func::eval_rows(p, 1, one_column, 2, 1, text, out);
    EXPECT_EQ(out[0], 6.0);

    globals::nmdl = 2;  // built-in model: 0 on every row
    out.assign(4, -1.0);
    my_func::eval_rows(p, 1, x, 2, 4, text, out);
    EXPECT_EQ(out, std::vector<double>(4, 0.0));
}

TEST_F(FormulaCheckTest, EvalRowsReportsAModelThatDoesNotCompileOnce) {
    kalvor::Text<512> text("P1*(X1");
    double y = fnparse2_recompile;
    const double start[] = {1.0};
    const double x0[] = {0.0};
    EXPECT_FALSE(fnparse2(start, x0, 1, 1, 1, text.view(), y));
    sleeps.clear();
    kalvor::Matrix x(100, 1, 2.0);
    std::vector<double> out(100, -1.0);
    my_func::eval_rows(start, 1, x, 1, 100, text, out);
    EXPECT_EQ(out, std::vector<double>(100, 0.0));
    EXPECT_EQ(sleeps, std::vector<double>{5.0});
}

TEST_F(FormulaCheckTest, HugeFiniteModelValuesAreClampedBySign) {
    // Values of 2^53 and more are numbers: they take the clamp, not the
    // near-zero replacement of invalid values.
    kalvor::Text<512> text("P1");
    double y = fnparse2_recompile;
    const double x[] = {0.0};
    const double start[] = {0.0};
    ASSERT_TRUE(fnparse2(start, x, 1, 0, 1, "P1", y));
    for (double v : {1e20, 1e300}) {
        const double p[] = {v};
        my_func::eval_func(p, 1, x, 0, text, y);
        EXPECT_EQ(y, 2251799813685248.0) << v;
        const double q[] = {-v};
        my_func::eval_func(q, 1, x, 0, text, y);
        EXPECT_EQ(y, -2251799813685248.0) << v;
    }
}

TEST_F(FormulaCheckTest, MinmaxKeepsValuesAwayFromZeroAndInfinity) {
    EXPECT_EQ(minmax(nan, 5.0), 5.0);
    EXPECT_EQ(minmax(1e-20, 5.0), 5.0);
    EXPECT_EQ(minmax(-1e-20, 5.0), -5.0);
    EXPECT_EQ(minmax(-1e20, 4.0), -0.25);
    EXPECT_EQ(minmax(1e20, -4.0), 0.25);
    EXPECT_EQ(minmax(3.0, 4.0), 3.0);
}

}  // namespace
