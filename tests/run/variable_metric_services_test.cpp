// Fits through the cascade with the installed variable-metric services and
// the residual bootstrap.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace {

class InstalledServices : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        cascade::services() = {};
        cascade::install_services();
        cascade::services().observer = [this](const cascade::StageReport& r) {
            stages.push_back(std::string(r.stage));
            lowest = std::min(r.value, r.lowest);
        };
        runtime::set_time_scale(0.0);
        globals::iopt = 2;
        sharc_test::compile_model("P2*X1/(P1+X1)", 2);
    }
    void TearDown() override {
        cascade::services() = {};
        runtime::set_time_scale(1.0);
        globals::reset_run_state();
    }

    // Example 1 from P = (10, 100) inside [1e-6, 1e6].
    static sharc_mod::SharcArgs example1() {
        const std::vector<double> y = {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7,  80.5, 90.0,
                                       87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0};
        sharc_mod::SharcArgs a;
        a.n = 20;
        a.k = 2;
        a.x = kalvor::Matrix(20, 1);
        for (std::size_t i = 0; i < 20; ++i) a.x(i, 0) = 5.0 * static_cast<double>(i + 1);
        a.y = y;
        a.sig.assign(20, 1.0);
        a.p = {10.0, 100.0};
        a.mask = {1, 1};
        a.lo = {1e-6, 1e-6};
        a.hi = {1e6, 1e6};
        a.bounded = 1;
        return a;
    }

    int count(const std::string& stage) const {
        int k = 0;
        for (const std::string& s : stages) k += s == stage ? 1 : 0;
        return k;
    }

    sharc_test::Repeatable repeatable;
    std::vector<std::string> stages;
    double lowest = 0.0;
};

// The independent least-squares solution: P1 = 32.4983202, P2 = 136.9477322,
// sum of squares 1321.9226819.
TEST_F(InstalledServices, ExampleOneReachesTheOptimumWithItsBand) {
    auto a = example1();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_NEAR(a.p[0], 32.49832, 2e-5);
    EXPECT_NEAR(a.p[1], 136.9477, 1e-4);
    EXPECT_NEAR(a.ssq, 1321.9227, 1e-4);
    EXPECT_GT(count("va10b"), 0);
    EXPECT_GT(count("varmetric"), 0);
    for (std::size_t i = 0; i < 20; ++i) {
        const double model = a.p[1] * a.x(i, 0) / (a.p[0] + a.x(i, 0));
        EXPECT_NEAR(common_data::ydf[i], model, 1e-9);
        EXPECT_EQ(common_data::yd[i], a.y[i]);
        EXPECT_LT(common_data::ybs_lcl[i], model);
        EXPECT_GT(common_data::ybs_ucl[i], model);
        EXPECT_EQ(common_data::ybs_mean[i], a.ycalc[i]);
    }
}

// Cancel pressed while the variable-metric stage runs: the stage is judged,
// no later stage starts, and the fit reports the best vector so far.
TEST_F(InstalledServices, CancelDuringTheVariableMetricStageEndsTheFitAtTheNextPoll) {
    const auto installed = cascade::services().va10b;
    cascade::services().va10b = [&](int n, int k, std::span<double> p, double& value, std::span<double> h, int flag,
                                    int mode, int limit, int& code) {
        installed(n, k, p, value, h, flag, mode, limit, code);
        globals::bcancelrun = 1;
    };
    auto a = example1();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.back(), "va10b");
    EXPECT_EQ(count("va10b"), 1);
    EXPECT_EQ(count("varmetric"), 0);
    EXPECT_EQ(a.ssq, lowest);
    EXPECT_EQ(common_data::fssqr, a.ssq);
}

}  // namespace
