// The optimiser services installed into the cascade: real fits through the
// seam, and Cancel while a service runs.

#include <gtest/gtest.h>

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

struct Report {
    std::string stage;
    double value;
    double lowest;
    bool accepted;
};

class InstalledServices : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        cascade::services() = {};
        cascade::install_services();
        runtime::set_time_scale(0.0);
        globals::iopt = 2;
        cascade::services().observer = [this](const cascade::StageReport& r) {
            reports.push_back({std::string(r.stage), r.value, r.lowest, r.accepted});
        };
    }
    void TearDown() override {
        cascade::services() = {};
        runtime::set_time_scale(1.0);
        globals::reset_run_state();
    }

    // Example 1: y = P2*X1/(P1 + X1), unweighted, from (10, 100).
    sharc_mod::SharcArgs michaelis_menten() {
        std::ifstream in(std::string(KALVOR_SOURCE_DIR) + "/data/examples/Michaelis-Menten.dat");
        EXPECT_TRUE(in);
        std::string line;
        for (int i = 0; i < 5; ++i) std::getline(in, line);
        sharc_mod::SharcArgs a;
        std::vector<double> x;
        double xv = 0.0, yv = 0.0;
        while (std::getline(in, line)) {
            std::istringstream row(line);
            if (!(row >> xv >> yv)) break;
            x.push_back(xv);
            a.y.push_back(yv);
        }
        sharc_test::compile_model("P2*X1/(P1+X1)", 2);
        a.n = static_cast<int>(a.y.size());
        a.m = 1;
        a.k = 2;
        a.x = kalvor::Matrix(x.size(), 1);
        for (std::size_t i = 0; i < x.size(); ++i) a.x(i, 0) = x[i];
        a.sig.assign(x.size(), 1.0);
        a.p = {10.0, 100.0};
        a.mask = {1, 1};
        a.lo = {1e-6, 1e-6};
        a.hi = {1e6, 1e6};
        a.level = 3;
        a.cap_plus_one = 95;
        a.bounded = 1;
        return a;
    }

    std::vector<Report> of(const std::string& stage) const {
        std::vector<Report> out;
        for (const Report& r : reports)
            if (r.stage == stage) out.push_back(r);
        return out;
    }

    sharc_test::Repeatable repeatable;
    std::vector<Report> reports;
};

// The least-squares optimum, computed independently by Gauss-Newton
// iteration to convergence: P1 = 32.49832, P2 = 136.9477, SSR 1321.9227.
TEST_F(InstalledServices, FitExampleOneWithEveryStageNeverWorse) {
    auto a = michaelis_menten();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_NEAR(a.p[0], 32.49832, 2e-4);
    EXPECT_NEAR(a.p[1], 136.9477, 1e-3);
    EXPECT_NEAR(a.ssq, 1321.9227, 1e-4);
    const auto sqp = of("vmsqp");
    ASSERT_GE(sqp.size(), 2u);
    // Unit weights: the driver judges the stage on the same sum of squares
    // as the optimiser, which never returns a point worse than its start.
    for (const Report& r : sqp) EXPECT_LE(r.value, r.lowest * (1.0 + 1e-12));
}

// Cancel pressed while the sequential-quadratic stage runs: the stage
// finishes and is judged, nothing else starts.
TEST_F(InstalledServices, CancelDuringTheSequentialQuadraticStageEndsTheFitAtTheNextPoll) {
    const auto sqp = cascade::services().vmsqp;
    ASSERT_TRUE(sqp);
    int calls = 0;
    cascade::services().vmsqp = [&](cascade::VmsqpCall& c) {
        ++calls;
        sqp(c);
        globals::bcancelrun = 1;
    };
    auto a = michaelis_menten();
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::cancelled);
    EXPECT_EQ(calls, 1);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().stage, "vmsqp");
    EXPECT_GT(a.ssq, 0.0);
    EXPECT_LE(a.ssq, reports.back().lowest);
}

}  // namespace
