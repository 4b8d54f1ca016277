// Formula compiler and evaluator: byte codes, stack sizes, syntax error
// codes, binding order and every numeric guard of the evaluator.

#include "model/fparser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using fparser::comp;
using fparser::evalf;
using fparser::parsef;

constexpr std::string_view three_names[] = {"P1", "P2", "X1"};  // codes 32, 33, 34
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double eps = 2.220446049250313e-16;

class FparserTest : public ::testing::Test {
protected:
    void SetUp() override { fparser::initf(1); }
    void TearDown() override { fparser::endf(); }

    // Compiles text into slot 0 with the names P1, P2, X1 and expects success.
    const fparser::tComp& compiled(std::string_view text) {
        EXPECT_EQ(parsef(0, text, three_names, false), 0) << text;
        return comp[0];
    }

    // Syntax error code of text for the names P1, P2, X1.
    static int error_code(std::string_view text) {
        kalvor::FixedText msg(512);
        int code = -1;
        const int failed = fparser::checkf(text, msg, three_names, code, false);
        EXPECT_EQ(failed, code == 0 ? 0 : 1) << text;
        return code;
    }

    // Value of text at P1, P2, X1.
    double value(std::string_view text, double p1 = 0.0, double p2 = 0.0, double x1 = 0.0) {
        compiled(text);
        const double values[] = {p1, p2, x1};
        return evalf(0, values);
    }

    static std::vector<std::int32_t> codes(const fparser::tComp& c) { return c.codes; }
};

// ---- compiling ----

TEST_F(FparserTest, ProductCompilesToPostfixWithExactSizes) {
    const auto& c = compiled("P1*X1");
    EXPECT_EQ(codes(c), (std::vector<std::int32_t>{32, 34, 5}));
    EXPECT_EQ(c.code_count, 3);
    EXPECT_EQ(c.stack_size, 2);
    EXPECT_EQ(c.constant_count, 0);
    EXPECT_EQ(c.stack.size(), 2u);
    EXPECT_TRUE(c.constants.empty());
}

TEST_F(FparserTest, SubtractionIsLeftAssociative) {
    EXPECT_EQ(codes(compiled("P1-P2-X1")), (std::vector<std::int32_t>{32, 33, 4, 34, 4}));
    EXPECT_DOUBLE_EQ(value("P1-P2-X1", 10, 3, 2), 5.0);
    EXPECT_DOUBLE_EQ(value("2^3^2"), 64.0);
    EXPECT_DOUBLE_EQ(value("P1/P2/X1", 8, 2, 2), 2.0);
}

TEST_F(FparserTest, BindingOrderFollowsTheOperatorList) {
    // "+" splits first: P1 + (P2 < X1).
    EXPECT_EQ(codes(compiled("P1+P2<X1")), (std::vector<std::int32_t>{32, 33, 34, 10, 3}));
    // Comparisons bind tighter than "^": 2^(3<1) = 2^0 = 1, not (2^3)<1 = 0.
    EXPECT_DOUBLE_EQ(value("2^3<1"), 1.0);
    EXPECT_DOUBLE_EQ(value("2*3^2"), 18.0);
    EXPECT_DOUBLE_EQ(value("1+2*3"), 7.0);
}

TEST_F(FparserTest, LeadingSignAppliesToWholeProductOrPower) {
    const auto& power = compiled("-P1^2");
    EXPECT_EQ(codes(power), (std::vector<std::int32_t>{32, 1, 7, 2}));
    EXPECT_EQ(power.constants, (std::vector<double>{2.0}));
    EXPECT_DOUBLE_EQ(value("-P1^2", 3), -9.0);
    EXPECT_EQ(codes(compiled("-P1<P2")), (std::vector<std::int32_t>{32, 2, 33, 10}));
    EXPECT_DOUBLE_EQ(value("-(P1+P2)", 1, 2), -3.0);
    EXPECT_DOUBLE_EQ(value("-EXP(P1)", 0), -1.0);
}

TEST_F(FparserTest, ExponentSignIsNoSplitPoint) {
    const auto& c = compiled("1.5E-3*X1");
    EXPECT_EQ(codes(c), (std::vector<std::int32_t>{1, 34, 5}));
    EXPECT_DOUBLE_EQ(c.constants[0], 1.5e-3);
    EXPECT_EQ(codes(compiled("X1-1E-3")), (std::vector<std::int32_t>{34, 1, 4}));
    EXPECT_DOUBLE_EQ(value("2D+2-X1", 0, 0, 1), 199.0);
    EXPECT_DOUBLE_EQ(value("(1.E3)/X1", 0, 0, 10), 100.0);
}

TEST_F(FparserTest, DoubleStarAndBangAreRewritten) {
    EXPECT_EQ(codes(compiled("P1**2")), codes(compiled("P1^2")));
    EXPECT_EQ(codes(compiled("P1!P2")), (std::vector<std::int32_t>{32, 33, 15}));
}

TEST_F(FparserTest, StackSizeIsTheDeepestNesting) {
    EXPECT_EQ(compiled("P1+P2*(X1+P1)").stack_size, 4);
    EXPECT_EQ(compiled("((((P1))))").stack_size, 1);
    EXPECT_EQ(compiled("P1*P2+X1*P1").stack_size, 3);
}

TEST_F(FparserTest, BlanksAreIgnoredAndFunctionWordsIgnoreCase) {
    EXPECT_DOUBLE_EQ(value("  log10 ( X1 ) * 2", 0, 0, 100), 4.0);
    EXPECT_DOUBLE_EQ(value("Exp(0)+Abs(-P1)", 3), 4.0);
    EXPECT_DOUBLE_EQ(value("pi"), 3.141592653589793);
}

TEST_F(FparserTest, NamedConstants) {
    EXPECT_DOUBLE_EQ(value("K2-K1"), 25.0);
    EXPECT_DOUBLE_EQ(value("RC+RJ"), 1.9872041 + 8.3144621);
    EXPECT_DOUBLE_EQ(value("DG*EU"), 57.29577951308232 * 2.718281828459045);
    // VL and VH begin with V, so they are reachable only behind a sign.
    const auto& c = compiled("-VL");
    EXPECT_EQ(codes(c), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(c.constants, (std::vector<double>{1e-16}));
    EXPECT_DOUBLE_EQ(value("P1+(-VH)", 1), 1.0 - 1e16);
}

TEST_F(FparserTest, FailingCompileKeepsThePreviousFormula) {
    compiled("P1+X1");
    EXPECT_EQ(parsef(0, "P1+", three_names, false), 1);
    EXPECT_EQ(fparser::parseerrtype, 1);
    const double values[] = {1.0, 0.0, 2.0};
    EXPECT_DOUBLE_EQ(evalf(0, values), 3.0);
}

TEST_F(FparserTest, SlotsAreIndependent) {
    fparser::initf(3);
    ASSERT_EQ(parsef(0, "P1", three_names, false), 0);
    ASSERT_EQ(parsef(1, "P2", three_names, false), 0);
    ASSERT_EQ(parsef(2, "X1*2", three_names, false), 0);
    const double values[] = {1.0, 2.0, 3.0};
    EXPECT_DOUBLE_EQ(evalf(0, values), 1.0);
    EXPECT_DOUBLE_EQ(evalf(1, values), 2.0);
    EXPECT_DOUBLE_EQ(evalf(2, values), 6.0);
    EXPECT_EQ(parsef(3, "P1", three_names, false), 1);
    EXPECT_EQ(parsef(-1, "P1", three_names, false), 1);
}

TEST_F(FparserTest, MissingSlotsEvaluateToZero) {
    const double values[] = {1.0};
    EXPECT_EQ(evalf(0, values), 0.0);  // slot exists but holds nothing
    EXPECT_EQ(evalf(5, values), 0.0);
    fparser::endf();
    EXPECT_TRUE(comp.empty());
    EXPECT_EQ(evalf(0, values), 0.0);
    fparser::initf(0);
    EXPECT_EQ(parsef(0, "P1", three_names, false), 1);
}

// ---- syntax errors ----

TEST_F(FparserTest, SyntaxErrorCodes) {
    EXPECT_EQ(error_code("P1+"), 1);
    EXPECT_EQ(error_code(""), 1);
    EXPECT_EQ(error_code("-"), 1);
    EXPECT_EQ(error_code("+*P1"), 2);
    EXPECT_EQ(error_code("EXP"), 3);
    EXPECT_EQ(error_code("EXP+1"), 4);
    EXPECT_EQ(error_code("1.2.3"), 5);
    EXPECT_EQ(error_code("2E*X1"), 5);
    EXPECT_EQ(error_code("1E-"), 5);
    EXPECT_EQ(error_code("()"), 6);
    EXPECT_EQ(error_code("P1 P2"), 6);
    EXPECT_EQ(error_code("p1"), 6);   // names match exactly
    EXPECT_EQ(error_code(".5*X1"), 6);  // a number begins with a digit
    EXPECT_EQ(error_code("P3"), 6);
    EXPECT_EQ(error_code("P1)"), 7);
    EXPECT_EQ(error_code("(P1))"), 7);
    EXPECT_EQ(error_code("P1++P2"), 8);
    EXPECT_EQ(error_code("P1(X1)"), 6);
    EXPECT_EQ(error_code("2PI"), 9);
    EXPECT_EQ(error_code("(P1)X1"), 9);
    EXPECT_EQ(error_code("(P1"), 10);
    EXPECT_EQ(error_code("EXP((X1)"), 10);
    EXPECT_EQ(error_code("P1*VL"), 11);
    EXPECT_EQ(error_code("F1"), 11);
    EXPECT_EQ(error_code("log10(X1)"), 0);
    EXPECT_EQ(error_code("1.5d-3*X1+10.+2E+2"), 0);
}

TEST_F(FparserTest, OperatorAfterOperatorIsRefusedEvenBeforeASign) {
    // An operator followed by another operator is error 8 without exception.
    EXPECT_EQ(error_code("P1*-VL"), 8);
    EXPECT_EQ(error_code("P1*-P2"), 8);
    EXPECT_EQ(error_code("X1^-2"), 8);
    EXPECT_EQ(error_code("P1*(-VL)"), 0);
}

TEST_F(FparserTest, CheckResetsTheErrorStates) {
    error_code("P1+");
    EXPECT_EQ(fparser::parseerrtype, 1);
    fparser::evalerrtype = 4;
    error_code("P1");
    EXPECT_EQ(fparser::parseerrtype, 0);
    EXPECT_EQ(fparser::evalerrtype, 0);
    EXPECT_TRUE(fparser::printerrors);
}

TEST_F(FparserTest, PrintedErrorMarksTheColumnOfTheTextAsGiven) {
    kalvor::FixedText msg(512, "untouched");
    int code = 0;
    testing::internal::CaptureStdout();
    fparser::checkf("P1 + * X1", msg, three_names, code, true);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 8);
    EXPECT_EQ(out.rfind("*** Error in syntax of function string. ***\n\n", 0), 0u) << out;
    EXPECT_NE(out.find("P1 + * X1\n_____?\nMultiple operators\n"), std::string::npos) << out;
    EXPECT_EQ(msg.trimmed(), "_____?");  // "*" stands in column 6
    EXPECT_TRUE(fparser::printerrors);

    // Without printing nothing is written, and msg gets the same marker.
    kalvor::FixedText quiet(512, "untouched");
    testing::internal::CaptureStdout();
    fparser::checkf("P1 + * X1", quiet, three_names, code, false);
    EXPECT_TRUE(testing::internal::GetCapturedStdout().empty());
    EXPECT_EQ(quiet.trimmed(), "_____?");
}

// ---- evaluation guards ----

TEST_F(FparserTest, DivisionByExactZeroDividesBy1em9) {
    EXPECT_DOUBLE_EQ(value("P1/X1", 2, 0, 0), 2e9);
    EXPECT_DOUBLE_EQ(value("P1/X1", 2, 0, -0.0), 2e9);
    EXPECT_DOUBLE_EQ(value("P1/X1", 2, 0, 4), 0.5);
}

TEST_F(FparserTest, PowerGuards) {
    for (double p : {0.0, 5.0, -3.0, 0.5}) EXPECT_EQ(value("0^P1", p), eps) << p;
    EXPECT_EQ(value("X1^0", 0, 0, 5), 1.0);
    EXPECT_EQ(value("X1^P1", 1e-17, 0, 5), 1.0);
    EXPECT_EQ(value("X1^2", 0, 0, -3), 9.0);
    EXPECT_EQ(value("X1^3", 0, 0, -3), -27.0);
    EXPECT_DOUBLE_EQ(value("X1^0.5", 0, 0, 16), 4.0);
    EXPECT_TRUE(std::isnan(value("(-8)^(1/3)")));
    EXPECT_EQ(fparser::evalerrtype, 0);
}

TEST_F(FparserTest, ExponentialGuards) {
    EXPECT_EQ(value("EXP(100)"), 5.54062238439351e+34);
    EXPECT_EQ(value("EXP(-100)"), 1.8048513878454153e-35);
    EXPECT_EQ(value("EXP(1E-17)"), 1.0);
    EXPECT_DOUBLE_EQ(value("EXP(X1)", 0, 0, 1.5), std::exp(1.5));
    EXPECT_EQ(value("EXP(X1)", 0, 0, nan), 1.0);
}

TEST_F(FparserTest, HugeExponentialArgumentsSaturateBySign) {
    // Arguments of 2^53 and more behave like any other beyond +-80.
    EXPECT_EQ(value("EXP(-1E16)"), 1.8048513878454153e-35);
    EXPECT_EQ(value("EXP(-1E15)"), 1.8048513878454153e-35);
    EXPECT_EQ(value("EXP(1E300)"), 5.54062238439351e+34);
    EXPECT_EQ(value("EXP(X1)", 0, 0, -inf), 1.8048513878454153e-35);
    EXPECT_EQ(value("EXP(X1)", 0, 0, inf), 5.54062238439351e+34);
}

TEST_F(FparserTest, NaturalLogarithmGuards) {
    EXPECT_EQ(value("LOG(0)"), -36.0);
    EXPECT_NEAR(value("LOG(0.5)"), -0.6931471805599453, 1e-8);
    EXPECT_NEAR(value("LOG(X1)", 0, 0, -0.5), 0.6931471805599453, 1e-8);
    EXPECT_EQ(value("LOG(X1)", 0, 0, -1e-20), 36.0);
    EXPECT_EQ(value("LOG(X1)", 0, 0, 1e17), 36.0);
    EXPECT_EQ(value("LOG(X1)", 0, 0, -1e17), -36.0);
    EXPECT_EQ(value("LOG(X1)", 0, 0, nan), -36.0);
    EXPECT_EQ(value("LOG(X1)", 0, 0, inf), 36.0);
    EXPECT_EQ(value("LOG(X1)", 0, 0, -inf), 36.0);
}

TEST_F(FparserTest, DecimalLogarithmGuards) {
    EXPECT_DOUBLE_EQ(value("LOG10(0.01)"), -2.0);
    EXPECT_DOUBLE_EQ(value("LOG10(X1)", 0, 0, -100), -2.0);
    EXPECT_DOUBLE_EQ(value("LOG10(X1)", 0, 0, -0.01), -2.0);
    EXPECT_EQ(value("LOG10(0)"), -16.0);
    EXPECT_TRUE(std::isnan(value("LOG10(X1)", 0, 0, nan)));
}

TEST_F(FparserTest, SquareRootTakesTheMagnitude) {
    EXPECT_DOUBLE_EQ(value("SQRT(X1)", 0, 0, -4), 2.0);
    EXPECT_DOUBLE_EQ(value("SQRT(X1)+1", 0, 0, -4), 3.0);
    EXPECT_DOUBLE_EQ(value("SQRT(9)"), 3.0);
}

TEST_F(FparserTest, HyperbolicTangentGuards) {
    EXPECT_EQ(value("TANH(0)"), 1e-9);
    EXPECT_EQ(value("P1+TANH(X1)", 2, 0, 0), 2.0 + 1e-9);
    EXPECT_EQ(value("TANH(2E9)"), 1.0);
    EXPECT_EQ(value("TANH(X1)", 0, 0, -2e9), -1.0);
    EXPECT_DOUBLE_EQ(value("TANH(0.5)"), 0.46211715726000974);
}

TEST_F(FparserTest, ArcSineOutOfRangeEndsTheEvaluation) {
    EXPECT_EQ(value("1+ASIN(2)"), 0.0);
    EXPECT_EQ(fparser::evalerrtype, 4);
    EXPECT_EQ(fparser::evalerrmsg().trimmed(), "Argument of ASIN or ACOS illegal");
    EXPECT_EQ(fparser::evalerrmsg().length(), 32u);
    EXPECT_EQ(value("ACOS(X1)", 0, 0, -1.5), 0.0);
    EXPECT_EQ(fparser::evalerrtype, 4);
    // The next complete evaluation clears the code.
    EXPECT_DOUBLE_EQ(value("ASIN(1)+ACOS(1)"), std::asin(1.0));
    EXPECT_EQ(fparser::evalerrtype, 0);
    EXPECT_TRUE(fparser::evalerrmsg().blank());
}

TEST_F(FparserTest, EvaluationMessages) {
    const char* expected[] = {"Division by zero", "Argument of SQRT negative", "Argument of LOG  <=  0",
                              "Argument of ASIN or ACOS illegal", "-exponent to fractional power"};
    for (int k = 1; k <= 5; ++k) {
        fparser::evalerrtype = k;
        EXPECT_EQ(fparser::evalerrmsg().trimmed(), expected[k - 1]);
    }
    fparser::evalerrtype = 6;
    EXPECT_TRUE(fparser::evalerrmsg().blank());
}

TEST_F(FparserTest, RoundingHalvesAwayFromZero) {
    EXPECT_EQ(value("RD(2.5)"), 3.0);
    EXPECT_EQ(value("RD(X1)", 0, 0, -2.5), -3.0);
    EXPECT_EQ(value("RD(X1)", 0, 0, 2.4999), 2.0);
}

TEST_F(FparserTest, ComparisonsMinimumAndMaximum) {
    EXPECT_EQ(value("P1=P2", 2, 2), 1.0);
    EXPECT_EQ(value("P1#P2", 2, 2), 0.0);
    EXPECT_EQ(value("P1#P2", 2, 3), 1.0);
    EXPECT_EQ(value("P1<P2", 2, 3), 1.0);
    EXPECT_EQ(value("P1[P2", 3, 3), 1.0);
    EXPECT_EQ(value("P1>P2", 3, 3), 0.0);
    EXPECT_EQ(value("P1]P2", 3, 3), 1.0);
    EXPECT_EQ(value("P1:P2", 2, 3), 2.0);
    EXPECT_EQ(value("P1!P2", 2, 3), 3.0);
}

TEST_F(FparserTest, ComparisonsWithNaN) {
    EXPECT_EQ(value("X1=X1", 0, 0, nan), 0.0);
    EXPECT_EQ(value("X1#X1", 0, 0, nan), 1.0);
    EXPECT_EQ(value("X1<P1", 0, 0, nan), 0.0);
    EXPECT_EQ(value("X1]P1", 0, 0, nan), 0.0);
    // Minimum and maximum give the right operand.
    EXPECT_EQ(value("X1:P1", 5, 0, nan), 5.0);
    EXPECT_EQ(value("X1|P1", 5, 0, nan), 5.0);
    EXPECT_TRUE(std::isnan(value("P1:X1", 5, 0, nan)));
}

TEST_F(FparserTest, LibraryFunctions) {
    const double x = 0.3;
    EXPECT_DOUBLE_EQ(value("SINH(X1)", 0, 0, x), std::sinh(x));
    EXPECT_DOUBLE_EQ(value("COSH(X1)", 0, 0, x), std::cosh(x));
    EXPECT_DOUBLE_EQ(value("SIN(X1)", 0, 0, x), std::sin(x));
    EXPECT_DOUBLE_EQ(value("COS(X1)", 0, 0, x), std::cos(x));
    EXPECT_DOUBLE_EQ(value("TAN(X1)", 0, 0, x), std::tan(x));
    EXPECT_DOUBLE_EQ(value("ASIN(X1)", 0, 0, x), std::asin(x));
    EXPECT_DOUBLE_EQ(value("ACOS(X1)", 0, 0, x), std::acos(x));
    EXPECT_DOUBLE_EQ(value("ATAN(X1)", 0, 0, x), std::atan(x));
    EXPECT_DOUBLE_EQ(value("ABS(X1)", 0, 0, -x), x);
    EXPECT_EQ(value("OMEGW(1)"), 0.5671432904097838);
}

TEST_F(FparserTest, VariablesBeyondTheValuesReadTheLastOne) {
    compiled("X1");
    const double two[] = {1.0, 7.0};
    EXPECT_EQ(evalf(0, two), 7.0);
    EXPECT_EQ(evalf(0, std::span<const double>()), 0.0);
}

TEST_F(FparserTest, EveryOperatorKeepsItsOperandOrder) {
    // Leaves and compound operands on either side take different evaluation
    // paths; all must give a op b.
    const struct { const char* op; double (*f)(double, double); } operators[] = {
        {"+", [](double a, double b) { return a + b; }},
        {"-", [](double a, double b) { return a - b; }},
        {"*", [](double a, double b) { return a * b; }},
        {"/", [](double a, double b) { return a / b; }},
        {"^", [](double a, double b) { return std::pow(a, b); }},
        {"=", [](double a, double b) { return a == b ? 1.0 : 0.0; }},
        {"#", [](double a, double b) { return a == b ? 0.0 : 1.0; }},
        {"<", [](double a, double b) { return a < b ? 1.0 : 0.0; }},
        {"[", [](double a, double b) { return a <= b ? 1.0 : 0.0; }},
        {">", [](double a, double b) { return a > b ? 1.0 : 0.0; }},
        {"]", [](double a, double b) { return a >= b ? 1.0 : 0.0; }},
        {":", [](double a, double b) { return a < b ? a : b; }},
        {"|", [](double a, double b) { return a > b ? a : b; }},
    };
    const char* shapes[] = {"P1%P2", "P1%(P2+0)", "(P1+0)%P2", "(P1+0)%(P2+0)", "ABS(P1)%ABS(P2)"};
    const double pairs[][2] = {{3.0, 5.0}, {5.0, 3.0}, {4.0, 4.0}};
    for (const auto& op : operators) {
        for (std::string shape : shapes) {
            std::replace(shape.begin(), shape.end(), '%', op.op[0]);
            for (const auto& pair : pairs)
                EXPECT_DOUBLE_EQ(value(shape, pair[0], pair[1]), op.f(pair[0], pair[1])) << shape << " " << pair[0];
        }
        std::string left = std::string("7") + op.op + "(P2+0)", right = std::string("(P1+0)") + op.op + "7";
        EXPECT_DOUBLE_EQ(value(left, 0, 2), op.f(7, 2)) << left;
        EXPECT_DOUBLE_EQ(value(right, 2), op.f(2, 7)) << right;
    }
}

TEST_F(FparserTest, DeeplyNestedOperands) {
    EXPECT_DOUBLE_EQ(value("P1-(P2-(X1-(P1-(P2-X1))))", 1, 2, 3), 1 - (2 - (3 - (1 - (2 - 3)))));
    EXPECT_DOUBLE_EQ(value("((P1+1)*(P2+2))/((X1+3)-(P1*(P2+X1)))", 1, 2, 3), (2.0 * 4.0) / (6.0 - 5.0));
    EXPECT_DOUBLE_EQ(value("-(P1-2)^2+EXP(-(X1-P2)^2/P1^2)", 1, 2, 3), -1.0 + std::exp(-1.0));
}

TEST_F(FparserTest, EvaluationRepeatsWithFreshStack) {
    compiled("P1*EXP(-P2*X1)+X1^2");
    for (int k = 0; k < 3; ++k) {
        const double values[] = {2.0, 0.5, 1.0 + k};
        EXPECT_DOUBLE_EQ(evalf(0, values), 2.0 * std::exp(-0.5 * (1.0 + k)) + (1.0 + k) * (1.0 + k));
    }
}

}  // namespace
