// The driver's objective layers and its working state.

#include "run/sharc_objective.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "model/globals.h"
#include "run/sharc_fixture.h"

namespace {

using sharc::vmax;
using sharc_test::FitProblem;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(SharcMinmax, Table) {
    EXPECT_EQ(sharc::minmax(nan), 1e-15);
    EXPECT_EQ(sharc::minmax(0.0), 1e-30);
    EXPECT_EQ(sharc::minmax(-0.0), -1e-30);
    EXPECT_EQ(sharc::minmax(-1e-40), -1e-30);
    EXPECT_EQ(sharc::minmax(5.0), 5.0);
    EXPECT_EQ(sharc::minmax(-1e20), 1e15);
    EXPECT_EQ(sharc::minmax(1e40), 1e15);
    EXPECT_EQ(sharc::minmax(-2.5e-3), -2.5e-3);
}

TEST(SharcFuncs, NoModelBranchUsesTheLeastObservedValue) {
    globals::reset_run_state();
    globals::nmdl = 4000;
    common_data::fssqr = 123.0;
    common_data::yd[0] = 7.0;
    const kalvor::Matrix x(3, 1, 1.0);
    const std::vector<double> y = {3.0, 5.0, 4.0}, sig = {1.0, 1.0, 1.0};
    std::vector<double> ycalc(3, 9.0), p = {1.0};
    double f = 0.0;
    sharc_mod::funcs(x, y, ycalc, sig, 1, 3, 0, p, 1, f);
    EXPECT_EQ(ycalc, (std::vector<double>{3.0, 0.0, 0.0}));
    EXPECT_EQ(f, 41.0);
    EXPECT_EQ(common_data::fssqr, 123.0);  // nothing shared written
    EXPECT_EQ(common_data::yd[0], 7.0);

    // A NaN observation is passed over; without rows the value is 0.
    const std::vector<double> y2 = {nan, 5.0, 4.0};
    sharc_mod::funcs(x, y2, ycalc, sig, 1, 3, 0, p, 1, f);
    EXPECT_EQ(ycalc[0], 4.0);
    sharc_mod::funcs(x, y, ycalc, sig, 1, 0, 0, p, 1, f);
    EXPECT_EQ(f, 0.0);
}

TEST(SharcFuncs, KeepsTheFitDataCurrent) {
    sharc::DriverState s;
    sharc_test::set_up_fit(s, sharc_test::line_problem());
    std::vector<double> p = {1.0, 2.0};
    s.sig.assign(8, 0.5);
    double f = 0.0;
    sharc_mod::funcs(s.x, s.y, s.ycalc, s.sig, 1, 8, 0, p, 2, f);
    double expected = 0.0;
    for (int i = 0; i < 8; ++i) {
        const double yc = 1.0 + 2.0 * s.x(i, 0);
        EXPECT_DOUBLE_EQ(s.ycalc[i], yc);
        EXPECT_DOUBLE_EQ(common_data::ydf[i], yc);
        EXPECT_EQ(common_data::xnx(i, 0), s.x(i, 0));
        EXPECT_EQ(common_data::xd[i], s.x(i, 0));
        EXPECT_EQ(common_data::yd[i], s.y[i]);
        EXPECT_EQ(common_data::ysig[i], 0.5);  // the caller's sigma, not the weights
        expected += (s.y[i] - yc) * (s.y[i] - yc);
    }
    EXPECT_NEAR(f, expected, 1e-12);
    EXPECT_EQ(common_data::fssqr, f);
    EXPECT_EQ(common_data::pfinal[0], 1.0);
    EXPECT_EQ(common_data::pfinal[1], 2.0);
}

TEST(SharcFuncs, ObjectiveGuard) {
    // Ten rows of residual 1e7: 1e15 stays; a hundred rows: 1e16 becomes vmax.
    for (const auto& [rows, expected] : {std::pair{10, 1e15}, std::pair{100, vmax}}) {
        sharc::DriverState s;
        FitProblem problem;
        problem.formula = "P1+0*X1";
        problem.x.assign(static_cast<std::size_t>(rows), 1.0);
        problem.y.assign(static_cast<std::size_t>(rows), 0.0);
        problem.p = {1e7};
        problem.lo = {-1e8};
        problem.hi = {1e8};
        sharc_test::set_up_fit(s, problem);
        double f = 0.0;
        sharc::f1dim(s, problem.p, 1, f);
        EXPECT_EQ(f, expected) << rows;
    }
}

TEST(SharcFunc, NaNObservationCountsAsVmaxForOneEvaluation) {
    sharc::DriverState s;
    sharc_test::set_up_fit(s, sharc_test::line_problem());
    s.y[3] = nan;
    std::vector<double> p = {0.0, 2.0};
    double f = 0.0;
    sharc::func(s, p, 2, f);
    EXPECT_EQ(f, vmax);
    EXPECT_TRUE(std::isnan(s.y[3]));  // the driver's Y is not changed
    for (double v : s.ycalc) EXPECT_TRUE(std::isfinite(v));
}

TEST(SharcFunc, InvalidModelValuesGiveAFiniteObjective) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.formula = "LOG(P1*X1)";
    problem.p = {-1.0};
    sharc_test::set_up_fit(s, problem);
    double f = 0.0;
    sharc::f1dim(s, problem.p, 1, f);
    EXPECT_TRUE(std::isfinite(f));
    EXPECT_GT(f, 0.0);
}

// Every fit keeps its bounds: bounded or not (first or second fit), Start
// or Restart.
TEST(SharcFunc, BoundMappingInEveryFit) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.lo = {-1.0, 0.0};
    problem.hi = {1.0, 1.5};
    sharc_test::set_up_fit(s, problem);
    const std::vector<double> outside = {0.5, 3.0};

    for (const auto& [bounded, restart] : {std::pair{1, 0}, std::pair{0, 0}, std::pair{1, 1}, std::pair{0, 1}}) {
        s.bounded = bounded;
        globals::bpostrun = restart;
        std::vector<double> p = outside;
        double f = 0.0;
        sharc::func(s, p, 2, f);
        EXPECT_EQ(p[0], 0.5) << bounded << restart;
        EXPECT_GT(p[1], 0.0) << bounded << restart;
        EXPECT_LT(p[1], 1.5) << bounded << restart;
        EXPECT_EQ(common_data::pfinal[1], p[1]);
        double f_mapped = 0.0;
        sharc::f1dim(s, outside, 2, f_mapped);
        EXPECT_EQ(f_mapped, f);
        EXPECT_EQ(outside, (std::vector<double>{0.5, 3.0}));  // f1dim leaves its argument alone
    }
    globals::bpostrun = 0;
}

TEST(SharcF1dim, CallbackAndRowValue) {
    sharc::DriverState s;
    sharc_test::set_up_fit(s, sharc_test::line_problem());
    const std::vector<double> p = {1.0, 2.0};
    double f1 = 0.0, f2 = 0.0, yi = 0.0;
    sharc::f1dim(s, p, 2, f1);
    sharc::f1dim2(s, 4, p, yi, f2, 2);
    EXPECT_EQ(f1, f2);
    EXPECT_DOUBLE_EQ(yi, 11.0);
    const kalvor::Objective objective = sharc::f1dim_objective(s);
    double f3 = 0.0;
    objective(p, 2, f3);
    EXPECT_EQ(f3, f1);
}

TEST(SharcState, LevelSchedule) {
    const auto check = [](int iopt, int hooke, int evol, int trials) {
        const sharc::LevelSchedule sc = sharc::LevelSchedule::for_level(iopt);
        EXPECT_EQ(sc.hooke_cap, hooke) << iopt;
        EXPECT_EQ(sc.evol_generations, evol) << iopt;
        EXPECT_EQ(sc.hitnrun_trials, trials) << iopt;
    };
    check(1, 100, 250, 30);
    check(2, 150, 350, 40);
    check(3, 250, 350, 60);
    check(-1, 100, 250, 50);
    check(0, 100, 250, 50);
    check(4, 100, 250, 50);
}

TEST(SharcState, AcceptAndReject) {
    sharc::DriverState s;
    const std::vector<double> lo = {0, 0}, hi = {9, 9};
    const std::vector<int> mask = {1, 1};
    s.set_parameters(std::vector<double>{1.0, 2.0}, mask, lo, hi, 2);
    s.lowest = 10.0;
    s.p = {3.0, 4.0};
    s.slot = 12.0;
    s.reject();
    EXPECT_EQ(s.p, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(s.slot, 10.0);
    s.p = {5.0, 6.0};
    s.accept(8.0);
    EXPECT_EQ(s.kept, (std::vector<double>{5.0, 6.0}));
    EXPECT_EQ(s.lowest, 8.0);
    EXPECT_EQ(s.history[4], vmax);
}

}  // namespace
