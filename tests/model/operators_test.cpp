// Guarded special functions: Lambert W, exponentials, logarithms, roots and
// powers, with their fixed values for dangerous arguments.

#include "model/operators.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <span>
#include <vector>

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double omega = 0.5671432904097838;
constexpr double e_value = 2.718281828459045;
constexpr double tiny = 4.930380658e-32;
constexpr double huge_value = 2.02824096e31;

// Relative residual of w as Lambert W of x: w e^w against x.
double lambert_residual(double x, double w) { return std::fabs(w * std::exp(w) - x) / x; }

// Reference values of W(x) from an independent Newton iteration.
struct LambertCase {
    double x, w;
};
constexpr LambertCase lambert_cases[] = {
    {0.001, 0.0009990014973385308}, {0.5, 0.35173371124919584}, {10.0, 1.7455280027406994},
    {100.0, 3.38563014029005},      {1e5, 9.284571428622108},   {1e20, 42.306755091738395}};

TEST(Omegawo, SpecialValues) {
    EXPECT_EQ(omegawo(1.0), omega);
    EXPECT_EQ(omegawo(e_value), 1.0);
    EXPECT_EQ(omegawo(-0.2), 0.0);
    EXPECT_EQ(omegawo(-1.0), 0.0);
    EXPECT_EQ(omegawo(0.0), 0.0);
    EXPECT_EQ(omegawo(-0.36787944117144233), -1.0);
    EXPECT_EQ(omegawo(1e50), 100.0);
    EXPECT_EQ(omegawo(3e45), 100.0);
}

TEST(Omegawo, MatchesReferenceValues) {
    EXPECT_NEAR(omegawo(10.0), 1.7455280027406994, 2e-16);
    for (const auto& c : lambert_cases) EXPECT_NEAR(omegawo(c.x), c.w, 1e-13 * c.w) << c.x;
}

TEST(Omegawo, TinyArgumentsFollowTheSeries) {
    // Below 1e-8 the iteration would wander off (1e-10 gave 3.47e-7).
    EXPECT_DOUBLE_EQ(omegawo(1e-10), 9.999999999e-11);
    for (double x : {1e-300, 1e-20, 1e-12, 9.9e-9}) EXPECT_LT(lambert_residual(x, omegawo(x)), 1e-15) << x;
    EXPECT_LT(lambert_residual(1e-8, omegawo(1e-8)), 1e-14);
}

TEST(LambertVariants, SolveWeToTheW) {
    for (const auto& c : lambert_cases) {
        EXPECT_NEAR(omegaw(c.x), c.w, 1e-10 * c.w) << c.x;
        EXPECT_NEAR(w(c.x), c.w, 1e-10 * c.w) << c.x;
        EXPECT_NEAR(wtwo(c.x), c.w, 1e-10 * c.w) << c.x;
        EXPECT_NEAR(omgaw(c.x), c.w, 1e-6 * c.w) << c.x;
        EXPECT_NEAR(omagaw(c.x), c.w, 1e-6 * c.w) << c.x;
        EXPECT_NEAR(operators::omega_w(c.x), c.w, 1e-6 * c.w) << c.x;
    }
}

TEST(LambertVariants, GuardedArguments) {
    EXPECT_EQ(omegaw(-5.0), 0.0);
    EXPECT_EQ(omegaw(0.0), 0.0);
    EXPECT_EQ(omgaw(-5.0), 0.0);
    EXPECT_EQ(w(-1.0), 0.0);
    EXPECT_EQ(w(1e-7), 0.999998 * 1e-7);
    EXPECT_EQ(wtwo(5e-7), 0.999998 * 5e-7);
    EXPECT_EQ(operators::omega_w(1.0), omega);
    EXPECT_EQ(operators::omega_w(-0.2), 0.0);
    EXPECT_EQ(operators::omega_w(1e46), 100.0);
    EXPECT_FALSE(std::isnan(omagaw(nan)));
}

TEST(Qexp, TableAndSaturation) {
    EXPECT_EQ(operators::qexp(0.0), 1.0);
    EXPECT_EQ(operators::qexp(2.0), 7.38905609893065);
    EXPECT_EQ(operators::qexp(-2.0), 1.0 / 7.38905609893065);
    EXPECT_EQ(operators::qexp(1e-17), 1.0);
    EXPECT_EQ(operators::qexp(nan), 1.0);
    EXPECT_EQ(operators::qexp(75.0), 1e32);
    EXPECT_EQ(operators::qexp(-75.0), 1e-32);
    EXPECT_EQ(operators::qexp(-1e20), 1e-32);
    EXPECT_EQ(operators::qexp(50.0), std::exp(50.0));
    EXPECT_EQ(operators::qexp(-50.0), std::exp(-50.0));
}

TEST(Qexp, HugeNegativeArgumentsGiveTheSmallValue) {
    // So large that adding 1e16 changes nothing: saturate by sign.
    EXPECT_EQ(operators::qexp(-1e40), 1e-32);
    EXPECT_EQ(operators::qexp(-inf), 1e-32);
    EXPECT_EQ(operators::qexp(1e40), 1e32);
    EXPECT_EQ(operators::qexp(inf), 1e32);
}

TEST(Qexp, SquaringStepValues) {
    // Reference values of the table-and-squaring rule, worked out separately.
    EXPECT_DOUBLE_EQ(operators::qexp(0.5), 1.6487212717235757);
    EXPECT_DOUBLE_EQ(operators::qexp(-2.5), 0.08208499857294434);
    EXPECT_DOUBLE_EQ(operators::qexp(10.3), 29732.61885688164);
    for (double x : {0.25, 1.7, -3.3, 12.9, 39.5}) EXPECT_NEAR(operators::qexp(x) / std::exp(x), 1.0, 1e-8) << x;
}

TEST(Aln, LogarithmOfTheMagnitude) {
    EXPECT_EQ(operators::aln(0.0), -36.0);
    EXPECT_EQ(operators::aln(1e-17), -36.0);
    EXPECT_EQ(operators::aln(1e16), 36.0);
    EXPECT_EQ(operators::aln(nan), -36.0);
    EXPECT_EQ(operators::aln(inf), 36.0);
    EXPECT_EQ(operators::aln(-inf), 36.0);
    EXPECT_NEAR(operators::aln(-e_value), 1.0, 1e-8);
    for (double x : {1e-10, 0.001, 0.5, 2.0, 10.0, 1e10}) EXPECT_NEAR(operators::aln(x), std::log(x), 1e-8) << x;
}

TEST(Sqroot, SignedRootWithTinyGuard) {
    EXPECT_EQ(operators::sqroot(-4.0), -2.0);
    EXPECT_EQ(operators::sqroot(9.0), 3.0);
    EXPECT_EQ(operators::sqroot(1e-40), 0.0);
    EXPECT_EQ(operators::sqroot(-1e-40), 0.0);
    EXPECT_TRUE(std::isnan(operators::sqroot(nan)));
}

TEST(Powers, RepeatedSquaring) {
    EXPECT_EQ(operators::pwri(2.0, 10), 1024.0);
    EXPECT_EQ(operators::pwri(2.0, -2), 0.25);
    EXPECT_EQ(operators::pwri(-3.0, 3), -27.0);
    EXPECT_EQ(operators::pwri(7.0, 0), 1.0);
    EXPECT_EQ(operators::pwri(1.0, std::numeric_limits<std::int32_t>::min()), 1.0);
}

TEST(Powers, Rpwrr) {
    EXPECT_EQ(operators::rpwrr(2.0, 3.0), 8.0);
    EXPECT_EQ(operators::rpwrr(-2.0, 3.0), -8.0);
    EXPECT_EQ(operators::rpwrr(-2.0, -2.0), 0.25);
    EXPECT_NEAR(operators::rpwrr(4.0, 0.5), 2.0, 1e-8);
    EXPECT_NEAR(operators::rpwrr(8.0, -1.0 / 3.0), 0.5, 1e-8);
    EXPECT_EQ(operators::rpwrr(5.0, 0.0), 1.0);
    EXPECT_EQ(operators::rpwrr(0.0, 2.0), 0.0);
    EXPECT_EQ(operators::rpwrr(1e20, 5.0), huge_value);
    EXPECT_EQ(operators::rpwrr(-1e20, 5.0), -huge_value);
    EXPECT_EQ(operators::rpwrr(1e-20, 5.0), tiny);
    EXPECT_EQ(operators::rpwrr(2.0, 1e20), huge_value);
    EXPECT_EQ(operators::rpwrr(2.0, nan), 1.0);
    EXPECT_EQ(operators::rpwrr(nan, 2.0), 1.0);
}

TEST(Powers, Dpwr) {
    EXPECT_NEAR(operators::dpwr(2.0, 10.0), 1024.0, 1e-5);
    EXPECT_NEAR(operators::dpwr(-2.0, 0.5), std::sqrt(2.0), 1e-8);
    EXPECT_EQ(operators::dpwr(3.0, 0.0), 1.0);
    EXPECT_EQ(operators::dpwr(0.0, 2.0), 0.0);
    EXPECT_EQ(operators::dpwr(10.0, 1000.0), std::exp(65.0));
    EXPECT_EQ(operators::dpwr(10.0, -1000.0), std::exp(-65.0));
    EXPECT_EQ(operators::dpwr(10.0, 50.0), huge_value);  // qexp saturates from 70 on
    EXPECT_EQ(operators::dpwr(nan, 2.0), 1.0);
}

TEST(Powers, CubeRoot) {
    EXPECT_NEAR(operators::cuberoot(-27.0), -3.0, 1e-14);
    EXPECT_NEAR(operators::cuberoot(8.0), 2.0, 1e-14);
    EXPECT_EQ(operators::cuberoot(0.0), 0.0);
}

TEST(OtherExponentials, Fxp) {
    EXPECT_EQ(operators::fxp(0.0), 1.0);
    EXPECT_EQ(operators::fxp(nan), 1.0);
    EXPECT_EQ(operators::fxp(100.0), 2.688117e43);
    EXPECT_EQ(operators::fxp(-100.0), 3.720076e-44);
    EXPECT_EQ(operators::fxp(60.0), std::exp(60.0));
    for (double x : {0.5, 1.0, -2.7, 15.25}) EXPECT_NEAR(operators::fxp(x) / std::exp(x), 1.0, 1e-6) << x;
}

TEST(OtherExponentials, Aexp) {
    EXPECT_EQ(operators::aexp(nan), 1.0);
    EXPECT_EQ(operators::aexp(75.0), 2.5e30);
    EXPECT_EQ(operators::aexp(-75.0), 4e-31);
    EXPECT_EQ(operators::aexp(3.0), 20.085536923187668);
    EXPECT_EQ(operators::aexp(1e-16), std::exp(1e-16));
    for (double x : {0.5, 1.25, -2.7, 15.6}) EXPECT_NEAR(operators::aexp(x) / std::exp(x), 1.0, 1e-5) << x;
}

TEST(OtherExponentials, AexpOfHugeNegativeArgumentsIsSmall) {
    EXPECT_EQ(operators::aexp(1e40), 2.5e30);
    EXPECT_EQ(operators::aexp(-1e40), 4e-31);
    EXPECT_EQ(operators::aexp(-inf), 4e-31);
}

TEST(OtherLogarithms, DlnAndLln) {
    EXPECT_EQ(operators::dln(nan), tiny);
    EXPECT_EQ(operators::dln(inf), huge_value);
    EXPECT_EQ(operators::dln(0.0), -80.0);
    EXPECT_EQ(operators::dln(3e31), 80.0);
    EXPECT_DOUBLE_EQ(operators::dln(-e_value), 1.0);
    EXPECT_EQ(operators::lln(0.0), -80.0);
    EXPECT_EQ(operators::lln(-inf), huge_value);
    EXPECT_EQ(operators::lln(100.0), std::log(100.0));
    // One correction of the series: close inside, looser at the ends of its range.
    for (double x : {0.5, 2.0, -3.0}) EXPECT_NEAR(operators::lln(x), std::log(std::fabs(x)), 1e-8) << x;
    for (double x : {0.1, 15.0}) EXPECT_NEAR(operators::lln(x), std::log(x), 1e-5) << x;
}

// The block forms against the one-value functions, bit for bit, over values
// at every guard and boundary of both (in a run longer than one chunk, with
// a short tail) and random values of many magnitudes.
TEST(BlockForms, QexpAndAlnGiveTheOneValueBits) {
    std::vector<double> x = {0.0,    -0.0,   1e-17,  -1e-17, 1e-16,   -1e-16, 2.22e-16, 2.2204e-16, 1e-300,
                             5e-324, 1.0,    -1.0,   1e-6,   1.000001, 2.0,   -2.0,     40.0,       -40.0,
                             40.5,   -40.5,  69.9,   -69.9,  70.0,    -70.0,  1e16,     -1e16,      3e32,
                             -3e32,  4.4e15, 4.5e15, -4.5e15, 4.6e15, 1e300,  -1e300,   nan,        -nan,
                             inf,    -inf,   0.5,    36.0,   -36.0,   22.0,   0.9999999999, 1.0000000001};
    std::mt19937_64 random(25);
    std::uniform_real_distribution<double> exponent(-20.0, 20.0), unit(-1.0, 1.0);
    while (x.size() < 1000) {
        const double v = unit(random) * std::pow(10.0, exponent(random));
        x.push_back(x.size() % 3 == 0 ? unit(random) * 45.0 : v);
    }
    for (const std::size_t n : {x.size(), std::size_t{70}, std::size_t{1}}) {
        std::vector<double> q(n), l(n);
        operators::qexp_rows(std::span(x).first(n), q);
        operators::aln_rows(std::span(x).first(n), l);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(q[i]), std::bit_cast<std::uint64_t>(operators::qexp(x[i]))) << x[i];
            EXPECT_EQ(std::bit_cast<std::uint64_t>(l[i]), std::bit_cast<std::uint64_t>(operators::aln(x[i]))) << x[i];
        }
    }
    // In place.
    std::vector<double> y = x;
    operators::aln_rows(y, y);
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(y[i], operators::aln(x[i])) << x[i];
}

}  // namespace
