// The robust and the plain simplex on the shared fit data.

#include "run/simplex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/sharc_fixture.h"

namespace {

using sharc_test::FitProblem;

double objective_at(const std::vector<double>& p) {
    double f = 0.0;
    simplex_robust::smplexfun(p, static_cast<int>(p.size()), f);
    return f;
}

// Seeded noise: u = 0.5 makes the start noise vanish.
struct FixedUniform {
    explicit FixedUniform(double u) {
        runtime::Hooks hooks;
        hooks.random_number = [u] { return u; };
        runtime::set_hooks(hooks);
    }
    ~FixedUniform() { runtime::reset_hooks(); }
};

TEST(SimplexCoord, RegularSimplex) {
    kalvor::Matrix c;
    simplex_proc::simplex_coord(2, c);
    ASSERT_EQ(c.rows(), 2u);
    ASSERT_EQ(c.cols(), 3u);
    const double expected[2][3] = {{0.9659, -0.2588, -0.7071}, {-0.2588, 0.9659, -0.7071}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(c(i, j), expected[i][j], 5e-5);

    // Order 4: unit vertices, centred on the origin, all edges equal.
    simplex_proc::simplex_coord(4, c);
    const auto distance = [&](int a, int b) {
        double d2 = 0.0;
        for (int i = 0; i < 4; ++i) d2 += (c(i, a) - c(i, b)) * (c(i, a) - c(i, b));
        return std::sqrt(d2);
    };
    for (int j = 0; j < 5; ++j) {
        double norm2 = 0.0;
        for (int i = 0; i < 4; ++i) norm2 += c(i, j) * c(i, j);
        EXPECT_NEAR(norm2, 1.0, 1e-12);
        for (int k = j + 1; k < 5; ++k) EXPECT_NEAR(distance(j, k), distance(0, 1), 1e-12);
    }
    for (int i = 0; i < 4; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 5; ++j) sum += c(i, j);
        EXPECT_NEAR(sum, 0.0, 1e-12);
    }
}

TEST(SimplexRobust, StartSimplexForTwoParameters) {
    // Data made from the second start vertex around (1, 1): (1 + 0.1 cos^2 15deg, 1 + 0.1 sin^2 15deg).
    const double v1 = 1.0 + 0.1 * 0.9330127018922193;
    const double v2 = 1.0 + 0.1 * 0.06698729810778066;
    sharc::DriverState s;
    FitProblem problem;
    problem.formula = "P1*X1+P2";
    problem.x = {1, 2, 3, 4};
    for (double x : problem.x) problem.y.push_back(v1 * x + v2);
    problem.p = {1.0, 1.0};
    sharc_test::set_up_fit(s, problem);
    const FixedUniform no_noise(0.5);

    std::vector<double> p = problem.p;  // start and result in one array
    double fmin = -1.0;
    int status = -1;
    simplex_robust::simplex_robust(p, p, 2, 1e30, fmin, 0, status);
    EXPECT_EQ(status, 0);
    EXPECT_NEAR(p[0], 1.0933, 1e-4);
    EXPECT_NEAR(p[1], 1.0067, 1e-4);
    EXPECT_NEAR(p[0], v1, 1e-12);
    EXPECT_NEAR(p[1], v2, 1e-12);
    EXPECT_LT(fmin, 1e-20);
}

TEST(SimplexRobust, NeverWorseThanTheReference) {
    const sharc_test::Repeatable repeatable;
    sharc::DriverState s;
    const FitProblem problem = sharc_test::decay_problem();
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p(2);
    double fmin = 0.0;
    int status = 0;
    simplex_robust::simplex_robust(problem.p, p, 2, 1e-9, fmin, 100, status);
    EXPECT_EQ(p, problem.p);
    EXPECT_EQ(fmin, 1e-9);
}

TEST(SimplexRobust, ImprovesInsideItsBounds) {
    const sharc_test::Repeatable repeatable;
    for (const double p2_high : {-0.05, -0.6}) {  // the optimum (-0.5) inside, then outside the box
        sharc::DriverState s;
        FitProblem problem = sharc_test::decay_problem();
        problem.hi[1] = p2_high;
        problem.p[1] = std::min(problem.p[1], p2_high - 0.2);
        sharc_test::set_up_fit(s, problem);
        const double f0 = objective_at(problem.p);
        std::vector<double> p(2);
        double fmin = 0.0;
        int status = -1;
        simplex_robust::simplex_robust(problem.p, p, 2, f0, fmin, 500, status);
        EXPECT_LT(fmin, 0.1 * f0) << p2_high;
        EXPECT_TRUE(sharc_test::inside(p, problem.lo, problem.hi)) << p[0] << " " << p[1];
        EXPECT_NEAR(fmin, objective_at(p), 1e-12 * f0);
        if (p2_high == -0.05) {
            EXPECT_NEAR(p[0], 2.0, 0.05);
            EXPECT_NEAR(p[1], -0.5, 0.02);
            EXPECT_EQ(status, 1);
        }
    }
}

TEST(SimplexRobust, HeldParameterStaysAndTheValueBelongsToTheResult) {
    const sharc_test::Repeatable repeatable;
    sharc::DriverState s;
    FitProblem problem = sharc_test::decay_problem();
    problem.mask = {1, 0};
    problem.p = {1.2, -0.45};
    sharc_test::set_up_fit(s, problem);
    const double f0 = objective_at(problem.p);
    std::vector<double> p(2);
    double fmin = 0.0;
    int status = 0;
    simplex_robust::simplex_robust(problem.p, p, 2, f0, fmin, 300, status);
    EXPECT_EQ(p[1], -0.45);
    EXPECT_LT(fmin, f0);
    EXPECT_NEAR(fmin, objective_at(p), 1e-12 * f0);
}

TEST(SimplexRobust, ZeroStartCoordinateStaysZero) {
    const sharc_test::Repeatable repeatable;
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.formula = "P1*X1+P2";
    problem.p = {1.5, 0.0};
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p(2);
    double fmin = 0.0;
    int status = 0;
    simplex_robust::simplex_robust(problem.p, p, 2, 1e30, fmin, 50, status);
    EXPECT_EQ(p[1], 0.0);
    EXPECT_NEAR(p[0], 2.0, 0.05);
}

TEST(SimplexProc, ImprovesAndNeverWorsens) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.p = {0.5, 1.5};
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p = problem.p;
    double f = objective_at(p);
    const double f0 = f;
    simplex_proc::simplex_proc(p, 2, f, 0.1);
    EXPECT_LT(f, f0);
    EXPECT_NEAR(f, 0.1947619047619044, 1e-5);
    EXPECT_NEAR(f, objective_at(p), 1e-12);

    std::vector<double> q = problem.p;
    double low = 1e-3;
    simplex_proc::simplex_proc(q, 2, low, 0.1, 100);
    EXPECT_EQ(q, problem.p);
    EXPECT_EQ(low, 1e-3);
}

}  // namespace
