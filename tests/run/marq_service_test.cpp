// The Levenberg-Marquardt service installed into the cascade: fits through
// the fitting driver reach the least-squares optimum, and the service's
// result is judged by the driver.

#include "run/marq_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace {

// Example 1: Michaelis-Menten, y = P2 X1 / (P1 + X1), from (10, 100).
sharc_mod::SharcArgs example1() {
    const std::vector<double> x = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
    const std::vector<double> y = {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6,  83.7, 80.5, 90.0,
                                   87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0};
    sharc_mod::SharcArgs a;
    a.n = static_cast<int>(x.size());
    a.m = 1;
    a.k = 2;
    a.x = kalvor::Matrix(x.size(), 1);
    for (std::size_t i = 0; i < x.size(); ++i) a.x(i, 0) = x[i];
    a.y = y;
    a.sig.assign(y.size(), 1.0);
    a.p = {10.0, 100.0};
    a.mask = {1, 1};
    a.lo = {1e-6, 1e-6};
    a.hi = {1e6, 1e6};
    return a;
}

class MarqService : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        runtime::set_time_scale(0.0);
        cascade::services() = {};
        cascade::install_services();
        cascade::services().observer = [this](const cascade::StageReport& r) {
            if (r.stage == "marq") marq.push_back(r);
        };
    }
    void TearDown() override {
        cascade::services() = {};
        runtime::set_time_scale(1.0);
        globals::reset_run_state();
    }

    std::vector<cascade::StageReport> marq;
};

TEST_F(MarqService, ExampleOneReachesTheOptimumAtEveryLevel) {
    for (const int level : {1, 2, 3}) {
        marq.clear();
        sharc_test::Repeatable repeatable;
        sharc_test::compile_model("P2*X1/(P1+X1)", 2);
        globals::iopt = level;
        auto a = example1();
        a.level = level;
        ASSERT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted) << level;
        // Independent Gauss-Newton solution: P1 = 32.4983202, P2 = 136.9477322.
        EXPECT_NEAR(a.p[0], 32.49832, 5e-6) << level;
        EXPECT_NEAR(a.p[1], 136.94773, 5e-6) << level;
        EXPECT_NEAR(a.ssq, 1321.9226819, 1e-5) << level;
        // The service ran on the optimum and stayed on it (to rounding).
        ASSERT_EQ(marq.size(), 1u) << level;
        EXPECT_NEAR(marq[0].value / marq[0].lowest, 1.0, 1e-12) << level;
    }
}

TEST_F(MarqService, AHeldParameterStaysHeldThroughTheService) {
    sharc_test::Repeatable repeatable;
    sharc_test::compile_model("P2*X1/(P1+X1)", 2);
    globals::iopt = 2;
    auto a = example1();
    a.mask = {0, 1};
    a.p = {30.0, 100.0};
    ASSERT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_EQ(a.p[0], 30.0);
    ASSERT_EQ(marq.size(), 1u);
    EXPECT_LE(marq[0].value, marq[0].lowest * (1.0 + 1e-12));
}

}  // namespace
