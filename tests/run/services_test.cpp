// The fitting driver with the optimiser services installed: Example 1 at
// every level, and Cancel pressed while the tunnel search works.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/cascade.h"
#include "run/sharc.h"
#include "run/sharc_fixture.h"

namespace {

// The Michaelis-Menten fit of Example 1 with its start values and bounds.
sharc_mod::SharcArgs example1() {
    std::ifstream in(std::string(KALVOR_SOURCE_DIR) + "/data/examples/Michaelis-Menten.dat");
    EXPECT_TRUE(in);
    std::string line;
    for (int i = 0; i < 5; ++i) std::getline(in, line);
    std::vector<double> x, y;
    double xv = 0.0, yv = 0.0;
    while (std::getline(in, line) && std::istringstream(line) >> xv >> yv) {
        x.push_back(xv);
        y.push_back(yv);
    }
    EXPECT_EQ(y.size(), 20u);
    sharc_mod::SharcArgs a;
    a.n = static_cast<int>(y.size());
    a.m = 1;
    a.k = 2;
    a.x = kalvor::Matrix(y.size(), 1);
    for (std::size_t i = 0; i < y.size(); ++i) a.x(i, 0) = x[i];
    a.y = y;
    a.sig.assign(y.size(), 1.0);
    a.p = {10.0, 100.0};
    a.mask = {1, 1};
    a.lo = {1e-6, 1e-6};
    a.hi = {1e6, 1e6};
    a.level = 3;
    a.cap_plus_one = 95;
    a.bounded = 1;
    return a;
}

class InstalledServices : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        cascade::services() = {};
        cascade::install_services();
        cascade::services().observer = [this](const cascade::StageReport& r) { stages.emplace_back(r.stage); };
        runtime::set_time_scale(0.0);
        sharc_test::compile_model("P2*X1/(P1+X1)", 2);
    }
    void TearDown() override {
        cascade::services() = {};
        runtime::set_time_scale(1.0);
        globals::reset_run_state();
    }
    std::vector<std::string> stages;
};

// The least-squares optimum, computed independently by Gauss-Newton
// iteration to convergence: P1 = 32.49832, P2 = 136.94773.
TEST_F(InstalledServices, Example1ReachesItsOptimumAtEveryLevel) {
    for (const int level : {1, 2, 3}) {
        globals::iopt = level;
        globals::bcancelrun = 0;
        stages.clear();
        auto a = example1();
        EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted) << level;
        EXPECT_NEAR(a.p[0], 32.49832, 5e-6) << level;
        EXPECT_NEAR(a.p[1], 136.94773, 5e-6) << level;
        ASSERT_FALSE(stages.empty());
        EXPECT_EQ(stages.front(), "tunnelsearch");
        if (level == 3) {
            EXPECT_NE(std::find(stages.begin(), stages.end(), "a23mrt"), stages.end());
        }
    }
}

// Cancel pressed during the first tunnel search: the tunnelling stage runs
// to its end and is judged, and no later stage runs.
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
    auto a = example1();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    EXPECT_EQ(tunnel_calls, 2);
    EXPECT_EQ(descents, 1);
    EXPECT_EQ(later, 0);
    EXPECT_EQ(stages, (std::vector<std::string>{"tunnelsearch"}));
}

}  // namespace
