#include "foundations/distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// Reference values below come from independent high-precision calculations
// (regularised incomplete beta and Student t by quadrature and bisection) or
// from the published tables.

namespace d = distributions;

TEST(Distributions, LogGammaAndLogBeta) {
    // The series carries a constant 1.39e-8 above ln sqrt(2 pi).
    EXPECT_NEAR(d::dlngam(5.0), std::log(24.0), 2e-8);
    EXPECT_NEAR(d::dlngam(0.5), 0.5723649429247004, 2e-8);
    EXPECT_NEAR(d::dlngam(30.7), 73.63438504676965, 2e-8);
    EXPECT_NEAR(d::dlnbta(2.0, 3.0), std::log(1.0 / 12.0), 3e-8);
}

TEST(Distributions, IncompleteBetaRatio) {
    EXPECT_NEAR(d::betain(0.5, 2.0, 3.0), 11.0 / 16.0, 1e-8);
    EXPECT_NEAR(d::betain(0.3, 2.5, 4.0), 0.352197585906767, 1e-8);
    EXPECT_NEAR(d::betain(0.9, 3.0, 1.5), 0.877659383022236, 1e-8);
    EXPECT_EQ(d::betain(0.0, 2.0, 3.0), 0.0);
    EXPECT_EQ(d::betain(1.0, 2.0, 3.0), 1.0);
    EXPECT_TRUE(std::isnan(d::betain(1.5, 2.0, 3.0)));
    EXPECT_TRUE(std::isnan(d::betain(0.5, 0.0, 3.0)));
}

TEST(Distributions, InverseIncompleteBeta) {
    EXPECT_NEAR(d::xinbta(0.9, 2.5, 4.0), 0.630181525096656, 1e-7);
    EXPECT_NEAR(d::xinbta(0.2, 0.5, 0.7), 0.0619995745990436, 1e-7);
    for (double alpha : {0.01, 0.3, 0.5, 0.77, 0.999}) {
        const double x = d::xinbta(alpha, 3.0, 7.5);
        EXPECT_NEAR(d::betain(x, 3.0, 7.5), alpha, 1e-7) << alpha;
    }
    EXPECT_EQ(d::xinbta(0.0, 2.0, 3.0), 0.0);
    EXPECT_EQ(d::xinbta(1.0, 2.0, 3.0), 1.0);
}

TEST(Distributions, FValues) {
    EXPECT_NEAR(d::fvalue(0.05, 3.0, 10.0), 3.708264819046843, 1e-5);
    EXPECT_NEAR(d::fvalue(0.01, 4.0, 20.0), 4.430690161437774, 1e-5);
    EXPECT_EQ(d::fvalue(1.0, 4.0, 20.0), 0.0);
}

TEST(Distributions, GuardedExponential) {
    EXPECT_EQ(d::e(-739.0), 0.0);
    EXPECT_DOUBLE_EQ(d::e(1.0), std::exp(1.0));
}

TEST(Distributions, StudentDistributionFunction) {
    EXPECT_NEAR(d::probst(2.228, 10), 0.97499, 5e-6);
    EXPECT_NEAR(d::probst(2.228, 10), 0.974994114091444, 1e-9);
    EXPECT_NEAR(d::probst(1.5, 7), 0.911350756505015, 1e-9);
    EXPECT_NEAR(d::probst(-0.8, 4), 0.234263567781115, 1e-9);
    EXPECT_NEAR(d::probst(3.0, 1), 0.5 + std::atan(3.0) / 3.141592653589793, 1e-10);
    for (int df = 1; df <= 40; ++df) EXPECT_EQ(d::probst(0.0, df), 0.5) << df;
    EXPECT_EQ(d::probst(1.0, 0), 0.0);
    EXPECT_EQ(d::probst(1e200, 3), 1.0);
    EXPECT_EQ(d::probst(-1e200, 4), 0.0);
}

TEST(Distributions, PValueOfAnEstimate) {
    double p = 0.0, se = 0.1;
    int isig = -1;
    d::ppval(p, isig, 3, 3, 5.0, se);  // no degrees of freedom
    EXPECT_EQ(p, 1.0);
    EXPECT_EQ(isig, 0);

    se = 0.0;
    d::ppval(p, isig, 2, 12, 0.0, se);
    EXPECT_EQ(se, 2.2204460492503132e-20);
    EXPECT_DOUBLE_EQ(p, 0.5);
    EXPECT_EQ(isig, 0);

    se = -0.5;
    d::ppval(p, isig, 2, 12, 2.228 * 0.5, se);  // t = 2.228, 10 degrees of freedom
    EXPECT_EQ(se, 0.5);
    EXPECT_NEAR(p, 1.0 - 0.974994114091444, 1e-9);
    EXPECT_EQ(isig, 1);

    se = 1e-30;
    d::ppval(p, isig, 1, 10, 1e300, se);  // p would be 0: kept at the floor
    EXPECT_EQ(p, 2.2204460492503132e-20);
    EXPECT_EQ(isig, 1);

    se = 1.0;
    d::ppval(p, isig, 1, 10, std::nan(""), se);
    EXPECT_EQ(p, 45035997272620007424.0);
    EXPECT_EQ(isig, 0);
}

TEST(Distributions, PearsonTypeThree) {
    double p = 0.0;
    d::pvalue_t(1.96, 0.0, p);
    EXPECT_NEAR(p, 0.9750021048517796, 1e-7);
    d::pvalue_t(-1.0, 0.005, p);
    EXPECT_NEAR(p, 0.15865525393145707, 1e-7);
    d::pvalue_t(0.0, 0.0, p);
    EXPECT_NEAR(p, 0.5, 1e-7);
    d::pvalue_t(5.0, 0.0, p);
    EXPECT_NEAR(p, 0.9999997133484282, 1e-9);
    d::pvalue_t(40.0, 0.0, p);
    EXPECT_EQ(p, 1.0);
    d::pvalue_t(-40.0, 0.0, p);
    EXPECT_EQ(p, 0.0);

    // Skew 1 is a gamma distribution of shape 4: P(X <= x) = P(Y <= 4 + 2x).
    d::pvalue_t(0.5, 1.0, p);
    EXPECT_NEAR(p, 0.7349740847026383, 1e-6);
    d::pvalue_t(-0.5, 1.0, p);
    EXPECT_NEAR(p, 0.35276811121776874, 1e-6);
    d::pvalue_t(0.5, -1.0, p);
    EXPECT_NEAR(p, 0.6472318887822313, 1e-6);
    // Beyond the support edge.
    d::pvalue_t(-2.5, 1.0, p);
    EXPECT_EQ(p, 0.0);
    d::pvalue_t(2.5, -1.0, p);
    EXPECT_EQ(p, 1.0);
}

TEST(Distributions, T95Table) {
    EXPECT_EQ(d::t95(0), 2.0);
    EXPECT_EQ(d::t95(-4), 2.0);
    EXPECT_EQ(d::t95(1), 12.71);
    EXPECT_EQ(d::t95(20), 2.09);
    EXPECT_EQ(d::t95(21), 2.08);
    EXPECT_EQ(d::t95(25), 2.06);
    EXPECT_EQ(d::t95(30), 2.04);
    EXPECT_EQ(d::t95(61), 2.0);
    EXPECT_EQ(d::t95(1000000000), 2.0);
}

// The curve for 31..60 has a pole at 35; the exact quantile there is 2.030.
TEST(Distributions, T95AtThePoleIsFinite) {
    EXPECT_EQ(d::t95(35), 2.03);
    for (int df = 31; df <= 60; ++df) {
        EXPECT_TRUE(std::isfinite(d::t95(df))) << df;
        EXPECT_GE(d::t95(df), 2.0);
        EXPECT_LE(d::t95(df), 2.04);
    }
}

TEST(Distributions, TValue95SteppedThreeDecimals) {
    EXPECT_FLOAT_EQ(d::tvalue95(1), 12.711f);
    EXPECT_FLOAT_EQ(d::tvalue95(2), 4.308f);
    // Exact quantiles; a point of the 0.01 grid plus 0.005 lies at most
    // 0.005 below and 0.015 above.
    const struct { int df; double exact; } quantiles[] = {
        {3, 3.182446305283708}, {5, 2.570581835636315}, {10, 2.228138851986274},
        {30, 2.042272456301238}, {100, 1.983971518523552}};
    for (const auto& q : quantiles) {
        const float t = d::tvalue95(q.df);
        EXPECT_GE(t, q.exact - 0.006) << q.df;
        EXPECT_LE(t, q.exact + 0.016) << q.df;
        EXPECT_NEAR(t * 1000.0f, std::round(t * 1000.0f), 1e-2) << q.df;
    }
    EXPECT_EQ(d::tvalue95(0), 2.0f);
}

TEST(Distributions, CriticalNormalisedResidual) {
    double tau = 0.0;
    d::taure(20, 20, 0.05, tau);
    EXPECT_NEAR(tau, 2.785557702622926, 1e-6);
    d::taure(10, 12, 0.05, tau);
    EXPECT_NEAR(tau, 2.508867987836906, 1e-6);
    d::taure(5, 3, 0.1, tau);
    EXPECT_NEAR(tau, 1.695934711757074, 1e-6);
    d::taure(1, 8, 0.05, tau);
    EXPECT_NEAR(tau, 1.884817464819377, 1e-6);
    d::taure(1, 2, 0.05, tau);  // one degree of freedom
    EXPECT_NEAR(tau, 1.409854013930215, 1e-6);

    d::taure(7, 1, 0.05, tau);
    EXPECT_EQ(tau, 1.0);
    d::taure(7, 1, 1.0, tau);
    EXPECT_EQ(tau, 1.0);
    d::taure(7, 9, 0.0, tau);
    EXPECT_EQ(tau, 3.0);
    d::taure(7, 9, 1.0, tau);
    EXPECT_EQ(tau, 0.0);
}

// Fewer than one residual (or degree of freedom), or fewer than one
// comparison: a defined value, no square root of a negative count.
TEST(Distributions, CriticalNormalisedResidualDegenerateCounts) {
    double tau = -1.0;
    for (int n : {0, -3}) {
        d::taure(5, n, 0.05, tau);
        EXPECT_EQ(tau, 0.0) << n;
    }
    double one_comparison = 0.0;
    d::taure(1, 10, 0.05, one_comparison);
    d::taure(0, 10, 0.05, tau);
    EXPECT_EQ(tau, one_comparison);
    d::taure(-2, 10, 0.05, tau);
    EXPECT_EQ(tau, one_comparison);
}
