// The damped least-squares optimiser on models compiled into the shared fit
// data: closed-form and certified optima, bounds, held parameters, guarded
// model values, the time budget and its objective.

#include "optimizers/mrt_a23.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "optimizers/fit_fixture.h"

namespace {

using Problem = sharc_test::FitProblem;

struct Result {
    std::vector<double> p;
    double ssq = 0.0;
    int evaluations = 0;
};

Result fit(std::vector<double> p, int mode, int cap = 500) {
    Result r;
    r.ssq = -1.0;
    r.evaluations = cap;
    mrt_a23_mod::a23mrt(static_cast<int>(p.size()), p, common_data::nd, 0.001f, r.ssq, r.evaluations, 0, mode);
    r.p = p;
    return r;
}

class A23mrt : public ::testing::Test {
protected:
    void SetUp() override { optimizer_test::restart_run_clock(); }
    void TearDown() override {
        runtime::reset_hooks();
        globals::reset_run_state();
    }
};

// Rosenbrock's function as a fit of two rows: residuals -10 (P2 - P1^2)
// and -(1 - P1), so the sum of squares is 100 (P2 - P1^2)^2 + (1 - P1)^2.
Problem rosenbrock() {
    return {"1+(1-X1)*10*(P2-P1^2)+X1*(1-P1)", {0.0, 1.0}, {1.0, 1.0}, {-1.2, 1.0}};
}

TEST_F(A23mrt, SolvesRosenbrockFromTheClassicStart) {
    for (const int mode : {0, 1}) {
        sharc_test::set_up_data(rosenbrock());
        const Result r = fit({-1.2, 1.0}, mode);
        EXPECT_NEAR(r.p[0], 1.0, 1e-6) << mode;
        EXPECT_NEAR(r.p[1], 1.0, 2e-6) << mode;
        EXPECT_LT(r.ssq, 1e-12) << mode;
        EXPECT_LE(r.evaluations, 501);
    }
}

TEST_F(A23mrt, SolvesAStraightLineExactlyFarBelowItsCap) {
    sharc_test::set_up_data({"P1+P2*X1", {1, 2, 3, 4, 5, 6}, {5, 8, 11, 14, 17, 20}, {1.0, 1.0}});  // 2 + 3 x
    const Result r = fit({1.0, 1.0}, 0);
    EXPECT_NEAR(r.p[0], 2.0, 1e-9);
    EXPECT_NEAR(r.p[1], 3.0, 1e-9);
    EXPECT_LT(r.ssq, 1e-16);
    EXPECT_LT(r.evaluations, 50);
    // From the exact solution nothing improves: the start comes back.
    const Result again = fit({2.0, 3.0}, 0);
    EXPECT_EQ(again.p, (std::vector<double>{2.0, 3.0}));
    EXPECT_EQ(again.ssq, 0.0);
}

TEST_F(A23mrt, FitsAOneParameterModelToItsClosedForm) {
    const std::vector<double> x = {1, 2, 3, 4, 5}, y = {2.2, 3.9, 6.3, 7.8, 10.4};
    sharc_test::set_up_data({"P1*X1", x, y, {0.5}});
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sxy += x[i] * y[i];
        sxx += x[i] * x[i];
    }
    const double best = sxy / sxx;
    const Result r = fit({0.5}, 1);
    EXPECT_NEAR(r.p[0], best, 1e-8);
    double ssq = 0;
    for (std::size_t i = 0; i < x.size(); ++i) ssq += std::pow(y[i] - best * x[i], 2);
    EXPECT_NEAR(r.ssq, ssq, 1e-10);
}

// Misra1a from its second NIST start to the certified values.
TEST_F(A23mrt, ReachesTheCertifiedMisra1aValuesFromStartTwo) {
    const std::string dir = std::string(KALVOR_SHARED_DIR) + "/data/nist-strd/dat/";
    if (!std::filesystem::is_directory(KALVOR_SHARED_DIR)) GTEST_SKIP() << "no shared folder";
    std::ifstream in(dir + "Misra1a-s2.DAT");
    ASSERT_TRUE(in);
    std::string line;
    std::getline(in, line);
    Problem pr;
    pr.formula = line.substr(2);
    std::getline(in, line);
    std::istringstream(line) >> pr.p.emplace_back() >> pr.p.emplace_back();
    for (int k = 0; k < 3; ++k) std::getline(in, line);
    double xv = 0, yv = 0;
    while (std::getline(in, line) && std::istringstream(line) >> xv >> yv) {
        pr.x.push_back(xv);
        pr.y.push_back(yv);
    }
    ASSERT_EQ(pr.y.size(), 14u);
    ASSERT_EQ(pr.p, (std::vector<double>{250.0, 0.0005}));
    sharc_test::set_up_data(pr);
    const Result r = fit(pr.p, 1);
    EXPECT_NEAR(r.p[0] / 2.3894212918e+02, 1.0, 1e-6);
    EXPECT_NEAR(r.p[1] / 5.5015643181e-04, 1.0, 1e-6);
    EXPECT_NEAR(r.ssq / 1.2455138894e-01, 1.0, 1e-6);
}

TEST_F(A23mrt, AnActiveBoundHoldsTheSlopeAndHeldParametersStayBitIdentical) {
    // Line 2 + 3 x with the slope capped at 2.5: the best intercept for slope
    // 2.5 is mean(y) - 2.5 mean(x) = 12.5 - 8.75 = 3.75.
    const std::vector<double> x = {1, 2, 3, 4, 5, 6}, y = {5, 8, 11, 14, 17, 20};
    sharc_test::set_up_data({"P1+P2*X1", x, y, {1.0, 1.0}, {1, 1}, {-100.0, -100.0}, {100.0, 2.5}});
    Result r = fit({1.0, 1.0}, 1);
    EXPECT_EQ(r.p[1], 2.5);
    EXPECT_NEAR(r.p[0], 3.75, 1e-3);
    EXPECT_NEAR(r.ssq, 4.375, 1e-5);  // residuals -1.25, -0.75, ..., 1.25

    const double held = 0.1234567890123457;
    sharc_test::set_up_data({"P1+P2*X1+P3*X1^2", x, y, {1.0, 1.0, held}, {1, 1, 0}});
    r = fit({1.0, 1.0, held}, 1);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(r.p[2]), std::bit_cast<std::uint64_t>(held));
    // The rest fits y - held x^2 by a straight line.
    EXPECT_LT(r.ssq, 4.0);
}

TEST_F(A23mrt, GuardedModelValuesLeaveNoNaN) {
    // LOG and SQRT of negative arguments on part of the range.
    sharc_test::set_up_data({"P1*LOG(X1-P2)+SQRT(P2)", {0.5, 1, 2, 3, 4}, {0.1, 0.5, 1.2, 1.6, 2.0}, {1.0, 0.8}});
    const Result r = fit({1.0, 0.8}, 1);
    for (double v : r.p) EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(r.ssq));
    double ssq = 0.0;
    std::vector<double> res(5);
    mrt_a23_mod::mrtfun(2, std::vector<double>{1.0, 0.8}, res, ssq);
    EXPECT_LE(r.ssq, ssq);
}

TEST_F(A23mrt, WithEveryParameterHeldNothingIsSearched) {
    Problem pr = rosenbrock();
    pr.mask = {0, 0};
    sharc_test::set_up_data(pr);
    const Result r = fit({-1.2, 1.0}, 1);
    EXPECT_EQ(r.evaluations, 1);
    EXPECT_EQ(r.p, (std::vector<double>{-1.2, 1.0}));
    EXPECT_DOUBLE_EQ(r.ssq, 24.2);
}

TEST_F(A23mrt, AnExhaustedTimeBudgetSkipsTheIterationsAndLeavesTheRunClockAlone) {
    sharc_test::set_up_data(rosenbrock());
    double now = 5000.0;
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [&] { return now; };
    runtime::set_hooks(hooks);
    optimizer_test::restart_run_clock();
    now += 20.0;
    globals::timemax = 10.0;
    globals::totaltime = 1.5;
    const Result r = fit({-1.2, 1.0}, 0);
    EXPECT_EQ(r.evaluations, 1);
    EXPECT_EQ(r.p, (std::vector<double>{-1.2, 1.0}));
    EXPECT_DOUBLE_EQ(r.ssq, 100.0 * std::pow(1.0 - 1.44, 2) + 4.84);
    EXPECT_EQ(globals::totaltime, 1.5);
}

// In weighting mode 2 the weights follow the fitted values, so the value of
// a point must not depend on which point was evaluated before it.
TEST_F(A23mrt, TheObjectiveUsesTheWeightsOfItsOwnEvaluation) {
    Problem pr = {"P1*X1", {1, 2, 3, 4}, {1.5, 2.2, 3.1, 3.9}, {1.0}};
    pr.mode = 2;
    sharc_test::set_up_data(pr);
    std::vector<double> r(4);
    double after_small = 0, after_large = 0, other = 0;
    mrt_a23_mod::mrtfun(1, std::vector<double>{0.1}, r, other);
    mrt_a23_mod::mrtfun(1, std::vector<double>{1.0}, r, after_small);
    mrt_a23_mod::mrtfun(1, std::vector<double>{50.0}, r, other);
    mrt_a23_mod::mrtfun(1, std::vector<double>{1.0}, r, after_large);
    EXPECT_EQ(after_small, after_large);
    EXPECT_DOUBLE_EQ(r[0], 0.5);
    double sum = 0.0;
    for (std::size_t i = 0; i < 4; ++i) sum += std::pow(r[i] / common_data::ysig[i], 2);
    EXPECT_DOUBLE_EQ(after_large, sum);
}

}  // namespace
