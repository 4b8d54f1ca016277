// Post-fit statistics: standard errors, correlations, Studentized residuals,
// the runs test and the 95% t value.

#include "run/poststats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "run/sharc_fixture.h"

namespace {

using sharc_test::FitProblem;

// Statistics of the fit set up in s at p with the sum of squares sse.
sharc::FitStatistics statistics_at(sharc::DriverState& s, const std::vector<double>& p, double sse) {
    sharc::FitStatistics out;
    sharc::stderr_corr(s.x, s.y, s.ycalc, s.sig, s.ncol, s.nrow, p, static_cast<int>(p.size()), s.mask, sse, out);
    return out;
}

// Straight line: the analytic least-squares results (worked out separately).
constexpr double line_sse = 0.1947619047619044;
constexpr double line_se_a = 0.1403853620810278;
constexpr double line_se_b = 0.027800444266884092;
constexpr double line_corr = -0.8911327886790068;

TEST(StderrCorr, StraightLineMatchesTheAnalyticFormula) {
    sharc::DriverState s;
    const FitProblem problem = sharc_test::line_problem();
    sharc_test::set_up_fit(s, problem);
    const sharc::FitStatistics out = statistics_at(s, problem.p, line_sse);
    EXPECT_NEAR(out.se[0], line_se_a, 1e-5 * line_se_a);
    EXPECT_NEAR(out.se[1], line_se_b, 1e-5 * line_se_b);
    EXPECT_NEAR(out.corr(0, 1), line_corr, 1e-5);
    EXPECT_EQ(out.corr(0, 1), out.corr(1, 0));
    EXPECT_EQ(out.corr(0, 0), 1.0);
    EXPECT_FALSE(out.inverse_failed);
    // Eigenvalues of a 2 x 2 correlation matrix: 1 +- |r|.
    EXPECT_NEAR(out.eigenvalues[0], 1.0 - line_corr, 1e-5);
    EXPECT_NEAR(out.eigenvalues[1], 1.0 + line_corr, 1e-5);
    // The model values at p are handed back.
    EXPECT_NEAR(s.ycalc[7], problem.p[0] + 8.0 * problem.p[1], 1e-12);
}

TEST(StderrCorr, StudentizedResidualsUseEachRowsOwnLeverage) {
    sharc::DriverState s;
    const FitProblem problem = sharc_test::line_problem();
    sharc_test::set_up_fit(s, problem);
    const sharc::FitStatistics out = statistics_at(s, problem.p, line_sse);
    // r / (s sqrt(1 - h)) with the hat diagonal of the line, then normalised
    // row by row against the running mean (worked out separately).
    const double expected[8] = {0.4658680167821624, -0.8422555640390614, 1.022607284968236,  -1.3242196452172172,
                                0.4445944713608968, 1.0653102627002877,  -1.4026215930765062, 0.5932380782435972};
    ASSERT_EQ(out.studentized.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(out.studentized[i], expected[i], 1e-4) << i;
}

TEST(StderrCorr, MaskedParameterHasStandardErrorZero) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.formula = "P1+P2*X1+P3*X1*X1";
    problem.p.push_back(0.0);
    problem.mask = {1, 1, 0};
    sharc_test::set_up_fit(s, problem);
    const sharc::FitStatistics out = statistics_at(s, problem.p, line_sse);
    EXPECT_NEAR(out.se[0], line_se_a, 1e-5 * line_se_a);
    EXPECT_NEAR(out.se[1], line_se_b, 1e-5 * line_se_b);
    EXPECT_EQ(out.se[2], 0.0);
    EXPECT_NEAR(out.corr(0, 1), line_corr, 1e-5);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(out.corr(2, k), 0.0);
        EXPECT_EQ(out.corr(k, 2), 0.0);
    }
    EXPECT_EQ(out.eigenvalues[2], 0.0);
    EXPECT_NE(out.work(1, 1), 0.0);
    EXPECT_EQ(out.work(2, 2), 0.0);
}

TEST(StderrCorr, CorrelationSignsWithNegativeParameters) {
    // y = P1 exp(P2 x) at P2 < 0, and at P1 < 0: the covariance (J'J)^-1 from
    // the analytic Jacobian, worked out separately.
    struct Case {
        double p1, p2, corr;
    };
    for (const Case c : {Case{2.0, -0.5, -0.8242161849955936}, Case{-1.5, 0.3, 0.9476480484892147}}) {
        sharc::DriverState s;
        FitProblem problem = sharc_test::decay_problem();
        problem.p = {c.p1, c.p2};
        sharc_test::set_up_fit(s, problem);
        const sharc::FitStatistics out = statistics_at(s, problem.p, 0.05);
        EXPECT_NEAR(out.corr(0, 1), c.corr, 1e-5) << c.p1;
    }
    sharc::DriverState s;
    FitProblem problem = sharc_test::decay_problem();
    problem.p = {2.0, -0.5};
    sharc_test::set_up_fit(s, problem);
    const sharc::FitStatistics out = statistics_at(s, problem.p, 0.05);
    EXPECT_NEAR(out.se[0], 0.13104634562919262, 1e-5);
    EXPECT_NEAR(out.se[1], 0.045150459732791345, 1e-5);
}

TEST(StderrCorr, WithoutDegreesOfFreedomTheStandardErrorsAreMarked) {
    sharc::DriverState s;
    FitProblem problem = sharc_test::line_problem();
    problem.x.resize(2);
    problem.y.resize(2);
    sharc_test::set_up_fit(s, problem);
    const sharc::FitStatistics out = statistics_at(s, problem.p, 0.01);
    EXPECT_EQ(out.se[0], sharc::se_unknown);
    EXPECT_EQ(out.se[1], sharc::se_unknown);
    for (double t : out.studentized) {
        EXPECT_TRUE(std::isfinite(t));
        EXPECT_LE(std::fabs(t), 5.9);
    }
}

TEST(JacobianStatistics, FailedInversionIsMarkedAndLogged) {
    globals::reset_run_state();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kalvor_poststats_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    globals::cwd.assign(dir.string() + "/");

    kalvor::Matrix jac(5, 2, 1.0);
    jac(2, 1) = std::numeric_limits<double>::infinity();
    const std::vector<double> r = {0.1, -0.2, 0.1, 0.3, -0.1};
    const std::vector<int> mask = {1, 0, 1};
    sharc::FitStatistics out;
    testing::internal::CaptureStdout();
    sharc::jacobian_statistics(jac, r, 5, 3, mask, 0.16, out);
    const std::string console = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(out.inverse_failed);
    EXPECT_EQ(out.se, (std::vector<double>{9999.0, 0.0, 9999.0}));
    EXPECT_EQ(out.corr(0, 0), 1.0);
    EXPECT_EQ(out.corr(0, 1), 0.0);
    EXPECT_EQ(out.eigenvalues[0], 0.0);
    EXPECT_NE(console.find("\nMATRIX INVERSE 2 - Fatal error!"), std::string::npos);
    std::ifstream log(dir / "Kalvor_UDF-runlog.txt");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("stderr_corr(WARNING)"), std::string::npos) << text.str();
    for (double t : out.studentized) EXPECT_TRUE(std::isfinite(t));
    globals::cwd.assign("");
    std::filesystem::remove_all(dir);
}

TEST(RunsStatistic, AlternatingSequence) {
    std::vector<double> r;
    for (int i = 0; i < 12; ++i) r.push_back(i % 2 == 0 ? 1.0 : -1.0);
    sharc_mod::RunsTest t;
    sharc_mod::runs_statistic(r, 12, t);
    EXPECT_EQ(t.table[0], 11.0);
    EXPECT_EQ(t.z[0], 2.57);
    EXPECT_EQ(t.npos, 5);
    EXPECT_EQ(t.nneg, 6);
    EXPECT_EQ(t.lup, 1);
    EXPECT_EQ(t.ldown, 1);
}

TEST(RunsStatistic, LongRunUp) {
    std::vector<double> r;
    for (int i = 0; i < 20; ++i) r.push_back(0.5 * i);
    sharc_mod::RunsTest t;
    sharc_mod::runs_statistic(r, 20, t);
    EXPECT_EQ(t.table[15], 1.0);
    EXPECT_EQ(t.table[14], 1.0);
    EXPECT_EQ(t.lup, 19);
    EXPECT_EQ(t.npos, 19);
    EXPECT_EQ(t.nneg, 0);
    EXPECT_EQ(t.table[0], 0.0);
}

TEST(RunsStatistic, ZScoresAgainstTheExpectedCounts) {
    // Runs: up 2, down 2, up 1, down 1, up 3.  Expected counts and variances
    // worked out separately for n = 10.
    const std::vector<double> r = {0, 1, 2, 1, 0, 1, 0, 1, 2, 3};
    sharc_mod::RunsTest t;
    sharc_mod::runs_statistic(r, 10, t);
    EXPECT_EQ(t.table[0], 2.0);
    EXPECT_EQ(t.table[1], 2.0);
    EXPECT_EQ(t.table[2], 1.0);
    EXPECT_NEAR(t.z[0], -0.6612500538877388, 1e-12);
    EXPECT_NEAR(t.z[1], -0.09256723722077698, 1e-12);
    EXPECT_NEAR(t.z[2], 0.5618244994599553, 1e-12);
    EXPECT_NEAR(t.z[3], 0.22084707535448383, 1e-12);
    EXPECT_EQ(t.lup, 3);
    EXPECT_EQ(t.ldown, 2);
}

TEST(RunsStatistic, ZeroDifferencesAndNaN) {
    // A flat start begins a run up; a NaN difference counts as a rise.
    const std::vector<double> r = {1, 1, 2, std::numeric_limits<double>::quiet_NaN(), 0};
    sharc_mod::RunsTest t;
    sharc_mod::runs_statistic(r, 5, t);
    EXPECT_EQ(t.nzero, 1);
    EXPECT_EQ(t.npos, 3);  // 2 - 1 and the two NaN differences
    EXPECT_EQ(t.nneg, 0);
    EXPECT_EQ(t.lup, 4);
    EXPECT_EQ(t.table[3], 1.0);
}

TEST(RunsStatistic, NonPositiveVarianceGivesZ0) {
    const std::vector<double> r = {1.0, 2.0};
    sharc_mod::RunsTest t;
    sharc_mod::runs_statistic(r, 2, t);
    for (int k = 2; k < 15; ++k) EXPECT_EQ(t.z[k], 0.0) << k;  // a(k) 2 + b(k) <= 0
    for (double z : t.z) EXPECT_TRUE(std::isfinite(z));
    EXPECT_EQ(std::fabs(t.z[0]), 2.57);  // one run of length 1: all runs are
}

TEST(Tval95, SteppedValues) {
    EXPECT_FLOAT_EQ(sharc_mod::tval95(1), 12.711f);
    EXPECT_FLOAT_EQ(sharc_mod::tval95(2), 4.308f);
    EXPECT_FLOAT_EQ(sharc_mod::tval95(5), 2.573f);
    EXPECT_FLOAT_EQ(sharc_mod::tval95(10), 2.233f);
    EXPECT_FLOAT_EQ(sharc_mod::tval95(30), 2.043f);
    EXPECT_FLOAT_EQ(sharc_mod::tval95(0), 12.711f);
    // Never more than 0.015 above the exact quantile.
    EXPECT_GE(sharc_mod::tval95(100), 1.984f);
    EXPECT_LE(sharc_mod::tval95(100), 1.984f + 0.015f);
}

}  // namespace
