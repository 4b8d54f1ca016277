// The trust-region Gauss-Newton solver on compiled models and hand-set data.

#include "optimizers/gn_module.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/globals.h"
#include "optimizers/fit_fixture.h"
#include "optimizers/gn_main.h"
#include "optimizers/gn_mod.h"

namespace {

using optimizer_test::Fit;

class GaussNewton : public ::testing::Test {
protected:
    void TearDown() override { globals::reset_run_state(); }

    // Runs the solver on fit from its start with the caller's value ssq.
    std::vector<double> solve(const Fit& fit, double& ssq, int& info) {
        sharc_test::set_up_data(fit);
        std::vector<double> p = fit.p;
        gn_module::gn_main(static_cast<int>(fit.y.size()), static_cast<int>(p.size()), p, ssq, info);
        return p;
    }

    sharc_test::Repeatable draws;
};

bool exact_fit_status(int info) { return info >= gn_main::status_exact && info <= 11; }

// y = a + b x over x = -3..3.
Fit line(double a, double b, std::vector<double> start) {
    Fit fit;
    fit.formula = "P1+P2*X1";
    for (int i = -3; i <= 3; ++i) {
        fit.x.push_back(i);
        fit.y.push_back(a + b * i);
    }
    fit.p = std::move(start);
    return fit;
}

// Example 1's rows with sigmas, one of them zero, weighted by them.
Fit michaelis_menten_weighted() {
    Fit fit = optimizer_test::michaelis_menten({20.0, 100.0});
    for (std::size_t i = 0; i < fit.y.size(); ++i) fit.sig.push_back(1.0 + 0.1 * static_cast<double>(i));
    fit.sig[3] = 0.0;
    fit.mode = 1;
    return fit;
}

TEST_F(GaussNewton, RosenbrockReachesItsMinimumWithAnExactFitStatus) {
    double ssq = 24.2;  // at (-1.2, 1)
    int info = -1;
    const auto p = solve(sharc_test::rosenbrock_problem(), ssq, info);
    EXPECT_NEAR(p[0], 1.0, 1e-6);
    EXPECT_NEAR(p[1], 1.0, 1e-6);
    EXPECT_TRUE(exact_fit_status(info)) << info;
    EXPECT_LT(ssq, 1e-12);
}

TEST_F(GaussNewton, ALineIsSolvedExactlyWithinTenIterations) {
    // x symmetric about 0: the slope's residual changes sum to zero.
    Fit fit = line(2.5, -1.75, {1.0, 1.0});
    const double noise[7] = {0.3, -0.2, 0.1, 0.4, -0.5, 0.2, -0.1};
    double sy = 0.0, sxy = 0.0;
    for (std::size_t i = 0; i < 7; ++i) {
        fit.y[i] += noise[i];
        sy += fit.y[i];
        sxy += fit.x[i] * fit.y[i];
    }
    double ssq = 1e9;
    int info = -1;
    gn_mod::limit = 10;
    const auto p = solve(fit, ssq, info);
    gn_mod::limit = 200;
    EXPECT_NEAR(p[0], sy / 7.0, 1e-10);  // least squares: mean y, sum xy / sum x^2
    EXPECT_NEAR(p[1], sxy / 28.0, 1e-10);
}

TEST_F(GaussNewton, ABoundActiveAtTheOptimumHoldsAfterAFixedParameter) {
    // y = 1 + 5 x + 0.5 x^2, with P2 capped at 4 and P1 held.
    Fit fit;
    fit.formula = "P1+P2*X1+P3*X1^2";
    for (int i = 1; i <= 8; ++i) {
        fit.x.push_back(0.5 * i);
        fit.y.push_back(1.0 + 5.0 * 0.5 * i + 0.5 * 0.25 * i * i);
    }
    fit.p = {0.3, 2.0, 0.1};
    fit.mask = {0, 1, 1};
    fit.lo = {-10.0, 0.0, -10.0};
    fit.hi = {10.0, 4.0, 10.0};
    double start = optimizer_test::plain_ssq(fit, [](double x) { return 0.3 + 2.0 * x + 0.1 * x * x; });
    double ssq = start;
    int info = -1;
    const auto p = solve(fit, ssq, info);
    EXPECT_EQ(p[0], 0.3);  // bit-identical
    EXPECT_GE(p[1], 0.0);
    EXPECT_LE(p[1], 4.0);
    EXPECT_GT(p[1], 3.0);  // pressed against its bound
    EXPECT_GE(p[2], -10.0);
    EXPECT_LE(p[2], 10.0);
    EXPECT_LT(ssq, start);
    EXPECT_EQ(common_data::pfinal[0], 0.3);
}

TEST_F(GaussNewton, AStartAbove1e7OrAnOverflowingModelComesBackUnchanged) {
    double ssq = 5e30;  // the caller's value, above the solver's own cap
    int info = -1;
    auto p = solve(line(2.0, 3.0, {2000.0, 3000.0}), ssq, info);
    EXPECT_EQ(p, (std::vector<double>{2000.0, 3000.0}));
    EXPECT_EQ(ssq, 5e30);
    EXPECT_EQ(info, gn_main::status_diverged);

    Fit overflow = line(2.0, 3.0, {800.0, 1.0});
    overflow.formula = "EXP(P1*X1)+P2";
    ssq = 5e30;
    p = solve(overflow, ssq, info);
    EXPECT_EQ(p, (std::vector<double>{800.0, 1.0}));
    EXPECT_EQ(ssq, 5e30);
}

TEST_F(GaussNewton, ADivergingTrialEndsTheRunAtItsLastAcceptedPoint) {
    // y = exp(0.2 x), x = 1..20: the third trial from (1, 0.1) overshoots.
    Fit fit;
    fit.formula = "P1*EXP(P2*X1)";
    for (int i = 1; i <= 20; ++i) {
        fit.x.push_back(i);
        fit.y.push_back(std::exp(0.2 * i));
    }
    fit.p = {1.0, 0.1};
    const double start = optimizer_test::plain_ssq(fit, [](double x) { return std::exp(0.1 * x); });
    double ssq = start;
    int info = -1;
    const auto p = solve(fit, ssq, info);
    ASSERT_EQ(info, gn_main::status_diverged);
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]));
    EXPECT_NE(p, fit.p);
    EXPECT_LT(ssq, start);
    EXPECT_NEAR(ssq, optimizer_test::plain_ssq(fit, [&](double x) { return p[0] * std::exp(p[1] * x); }),
                1e-9 * ssq);
}

TEST_F(GaussNewton, AWeightedFitReturnsTheWeightedSumAtItsResult) {
    Fit fit = michaelis_menten_weighted();
    double ssq = 1e12;
    int info = -1;
    const auto p = solve(fit, ssq, info);
    // Sum of ((y - model) / sigma)^2 with a zero sigma counting as 1.
    double expected = 0.0;
    for (std::size_t i = 0; i < fit.y.size(); ++i) {
        const double sigma = fit.sig[i] == 0.0 ? 1.0 : fit.sig[i];
        const double r = (fit.y[i] - p[1] * fit.x[i] / (p[0] + fit.x[i])) / sigma;
        expected += r * r;
    }
    EXPECT_NEAR(ssq, expected, 1e-9 * expected);
    for (std::size_t i = 0; i < fit.y.size(); ++i) EXPECT_EQ(common_data::ysig[i], fit.sig[i]);
}

TEST_F(GaussNewton, AStartThatFitsExactlyEndsNormallyAndUnchanged) {
    double ssq = 2.2204460492503132e-20;
    int info = -1;
    const auto p = solve(line(2.0, 3.0, {2.0, 3.0}), ssq, info);
    EXPECT_EQ(p, (std::vector<double>{2.0, 3.0}));
    EXPECT_EQ(ssq, 2.2204460492503132e-20);
    EXPECT_TRUE(exact_fit_status(info)) << info;
}

TEST_F(GaussNewton, EveryParameterFixedOrNoRowsEndsWithoutAStep) {
    Fit fit = line(2.0, 3.0, {1.0, 1.0});
    fit.mask = {0, 0};
    double ssq = 1e3;
    int info = -1;
    auto p = solve(fit, ssq, info);
    EXPECT_EQ(info, gn_main::status_zero_normal);
    EXPECT_EQ(p, (std::vector<double>{1.0, 1.0}));

    sharc_test::set_up_data(line(2.0, 3.0, {1.0, 1.0}));
    p = {1.0, 1.0};
    gn_module::gn_main(0, 2, p, ssq, info);
    EXPECT_EQ(info, gn_main::status_input);
    EXPECT_EQ(p, (std::vector<double>{1.0, 1.0}));
}

TEST_F(GaussNewton, TheResidualCallbackLeavesTheFitDataAtItsPoint) {
    Fit fit = michaelis_menten_weighted();
    fit.mode = 2;  // relative to the fitted value: the weights change ysig inside
    sharc_test::set_up_data(fit);
    const std::vector<double> p = {30.0, 130.0};
    std::vector<double> r(fit.y.size());
    double f = 0.0;
    gn_main::gnfun(static_cast<int>(fit.y.size()), 2, p, r, f);
    double expected = 0.0;
    for (std::size_t i = 0; i < fit.y.size(); ++i) {
        const double model = 130.0 * fit.x[i] / (30.0 + fit.x[i]);
        EXPECT_NEAR(r[i], fit.y[i] - model, 1e-12);
        EXPECT_EQ(common_data::yres[i], r[i]);
        EXPECT_EQ(common_data::ysig[i], fit.sig[i]);
        expected += (r[i] / model) * (r[i] / model);
    }
    EXPECT_NEAR(f, expected, 1e-12 * expected);
    EXPECT_EQ(common_data::pfinal[1], 130.0);

    f = -1.0;
    gn_main::gnfun(0, 2, std::vector<double>{5.0, 6.0}, r, f);
    EXPECT_EQ(f, 0.0);
    EXPECT_EQ(common_data::pfinal[0], 5.0);
}

}  // namespace
