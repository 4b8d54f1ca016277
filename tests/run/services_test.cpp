// The fitting driver with the optimiser services installed: Example 1 at
// every level through every service, the adapters' own rules, and Cancel
// pressed while a service works.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/globals.h"
#include "run/cascade.h"
#include "run/seam_fixture.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace {

using sharc_test::Report;

class InstalledServices : public sharc_test::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        install();
    }
};

// The least-squares optimum, computed independently by Gauss-Newton
// iteration to convergence: P1 = 32.4983202, P2 = 136.9477322, sum of
// squares 1321.9226819.  Unbounded fits open every refinement cycle with
// the evolution, bounded ones only at level 3.
TEST_F(InstalledServices, ExampleOneReachesItsOptimumAtEveryLevel) {
    for (const int bounded : {0, 1}) {
        for (const int level : {1, 2, 3}) {
            SCOPED_TRACE("bounded " + std::to_string(bounded) + ", level " + std::to_string(level));
            sharc_test::Repeatable repeatable;
            reports.clear();
            globals::bcancelrun = 0;
            globals::iopt = level;
            auto a = sharc_test::example1();
            a.cap_plus_one = 95;
            a.bounded = bounded;
            ASSERT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
            EXPECT_NEAR(a.p[0], 32.49832, 5e-6);
            EXPECT_NEAR(a.p[1], 136.94773, 5e-6);
            EXPECT_NEAR(a.ssq, 1321.9226819, 1e-5);

            ASSERT_FALSE(reports.empty());
            EXPECT_EQ(reports.front().stage, "tunnelsearch");
            EXPECT_GT(count("gn_main"), 0);
            EXPECT_EQ(count("evol") > 0, bounded == 0 || level == 3);
            EXPECT_EQ(count("a23mrt") > 0, level == 3);
            if (level >= 2) {
                EXPECT_GT(count("va10b"), 0);
                EXPECT_GT(count("varmetric"), 0);
            }
            // Unit weights: the driver judges the stage on the same sum of
            // squares as the optimiser, which never returns a point worse
            // than its start.
            const auto sqp = of("vmsqp");
            EXPECT_GE(sqp.size(), 2u);
            for (const Report& r : sqp) EXPECT_LE(r.value, r.lowest * (1.0 + 1e-12));
            // The Levenberg-Marquardt service ran on the optimum and stayed
            // on it (to rounding).
            const auto marq = of("marq");
            ASSERT_EQ(marq.size(), 1u);
            EXPECT_NEAR(marq[0].value / marq[0].lowest, 1.0, 1e-12);
            // The residual bootstrap's band around the fitted curve.
            for (std::size_t i = 0; i < 20; ++i) {
                const double model = a.p[1] * a.x(i, 0) / (a.p[0] + a.x(i, 0));
                EXPECT_NEAR(common_data::ydf[i], model, 1e-9);
                EXPECT_EQ(common_data::yd[i], a.y[i]);
                EXPECT_LT(common_data::ybs_lcl[i], model);
                EXPECT_GT(common_data::ybs_ucl[i], model);
                EXPECT_EQ(common_data::ybs_mean[i], a.ycalc[i]);
            }
        }
    }
}

TEST_F(InstalledServices, AHeldParameterStaysHeldThroughTheLevenbergMarquardtService) {
    sharc_test::Repeatable repeatable;
    auto a = sharc_test::example1();
    a.mask = {0, 1};
    a.p = {30.0, 100.0};
    ASSERT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_EQ(a.p[0], 30.0);
    const auto marq = of("marq");
    ASSERT_EQ(marq.size(), 1u);
    EXPECT_LE(marq[0].value, marq[0].lowest * (1.0 + 1e-12));
}

TEST_F(InstalledServices, TheGaussNewtonStatusIsZeroUnlessTheSolverDidNotRun) {
    sharc::DriverState s;
    const auto rosenbrock = sharc_test::rosenbrock_problem();
    sharc_test::set_up_fit(s, rosenbrock);
    std::vector<double> p = rosenbrock.p;
    double value = 24.2;
    int status = -1;
    const auto gauss_newton = cascade::services().gn_main;
    gauss_newton(2, 2, p, value, status);
    EXPECT_EQ(status, 0);  // an exact fit, a code of 8 or more in the solver
    EXPECT_NEAR(p[0], 1.0, 1e-6);
    EXPECT_NEAR(p[1], 1.0, 1e-6);

    gauss_newton(0, 2, p, value, status);
    EXPECT_EQ(status, 128);
}

// ---- Cancel pressed while a service works: the stage runs to its end and
// is judged, and no later stage starts ----

TEST_F(InstalledServices, CancelInsideTheTunnelSearchLetsItFinishAndNothingFollows) {
    globals::iopt = 3;
    auto& sv = cascade::services();
    const auto real = sv.tunnelsearch;
    int tunnel_calls = 0, descents = 0, later = 0;
    sv.tunnelsearch = [&](const kalvor::Objective& f, int k, std::span<double> p, double& value,
                          std::span<double> lo, std::span<double> hi, std::span<const int> mask) {
        if (tunnel_calls++ == 0) globals::bcancelrun = 1;
        real(f, k, p, value, lo, hi, mask);
    };
    const auto adam = sv.adam;
    sv.adam = [&](const kalvor::Objective& f, int k, int n, std::span<double> p, std::span<const int> mask,
                  std::span<double> lo, std::span<double> hi, int& work, double& value) {
        ++descents;
        adam(f, k, n, p, mask, lo, hi, work, value);
    };
    sv.marq = [&](cascade::MarqCall&) { ++later; };
    auto a = sharc_test::example1();
    a.cap_plus_one = 95;
    a.bounded = 1;
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    EXPECT_EQ(tunnel_calls, 2);
    EXPECT_EQ(descents, 1);
    EXPECT_EQ(later, 0);
    EXPECT_EQ(stages(), (std::vector<std::string>{"tunnelsearch"}));
}

TEST_F(InstalledServices, CancelDuringTheVariableMetricStageEndsTheFitAtTheNextPoll) {
    sharc_test::Repeatable repeatable;
    const auto installed = cascade::services().va10b;
    cascade::services().va10b = [&](int n, int k, std::span<double> p, double& value, std::span<double> h, int flag,
                                    int mode, int limit, int& code) {
        installed(n, k, p, value, h, flag, mode, limit, code);
        globals::bcancelrun = 1;
    };
    auto a = sharc_test::example1();
    a.bounded = 1;
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().stage, "va10b");
    EXPECT_EQ(count("va10b"), 1);
    EXPECT_EQ(count("varmetric"), 0);
    EXPECT_EQ(a.ssq, std::min(reports.back().value, reports.back().lowest));
    EXPECT_EQ(common_data::fssqr, a.ssq);
}

TEST_F(InstalledServices, CancelDuringTheSequentialQuadraticStageEndsTheFitAtTheNextPoll) {
    sharc_test::Repeatable repeatable;
    const auto sqp = cascade::services().vmsqp;
    int calls = 0;
    cascade::services().vmsqp = [&](cascade::VmsqpCall& c) {
        ++calls;
        sqp(c);
        globals::bcancelrun = 1;
    };
    auto a = sharc_test::example1();
    a.cap_plus_one = 95;
    a.bounded = 1;
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    EXPECT_EQ(calls, 1);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().stage, "vmsqp");
    EXPECT_GT(a.ssq, 0.0);
    EXPECT_LE(a.ssq, reports.back().lowest);
}

TEST_F(InstalledServices, CancelDuringTheEvolutionEndsTheFitAfterThatStage) {
    sharc_test::Repeatable repeatable;
    const auto evol = cascade::services().evol;
    int calls = 0;
    cascade::services().evol = [&](int n, int k, std::span<double> p, double& value, int& generations, int cap) {
        ++calls;
        globals::bcancelrun = 1;
        evol(n, k, p, value, generations, cap);
    };
    auto a = sharc_test::example1();
    a.cap_plus_one = 95;
    a.bounded = 0;
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    EXPECT_EQ(calls, 1);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().stage, "evol");
    EXPECT_GT(a.ssq, 0.0);
}

}  // namespace
