// The driver's Gauss-Newton step and its chi-square value.

#include "run/gnsearch.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/globals.h"
#include "run/sharc_fixture.h"
#include "run/sharc_objective.h"

namespace {

using sharc_test::FitProblem;

// Least-squares line of the line problem (worked out separately).
constexpr double line_a = 0.03571428571428292;
constexpr double line_b = 1.9976190476190478;
constexpr double line_sse = 0.1947619047619044;

double value_at(sharc::DriverState& s, const std::vector<double>& p) {
    double f = 0.0;
    sharc::f1dim(s, p, static_cast<int>(p.size()), f);
    return f;
}

TEST(Gnllsqr, OneStepSolvesALinearModelFromEitherSide) {
    // From below every residual is positive, from above every one negative.
    for (const std::vector<double>& start : {std::vector<double>{0.5, 1.5}, std::vector<double>{1.0, 2.5}}) {
        sharc::DriverState s;
        FitProblem problem = sharc_test::line_problem();
        problem.p = start;
        sharc_test::set_up_fit(s, problem);
        std::vector<double> p = start;
        double f = value_at(s, p);
        sharc::gnllsqr(s, 2, p, f);
        EXPECT_NEAR(p[0], line_a, 1e-4) << start[0];
        EXPECT_NEAR(p[1], line_b, 1e-5) << start[0];
        EXPECT_NEAR(f, line_sse, 1e-8);
    }
}

TEST(Gnllsqr, HeldParameterAndBounds) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.p = {0.0, 1.5};
    problem.mask = {0, 1};
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p = problem.p;
    double f = value_at(s, p);
    sharc::gnllsqr(s, 2, p, f);
    EXPECT_EQ(p[0], 0.0);
    // Slope through the origin: sum(x y) / sum(x^2).
    double sxy = 0.0, sxx = 0.0;
    for (std::size_t i = 0; i < problem.x.size(); ++i) {
        sxy += problem.x[i] * problem.y[i];
        sxx += problem.x[i] * problem.x[i];
    }
    EXPECT_NEAR(p[1], sxy / sxx, 1e-5);

    // The new point stays inside the working bounds.
    sharc::DriverState b;
    problem = sharc_test::line_problem();
    problem.p = {0.5, 1.5};
    problem.hi = {10.0, 1.9};
    sharc_test::set_up_fit(b, problem);
    p = problem.p;
    f = value_at(b, p);
    const double f0 = f;
    sharc::gnllsqr(b, 2, p, f);
    EXPECT_LT(f, f0);
    EXPECT_LE(p[1], 1.9);
}

TEST(Gnllsqr, NoImprovementLeavesPAndF) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.p = {0.5, 1.5};
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p = problem.p;
    double f = 0.5 * line_sse;
    sharc::gnllsqr(s, 2, p, f);
    EXPECT_EQ(p, problem.p);
    EXPECT_EQ(f, 0.5 * line_sse);
}

TEST(Gnllsqr, RepeatedStepsConvergeOnANonlinearModel) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::decay_problem();
    problem.p = {1.8, -0.4};
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p = problem.p;
    double f = value_at(s, p);
    const double f0 = f;
    for (int step = 0; step < 10; ++step) sharc::gnllsqr(s, 2, p, f);
    EXPECT_LT(f, 0.05 * f0);
    EXPECT_LT(f, 0.0016);  // the disturbance alone gives 0.0015
    EXPECT_NEAR(p[0], 2.0, 0.05);
    EXPECT_NEAR(p[1], -0.5, 0.02);
    EXPECT_TRUE(sharc_test::inside(p, problem.lo, problem.hi));
}

TEST(Calcch2, ValueThroughMinmax) {
    sharc::DriverState s;
    const FitProblem problem = sharc_test::line_problem();
    sharc_test::set_up_fit(s, problem);
    EXPECT_EQ(sharc::calcch2(s, problem.p, 2), sharc::minmax(value_at(s, problem.p)));
    s.nrow = 0;
    EXPECT_EQ(sharc::calcch2(s, problem.p, 2), 1e-30);
}

}  // namespace
