// The Gauss-Newton solver and the differential evolution through the
// cascade's seam: their status rule and a real fit of Example 1.

#include "run/optimizer_services.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace {

class Seam : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        cascade::services() = {};
        runtime::set_time_scale(0.0);
        globals::iopt = 2;
    }
    void TearDown() override {
        cascade::services() = {};
        runtime::set_time_scale(1.0);
        globals::reset_run_state();
    }

    // Example 1 (y = P2 X1 / (P1 + X1), unweighted) from (10, 100).
    sharc_mod::SharcArgs example_one() {
        const std::vector<double> x = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50,
                                       55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
        const std::vector<double> y = {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7, 80.5, 90.0,
                                       87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0};
        sharc_test::compile_model("P2*X1/(P1+X1)", 2);
        sharc_mod::SharcArgs a;
        a.n = 20;
        a.m = 1;
        a.k = 2;
        a.x = kalvor::Matrix(20, 1);
        for (std::size_t i = 0; i < 20; ++i) a.x(i, 0) = x[i];
        a.y = y;
        a.sig.assign(20, 1.0);
        a.p = {10.0, 100.0};
        a.mask = {1, 1};
        a.lo = {1e-6, 1e-6};
        a.hi = {1e6, 1e6};
        a.level = 3;
        a.cap_plus_one = 95;
        a.bounded = 0;  // every refinement cycle opens with the evolution
        return a;
    }

    void observe() {
        cascade::services().observer = [this](const cascade::StageReport& r) { stages.emplace_back(r.stage); };
    }

    int count(const std::string& stage) const {
        return static_cast<int>(std::count(stages.begin(), stages.end(), stage));
    }

    sharc_test::Repeatable repeatable;
    std::vector<std::string> stages;
};

TEST_F(Seam, TheGaussNewtonStatusIsZeroUnlessTheSolverDidNotRun) {
    sharc::DriverState s;
    sharc_test::FitProblem rosenbrock;
    rosenbrock.formula = "X1*10*(P2-P1^2)+(1-X1)*P1";
    rosenbrock.x = {1.0, 0.0};
    rosenbrock.y = {0.0, 1.0};
    rosenbrock.p = {-1.2, 1.0};
    sharc_test::set_up_fit(s, rosenbrock);
    std::vector<double> p = rosenbrock.p;
    double value = 24.2;
    int status = -1;
    optimizer_services::gauss_newton(2, 2, p, value, status);
    EXPECT_EQ(status, 0);  // an exact fit, a code of 8 or more in the solver
    EXPECT_NEAR(p[0], 1.0, 1e-6);
    EXPECT_NEAR(p[1], 1.0, 1e-6);

    optimizer_services::gauss_newton(0, 2, p, value, status);
    EXPECT_EQ(status, 128);
}

TEST_F(Seam, ExampleOneWithBothServicesReachesItsOptimum) {
    cascade::install_services();
    ASSERT_TRUE(cascade::services().gn_main);
    ASSERT_TRUE(cascade::services().evol);
    observe();
    auto a = example_one();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    // The optimum computed independently by Gauss-Newton iteration to convergence.
    EXPECT_NEAR(a.p[0], 32.49832, 2e-4);
    EXPECT_NEAR(a.p[1], 136.94773, 1e-3);
    EXPECT_NEAR(a.ssq, 1321.922682, 1e-4);
    EXPECT_GT(count("gn_main"), 0);
    EXPECT_GT(count("evol"), 0);
}

TEST_F(Seam, ACancelDuringTheEvolutionEndsTheFitAfterThatStage) {
    cascade::install_services();
    const auto evol = cascade::services().evol;
    int calls = 0;
    cascade::services().evol = [&](int n, int k, std::span<double> p, double& value, int& generations, int cap) {
        ++calls;
        globals::bcancelrun = 1;
        evol(n, k, p, value, generations, cap);
    };
    observe();
    auto a = example_one();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    EXPECT_EQ(calls, 1);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.back(), "evol");
    EXPECT_GT(a.ssq, 0.0);
}

}  // namespace
