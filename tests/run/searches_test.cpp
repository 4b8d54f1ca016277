// The driver's hit-and-run searches and Hooke-Jeeves.

#include "run/searches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "model/globals.h"
#include "run/sharc_fixture.h"
#include "run/sharc_objective.h"

namespace {

using sharc_test::FitProblem;

double value_at(sharc::DriverState& s, const std::vector<double>& p) {
    double f = 0.0;
    sharc::f1dim(s, p, static_cast<int>(p.size()), f);
    return f;
}

std::vector<double> pool_values() {
    std::vector<double> pool(sharc::pool_size);
    for (int i = 0; i < sharc::pool_size; ++i) pool[i] = (37 * i % 61) / 61.0;
    return pool;
}

// The decay problem with its optimum (p2 = -0.5) inside or outside the box.
FitProblem decay(double p2_high, int bounded = 1) {
    FitProblem problem = sharc_test::decay_problem();
    problem.hi[1] = p2_high;
    problem.p[1] = std::min(problem.p[1], p2_high - 0.2);  // start inside the box
    problem.bounded = bounded;
    return problem;
}

TEST(Hitnrun, ImprovesInsideItsBoundsAndMovesEveryCoordinate) {
    const sharc_test::Repeatable repeatable;
    for (const double p2_high : {-0.05, -0.6}) {
        sharc::DriverState s;
        const FitProblem problem = decay(p2_high);
        sharc_test::set_up_fit(s, problem);
        std::vector<double> pool = pool_values();
        std::vector<double> p = problem.p;  // start and result in one array
        double f = value_at(s, p);
        const double f0 = f;
        int nacc = 0;
        sharc::hitnrun(s, 2, p, p, pool, nacc, f, 0.5, 30);
        EXPECT_LT(f, 0.1 * f0) << p2_high;
        EXPECT_GT(nacc, 0);
        EXPECT_TRUE(sharc_test::inside(p, problem.lo, problem.hi)) << p[0] << " " << p[1];
        EXPECT_NE(p[0], problem.p[0]);
        EXPECT_NE(p[1], problem.p[1]);
        EXPECT_DOUBLE_EQ(f, value_at(s, p));
        for (double v : pool) {
            EXPECT_GE(v, 0.05);
            EXPECT_LE(v, 0.95);
        }
    }
}

TEST(Hitnrun, HeldParametersNeverMove) {
    const sharc_test::Repeatable repeatable;
    sharc::DriverState s;
    FitProblem problem = decay(-0.05);
    problem.mask = {1, 0};
    sharc_test::set_up_fit(s, problem);
    std::vector<double> pool = pool_values(), p(2);
    double f = value_at(s, problem.p);
    const double f0 = f;
    int nacc = 0;
    sharc::hitnrun(s, 2, problem.p, p, pool, nacc, f, 0.5, 20);
    EXPECT_EQ(p[1], problem.p[1]);
    EXPECT_LT(f, f0);

    // Nothing active: p0 and its value come back.
    common_data::pmask = {};
    f = f0;
    sharc::hitnrun(s, 2, problem.p, p, pool, nacc, f, 0.5, 20);
    EXPECT_EQ(p, problem.p);
    EXPECT_EQ(f, f0);
    EXPECT_EQ(nacc, 0);
}

// hitnrun2 from the start of the decay problem; f0 = the start value.
struct Hitnrun2Run {
    std::vector<double> p = std::vector<double>(2);
    double f = 0.0, f0 = 0.0;
    int nacc = 0;
};
Hitnrun2Run run_hitnrun2(sharc::DriverState& s, const FitProblem& problem, int trials) {
    sharc_test::set_up_fit(s, problem);
    Hitnrun2Run run;
    run.f = run.f0 = value_at(s, problem.p);
    sharc::hitnrun2(s, 2, problem.p, run.p, run.nacc, run.f, 0.1, trials);
    return run;
}

TEST(Hitnrun2, ImprovesInsideItsBoundsOrLeavesTheStart) {
    const sharc_test::Repeatable repeatable;
    for (const double p2_high : {-0.05, -0.6}) {
        sharc::DriverState s;
        const FitProblem problem = decay(p2_high);
        const Hitnrun2Run run = run_hitnrun2(s, problem, 40);
        EXPECT_LT(run.f, 0.1 * run.f0) << p2_high;
        EXPECT_GT(run.nacc, 0);
        EXPECT_TRUE(sharc_test::inside(run.p, problem.lo, problem.hi)) << run.p[0] << " " << run.p[1];
        EXPECT_DOUBLE_EQ(run.f, value_at(s, run.p));
    }
    sharc::DriverState s;
    const FitProblem problem = decay(-0.05);
    sharc_test::set_up_fit(s, problem);
    std::vector<double> p(2);
    double f = 1e-12;
    int nacc = 0;
    sharc::hitnrun2(s, 2, problem.p, p, nacc, f, 0.1, 10);
    EXPECT_EQ(p, problem.p);
    EXPECT_EQ(f, 1e-12);
}

TEST(Hitnrun2, NeitherOfTwoParametersIsLockedOut) {
    // Each coordinate step picks a coordinate other than the previous one;
    // with two parameters they take turns, and every run gets close to the
    // optimum.
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const sharc_test::Repeatable numbers(seed);
        sharc::DriverState s;
        const Hitnrun2Run run = run_hitnrun2(s, decay(-0.05), 40);
        EXPECT_LT(run.f, 0.02 * run.f0) << seed;
    }
}

TEST(Hooke, ImprovesInsideItsBounds) {
    const sharc_test::Repeatable repeatable;
    for (const int bounded : {0, 1})
        for (const double p2_high : {-0.05, -0.6}) {
            sharc::DriverState s;
            const FitProblem problem = decay(p2_high, bounded);
            sharc_test::set_up_fit(s, problem);
            std::vector<double> p = problem.p;
            double f = value_at(s, p);
            const double f0 = f;
            sharc::hooke(s, 2, p, p, problem.lo, problem.hi, f, 0.6, 1e-6, 150);
            EXPECT_LT(f, 0.1 * f0) << p2_high;
            EXPECT_TRUE(sharc_test::inside(p, problem.lo, problem.hi)) << p[0] << " " << p[1];
            EXPECT_DOUBLE_EQ(f, value_at(s, p));
            if (p2_high == -0.05) {
                EXPECT_NEAR(p[0], 2.0, 0.05);
                EXPECT_NEAR(p[1], -0.5, 0.02);
            } else {
                EXPECT_NEAR(p[1], -0.6, 1e-5);  // pressed against the bound
            }
        }
}

TEST(Hooke, EdgeCases) {
    const sharc_test::Repeatable repeatable;
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.formula = "P1*X1+P2";
    problem.p = {1.0, 0.0};
    sharc_test::set_up_fit(s, problem);

    // itermax 0: one evaluation of p0, which comes back with the lower value.
    std::vector<double> p(2);
    double f = 1e30;
    sharc::hooke(s, 2, problem.p, p, s.alobnd, s.ahibnd, f, 0.6, 1e-6, 0);
    EXPECT_EQ(p, problem.p);
    EXPECT_EQ(f, value_at(s, problem.p));
    double low = 1e-9;
    sharc::hooke(s, 2, problem.p, p, s.alobnd, s.ahibnd, low, 0.6, 1e-6, 0);
    EXPECT_EQ(low, 1e-9);

    // A coordinate that starts at 0 moves with the step rho.
    f = 1e30;
    sharc::hooke(s, 2, problem.p, p, s.alobnd, s.ahibnd, f, 0.6, 1e-6, 200);
    EXPECT_NEAR(p[0], 1.9976190476190478, 1e-3);
    EXPECT_NEAR(p[1], 0.03571428571428292, 1e-2);

    // A held coordinate stays.
    common_data::pmask[1] = 0;
    f = 1e30;
    sharc::hooke(s, 2, problem.p, p, s.alobnd, s.ahibnd, f, 0.6, 1e-6, 200);
    EXPECT_EQ(p[1], 0.0);
}

}  // namespace
