// Block evaluator: evalf_rows against evalf row by row, bit for bit, over
// random formulas and rows that hit every guard, and its reading rules.

#include "model/fparser.h"
#include "model/row_threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using fparser::evalf;
using fparser::evalf_rows;

constexpr std::string_view names[] = {"P1", "P2", "X1", "X2"};
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

class BlockEvaluation : public ::testing::Test {
protected:
    void SetUp() override { fparser::initf(1); }
    void TearDown() override { fparser::endf(); }

    static void compile(const std::string& text) { ASSERT_EQ(fparser::parsef(0, text, names, false), 0) << text; }

    // Slot 0 over the rows of x1, x2 with P1, P2 single values.
    static std::vector<double> batch(double p1, double p2, const std::vector<double>& x1, const std::vector<double>& x2) {
        const double values[] = {p1, p2, 0.0, 0.0};
        const double* columns[] = {nullptr, nullptr, x1.data(), x2.data()};
        std::vector<double> out(x1.size(), -1.0);
        evalf_rows(0, values, columns, x1.size(), out);
        return out;
    }
};

// Same bits (the sign of zero counts), or both NaN: which NaN a product of
// two NaNs keeps depends on the order the compiler puts the operands in.
::testing::AssertionResult same_bits(double a, double b) {
    if (std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " vs " << b;
}

// A random formula over P1, P2, X1, X2 using every operator and function.
class FormulaMaker {
public:
    static constexpr const char* functions[] = {"ABS", "EXP", "LOG10", "LOG", "SQRT", "SINH", "COSH", "TANH",
                                                "SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN", "RD", "OMEGW"};
    static constexpr std::string_view operators = "+-*/^=#<[>]:|";
    static constexpr const char* constants[] = {"0", "1", "2", "3", "0.5", "1E-20", "1E+300", "80", "2.5"};

    explicit FormulaMaker(unsigned seed) : random_(seed) {}

    std::string make(int depth) {
        const int kind = depth <= 0 ? 0 : pick(5);
        switch (kind) {
        case 0: return leaf();
        case 1: return "(-" + make(depth - 1) + ")";
        case 2: return std::string(functions[pick(std::size(functions))]) + "(" + make(depth - 1) + ")";
        default:
            return "(" + make(depth - 1) + std::string(1, operators[pick(operators.size())]) + make(depth - 1) + ")";
        }
    }

private:

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
    std::string leaf() {
        if (pick(3) == 0) return constants[pick(std::size(constants))];
        return std::string(names[pick(std::size(names))]);
    }

    std::mt19937 random_;
};

// Row values that reach the guards: zeros, values within eps of zero,
// beyond the exponent and logarithm limits, beyond [-1, 1], huge, NaN and
// infinite, then ordinary ones.
std::vector<double> guard_rows(unsigned seed, std::size_t rows) {
    std::vector<double> v = {0.0,  -0.0, 1e-17, -1e-17, 1e-300, 0.5,  -0.5, 1.0, -1.0, 1.5,   -1.5,   2.0,
                             3.0,  80.0, -80.0, 700.0,  -700.0, 1e9,  -1e9, 1e300, -1e300, nan, inf, -inf,
                             4.5e15, -4.5e15};
    std::mt19937 random(seed);
    std::normal_distribution<double> normal(0.0, 3.0);
    while (v.size() < rows) v.push_back(normal(random));
    std::shuffle(v.begin(), v.end(), random);
    return v;
}

// Rows of one formula over the guard rows, block and one-row evaluation
// compared; returns how many rows ended out of range.
int expect_rows_match(const std::string& text, unsigned seed) {
    constexpr std::size_t rows = 150;  // two full blocks and a part
    const double parameters[][2] = {{1.5, -0.5}, {0.0, 2.0}, {80.0, 1e-17}, {-3.0, nan}};
    SCOPED_TRACE(text);
    EXPECT_EQ(fparser::parsef(0, text, names, false), 0);
    const std::vector<double> x1 = guard_rows(seed, rows), x2 = guard_rows(seed + 1000, rows);
    int failed_rows = 0;
    for (const auto& p : parameters) {
        const double values[] = {p[0], p[1], 0.0, 0.0};
        const double* columns[] = {nullptr, nullptr, x1.data(), x2.data()};
        std::vector<double> out(rows);
        evalf_rows(0, values, columns, rows, out);
        const int batch_error = fparser::evalerrtype;
        for (std::size_t r = 0; r < rows; ++r) {
            const double row[] = {p[0], p[1], x1[r], x2[r]};
            EXPECT_TRUE(same_bits(out[r], evalf(0, row))) << "row " << r << " X1 " << x1[r] << " X2 " << x2[r];
            failed_rows += fparser::evalerrtype == 4 ? 1 : 0;
        }
        EXPECT_EQ(batch_error, fparser::evalerrtype) << "error of the last row";
    }
    return failed_rows;
}

TEST_F(BlockEvaluation, EveryOperatorFormAndFunctionGivesTheRowValues) {
    // Operands on the stack, or a constant or a variable on either side.
    for (const char op : FormulaMaker::operators) {
        const std::string o(1, op);
        for (const char* c : FormulaMaker::constants) {
            expect_rows_match(std::string("X1") + o + c, 1);
            expect_rows_match(std::string(c) + o + "X1", 2);
        }
        for (const char* shape : {"X1%P1", "P1%X1", "X1%X2", "(X1+0)%(X2*1)", "(P1+0)%(P2*1)"}) {
            std::string text = shape;
            std::replace(text.begin(), text.end(), '%', op);
            expect_rows_match(text, 3);
        }
    }
    int failed_rows = 0;
    for (const char* f : FormulaMaker::functions) failed_rows += expect_rows_match(std::string(f) + "(X1)", 4);
    EXPECT_GT(failed_rows, 0) << "no row reached the out-of-range end";
}

TEST_F(BlockEvaluation, RandomFormulasGiveTheRowValuesBitForBit) {
    FormulaMaker maker(2026);
    for (int f = 0; f < 400 && !HasFailure(); ++f) expect_rows_match(maker.make(1 + f % 5), static_cast<unsigned>(f));
}

TEST_F(BlockEvaluation, SingleValuesAndColumnsReadAlike) {
    compile("P1*X1+P2/X2");
    const std::vector<double> x1 = guard_rows(7, 70), x2 = guard_rows(8, 70);
    const std::vector<double> p1(70, 1.25), p2(70, -4.0);
    const std::vector<double> by_value = batch(1.25, -4.0, x1, x2);
    const double values[] = {0.0, 0.0, 0.0, 0.0};
    const double* columns[] = {p1.data(), p2.data(), x1.data(), x2.data()};
    std::vector<double> by_column(70);
    evalf_rows(0, values, columns, 70, by_column);
    for (std::size_t r = 0; r < 70; ++r) EXPECT_TRUE(same_bits(by_value[r], by_column[r])) << r;
}

TEST_F(BlockEvaluation, VariablesBeyondTheValuesReadTheLastOne) {
    compile("P1+10*P2+100*X1+1000*X2");
    const std::vector<double> column = {1.0, 2.0, 3.0};
    std::vector<double> out(3);
    const double two[] = {1.0, 2.0};
    evalf_rows(0, two, {}, 3, out);
    EXPECT_EQ(out, std::vector<double>(3, 1.0 + 20.0 + 200.0 + 2000.0));
    // The last value is a column: X1 and X2 read it too.
    const double* columns[] = {nullptr, column.data()};
    evalf_rows(0, two, columns, 3, out);
    for (std::size_t r = 0; r < 3; ++r) EXPECT_EQ(out[r], 1.0 + 1110.0 * column[r]);
    evalf_rows(0, {}, {}, 3, out);
    EXPECT_EQ(out, std::vector<double>(3, 0.0));
}

TEST_F(BlockEvaluation, MissingOrEmptySlotsGiveZeros) {
    std::vector<double> out(5, 9.0);
    const double values[] = {1.0};
    evalf_rows(0, values, {}, 5, out);  // slot 0 holds no formula yet
    EXPECT_EQ(out, std::vector<double>(5, 0.0));
    out.assign(5, 9.0);
    evalf_rows(3, values, {}, 5, out);
    evalf_rows(-1, values, {}, 5, out);
    EXPECT_EQ(out, std::vector<double>(5, 0.0));
}

TEST_F(BlockEvaluation, OutOfRangeRowsGiveZeroAndLeaveTheOthers) {
    compile("ACOS(X1)+1");
    std::vector<double> x1(130, 0.5), x2(130, 0.0);
    x1[3] = 2.0;    // first block
    x1[70] = -1.5;  // second block
    std::vector<double> out = batch(0.0, 0.0, x1, x2);
    for (std::size_t r = 0; r < 130; ++r) EXPECT_EQ(out[r], r == 3 || r == 70 ? 0.0 : std::acos(0.5) + 1.0) << r;
    EXPECT_EQ(fparser::evalerrtype, 0);

    x1.back() = 1.0000001;
    out = batch(0.0, 0.0, x1, x2);
    EXPECT_EQ(out.back(), 0.0);
    EXPECT_EQ(fparser::evalerrtype, 4);
}

TEST_F(BlockEvaluation, NoRowsLeaveTheOutputAlone) {
    compile("P1+1");
    std::vector<double> out = {5.0};
    evalf_rows(0, std::vector<double>{1.0}, {}, 0, out);
    EXPECT_EQ(out[0], 5.0);
}

TEST_F(BlockEvaluation, PartsWithoutParametersFollowTheTable) {
    // The parts that read only columns and constants are kept from call to
    // call: a table changed in place, or read over fewer or more rows, by one
    // thread or several, must still give evalf's values row by row.  ASIN
    // fails on some rows and must not be kept.
    compile("P1*LOG(X1+1)+SIN(X2)^2*P2-ASIN(X1/1E9)+(X1*2<X2)");
    std::vector<double> x1 = guard_rows(11, 300), x2 = guard_rows(12, 300);
    const std::vector<double> spare = guard_rows(13, 300);
    std::mt19937 random(5);
    for (int call = 0; call < 40 && !HasFailure(); ++call) {
        const std::size_t rows = call % 3 == 0 ? 300 : call % 3 == 1 ? 130 : 64 + static_cast<std::size_t>(call);
        if (call % 2 == 1) (random() % 2 == 0 ? x1 : x2)[random() % rows] = spare[random() % spare.size()];
        row_threads::set_thread_count(1 + call % 4);
        const double values[] = {0.5 + call, -1.0 / (call + 1), 0.0, 0.0};
        const double* columns[] = {nullptr, nullptr, x1.data(), x2.data()};
        std::vector<double> out(rows);
        evalf_rows(0, values, columns, rows, out);
        for (std::size_t r = 0; r < rows; ++r) {
            const double row[] = {values[0], values[1], x1[r], x2[r]};
            ASSERT_TRUE(same_bits(out[r], evalf(0, row))) << "call " << call << " row " << r;
        }
    }
    row_threads::set_thread_count(0);
}

TEST_F(BlockEvaluation, ThreadsSharingTheRowsChangeNoBit) {
    // Tables below and above the size that is shared, each at several thread
    // counts, against one thread; the last row's error too.
    FormulaMaker maker(77);
    for (int f = 0; f < 40 && !HasFailure(); ++f) {
        const std::string text = f == 0 ? "ASIN(X1/3)+P1*LOG(X2)" : maker.make(2 + f % 4);
        SCOPED_TRACE(text);
        compile(text);
        for (const std::size_t rows : {std::size_t{63}, std::size_t{65}, std::size_t{300}, std::size_t{1000}}) {
            const std::vector<double> x1 = guard_rows(f + 1, rows), x2 = guard_rows(f + 500, rows);
            row_threads::set_thread_count(1);
            const std::vector<double> alone = batch(1.5, -0.5, x1, x2);
            const int alone_error = fparser::evalerrtype;
            for (const int threads : {2, 3, 8}) {
                row_threads::set_thread_count(threads);
                const std::vector<double> shared = batch(1.5, -0.5, x1, x2);
                EXPECT_EQ(fparser::evalerrtype, alone_error) << rows << " rows, " << threads << " threads";
                for (std::size_t r = 0; r < rows; ++r)
                    ASSERT_TRUE(same_bits(shared[r], alone[r])) << "row " << r << " of " << rows << ", " << threads << " threads";
            }
        }
    }
    row_threads::set_thread_count(0);
}

}  // namespace
