// The Levenberg-Marquardt optimiser on problems with known answers: NIST
// certified values, closed-form least squares, Rosenbrock's valley; and its
// guarantees: bounds, fixed parameters, guarded model values, repeatable
// results, the time budget that leaves the run clock alone.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "foundations/distributions.h"
#include "foundations/runtime.h"
#include "optimizers/marq_fixture.h"

namespace {

using marq_test::column;
using marq_test::Problem;
using marq_test::FitCase;

const std::string nist_dir = std::string(KALVOR_SHARED_DIR) + "/data/nist-strd/dat/";

// A data file of the program's format: model line, start values, bounds,
// mask, rows up to END.
Problem read_data_file(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    Problem pr;
    std::string line;
    std::getline(in, line);
    pr.formula = line.substr(line.find('=') + 1);
    const auto numbers = [](const std::string& text) {
        std::istringstream s(text.substr(0, text.find('!')));
        std::vector<double> v;
        double d;
        while (s >> d) v.push_back(d);
        return v;
    };
    std::getline(in, line);
    pr.p = numbers(line);
    std::getline(in, line);
    pr.lo = numbers(line);
    std::getline(in, line);
    pr.hi = numbers(line);
    std::getline(in, line);  // mask: all fitted
    while (std::getline(in, line) && line.find("END") == std::string::npos) {
        const auto row = numbers(line);
        pr.x.push_back({row[0]});
        pr.y.push_back(row[1]);
    }
    return pr;
}

// Rosenbrock's function as a fit of two rows: residuals 10 (P1^2 - P2) and P1 - 1.
Problem rosenbrock(double p1, double p2) {
    Problem pr;
    pr.formula = "1+(1-X1)*10*(P2-P1^2)+X1*(1-P1)";
    pr.x = column({0.0, 1.0});
    pr.y = {1.0, 1.0};
    pr.p = {p1, p2};
    return pr;
}

const std::vector<double> line_x = {1, 2, 3, 4, 5, 6, 7, 8};
const std::vector<double> line_y = {2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.1};

Problem line_problem() {
    Problem pr;
    pr.formula = "P1+P2*X1";
    pr.x = column(line_x);
    pr.y = line_y;
    pr.p = {1.0, 1.0};
    return pr;
}

class Marq : public ::testing::Test {
protected:
    void TearDown() override { globals::reset_run_state(); }
};

// One call makes at most two passes of accepted steps; as the cascade's
// polisher it is called again on its own result in later fits.
TEST_F(Marq, FollowsRosenbrocksValleyToItsMinimum) {
    const FitCase s(rosenbrock(0.5, 3.0));
    std::vector<double> p = {0.5, 3.0};
    double ssq = 0.0;
    for (int call = 0; call < 8; ++call) {
        const auto r = s.fit(p);
        EXPECT_LE(r.ssq, r.start_ssq);
        EXPECT_EQ(r.ssq, s.ssq(r.p));  // the value belongs to the vector returned
        EXPECT_GT(r.p[0], 0.0);
        ssq = r.ssq;
        p = r.p;
    }
    EXPECT_NEAR(p[0], 1.0, 1e-6);
    EXPECT_NEAR(p[1], 1.0, 1e-6);
    EXPECT_LT(ssq, 1e-12);
}

TEST_F(Marq, Misra1aFromItsSecondStartReachesTheCertifiedValues) {
    if (!std::filesystem::exists(nist_dir + "Misra1a-s2.DAT")) GTEST_SKIP() << "no shared data";
    const FitCase s(read_data_file(nist_dir + "Misra1a-s2.DAT"));
    const auto r = s.fit();
    // NIST certified values.
    EXPECT_NEAR(r.p[0] / 2.3894212918E+02, 1.0, 1e-6);
    EXPECT_NEAR(r.p[1] / 5.5015643181E-04, 1.0, 1e-6);
    EXPECT_NEAR(r.ssq / 1.2455138894E-01, 1.0, 1e-6);
}

TEST_F(Marq, StraightLineGivesTheClosedFormFitAndStatistics) {
    const auto r = FitCase(line_problem()).settle();
    const auto l = sharc_test::least_squares_line(line_x, line_y);
    EXPECT_NEAR(r.p[0], l.a, 1e-8);
    EXPECT_NEAR(r.p[1], l.b, 1e-8);
    EXPECT_NEAR(r.ssq / l.ssq, 1.0, 1e-10);
    for (std::size_t i = 0; i < line_x.size(); ++i) {
        EXPECT_NEAR(r.yfit[i], l.a + l.b * line_x[i], 1e-7);
        EXPECT_EQ(common_data::ydf[i], r.yfit[i]);
    }
    // Six degrees of freedom.
    EXPECT_NEAR(r.se[0] / l.se_a, 1.0, 1e-6);
    EXPECT_NEAR(r.se[1] / l.se_b, 1.0, 1e-6);
    EXPECT_DOUBLE_EQ(r.ci[0], distributions::t95(6) * r.se[0]);
    EXPECT_DOUBLE_EQ(r.cov(1, 1), r.se[1] * r.se[1]);
    EXPECT_NEAR(r.corr(0, 1), l.corr, 1e-6);
    EXPECT_NEAR(r.corr(1, 0), l.corr, 1e-6);
    EXPECT_NEAR(r.corr(1, 1), 1.0, 1e-12);
    // The second derivatives of the sum are 2n and 2 sum(x^2) = 16 and 408.
    // (The differences use steps of 1.6e-6 relative, so a few tenths of a
    // percent are rounding.)
    EXPECT_NEAR(r.shares[0], 100.0 * 8.0 / 212.0, 0.2);
    EXPECT_NEAR(r.shares[0] + r.shares[1], 100.0, 0.0015);
}

TEST_F(Marq, OneParameterModelFitsItsSlopeEvenFromAnExactZero) {
    // y = b x: b = sum(xy) / sum(x^2), se = sqrt(s^2 / sum(x^2)) with n - 1
    // degrees of freedom.
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < line_x.size(); ++i) {
        sxy += line_x[i] * line_y[i];
        sxx += line_x[i] * line_x[i];
    }
    const double b = sxy / sxx;
    double ssq = 0;
    for (std::size_t i = 0; i < line_x.size(); ++i) ssq += std::pow(line_y[i] - b * line_x[i], 2);
    Problem pr = line_problem();
    pr.formula = "P1*X1";
    pr.p = {1.5};
    const auto r = FitCase(pr).fit();
    EXPECT_NEAR(r.p[0], b, 1e-9);
    EXPECT_NEAR(r.ssq / ssq, 1.0, 1e-10);
    EXPECT_NEAR(r.se[0] / std::sqrt(ssq / 7.0 / sxx), 1.0, 1e-6);
    EXPECT_EQ(r.shares[0], 100.0);

    // An exact zero is moved off zero, so relative steps can grow it.
    pr.p = {0.0};
    const auto z = FitCase(pr).fit();
    EXPECT_GT(z.p[0], 0.0);
    EXPECT_LT(z.ssq, z.start_ssq);
    EXPECT_TRUE(std::isfinite(z.ssq));
}

TEST_F(Marq, NeverReturnsParametersOutsideTheirBounds) {
    Problem pr = line_problem();
    pr.lo = {-10.0, 0.5};
    pr.hi = {10.0, 1.9};  // the free optimum has a slope of 2.0
    pr.p = {1.0, 1.5};
    const FitCase s(pr);
    for (const int level : {1, 3}) {
        const auto r = s.fit({}, level);
        EXPECT_GE(r.p[1], 1.8);
        EXPECT_LE(r.p[1], 1.9);
        EXPECT_GE(r.p[0], -10.0);
        EXPECT_LE(r.p[0], 10.0);
        EXPECT_LT(r.ssq, r.start_ssq);
    }
}

TEST_F(Marq, FixedParametersComeBackBitIdentical) {
    Problem pr = line_problem();
    pr.formula = "P1+P2*X1+P3";
    pr.p = {0.0, 1.0, 0.1234567890123};
    pr.mask = {0, 1, 0};
    const auto r = FitCase(pr).settle();
    EXPECT_EQ(r.p[0], 0.0);
    EXPECT_EQ(r.p[2], 0.1234567890123);
    // The slope of a line through the fixed intercept.
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < line_x.size(); ++i) {
        sxy += line_x[i] * (line_y[i] - 0.1234567890123);
        sxx += line_x[i] * line_x[i];
    }
    EXPECT_NEAR(r.p[1], sxy / sxx, 1e-9);
    EXPECT_EQ(r.se[0], 0.0);
    EXPECT_EQ(r.se[2], 0.0);
    EXPECT_EQ(r.cov(0, 1), 0.0);
    EXPECT_GT(r.se[1], 0.0);
    // The single active parameter holds the whole curvature.
    EXPECT_EQ(r.shares[0], 100.0);
    EXPECT_EQ(r.shares[1], 0.0);
}

TEST_F(Marq, WithNothingToFitReturnsTheStartAndItsSum) {
    Problem pr = line_problem();
    pr.mask = {0, 0};
    const auto r = FitCase(pr).fit();
    EXPECT_EQ(r.p, pr.p);
    EXPECT_EQ(r.ssq, r.start_ssq);
    EXPECT_DOUBLE_EQ(r.yfit[7], 9.0);
    for (const double v : r.se) EXPECT_EQ(v, 0.0);
}

TEST_F(Marq, NanAndInfiniteModelValuesNeverReachTheResult) {
    // A pole at the start (X1 = P2 = 3), and exponentials that overflow.
    Problem pole = line_problem();
    pole.formula = "P1/(X1-P2)";
    pole.y = {-1.0, -2.1, 5.0, 2.0, 1.1, 0.7, 0.5, 0.4};
    pole.p = {2.0, 3.0};
    Problem overflow = line_problem();
    overflow.formula = "P1*EXP(P2*X1)+SQRT(P1-X1)";
    overflow.x = column({100, 200, 300, 400, 500, 600, 700, 800});
    overflow.p = {1.0, 2.0};
    for (const Problem& pr : {pole, overflow}) {
        const auto r = FitCase(pr).fit();
        for (const double v : r.p) EXPECT_TRUE(std::isfinite(v)) << pr.formula;
        for (const double v : r.se) EXPECT_FALSE(std::isnan(v)) << pr.formula;
        EXPECT_TRUE(std::isfinite(r.ssq)) << pr.formula;
        EXPECT_LE(r.ssq, r.start_ssq) << pr.formula;
    }
}

TEST_F(Marq, GivesTheSameResultTwice) {
    if (!std::filesystem::exists(nist_dir + "Misra1a-s1.DAT")) GTEST_SKIP() << "no shared data";
    const FitCase s(read_data_file(nist_dir + "Misra1a-s1.DAT"));
    const auto a = s.fit({}, 3, 10);
    const auto b = s.fit({}, 3, 10);
    EXPECT_EQ(a.p, b.p);
    EXPECT_EQ(a.ssq, b.ssq);
    EXPECT_EQ(a.se, b.se);
    EXPECT_LT(a.ssq, a.start_ssq);
}

TEST_F(Marq, WeightingKindFourCountsAsNoneAndTheRobustKindStaysFinite) {
    Problem pr = line_problem();
    const auto plain = FitCase(pr).fit();
    pr.kind = 4;
    const auto four = FitCase(pr).fit();
    EXPECT_EQ(plain.p, four.p);
    EXPECT_EQ(plain.ssq, four.ssq);

    pr.kind = 3;
    pr.y[4] = 30.0;  // one gross outlier
    const FitCase robust(pr);
    const auto r = robust.fit();
    EXPECT_TRUE(std::isfinite(r.p[0]) && std::isfinite(r.p[1]));
    EXPECT_EQ(r.ssq, robust.ssq(r.p));
    EXPECT_LT(r.ssq, r.start_ssq);
}

// The time budget is read without adding to the run clock, and the run
// clock's sum stays the driver's.
TEST_F(Marq, TimeBudgetLeavesTheRunClockToTheDriver) {
    const FitCase s(line_problem());
    auto ticks = std::make_shared<double>(0.0);
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [ticks] { return *ticks += 1.0; };
    runtime::set_hooks(hooks);
    globals::starttimer = 1;
    timeit_mod::timeclock(globals::starttimer);
    globals::totaltime = 123.0;
    globals::timemax = 6.0;  // six clock readings
    const auto r = s.fit();
    const double since = timeit_mod::elapsed();
    const double sum = timeit_mod::timeclock(globals::starttimer);
    runtime::reset_hooks();
    EXPECT_EQ(globals::totaltime, 123.0);
    EXPECT_EQ(sum, since + 1.0);  // nothing accumulated in between
    EXPECT_LE(since, 12.0);       // the budget ended the iterations early
    EXPECT_LE(r.ssq, r.start_ssq);
}

}  // namespace
