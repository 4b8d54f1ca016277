// The Gauss-Newton step routines: shifted Cholesky solve, Cauchy length,
// and nearby search.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/globals.h"
#include "optimizers/gn_main.h"
#include "optimizers/gn_mod.h"

namespace {

kalvor::Matrix symmetric(double a, double b, double c) {
    kalvor::Matrix h(2, 2);
    h(0, 0) = a;
    h(0, 1) = h(1, 0) = b;
    h(1, 1) = c;
    return h;
}

// |(H + mu I) s + g| over both rows.
double solve_error(const kalvor::Matrix& h, double mu, const std::vector<double>& s, const std::vector<double>& g) {
    double worst = 0.0;
    for (std::size_t i = 0; i < 2; ++i) {
        const double row = (h(i, 0) + (i == 0 ? mu : 0.0)) * s[0] + (h(i, 1) + (i == 1 ? mu : 0.0)) * s[1] + g[i];
        worst = std::max(worst, std::fabs(row));
    }
    return worst;
}

TEST(GnChol, APositiveDefiniteMatrixIsSolvedWithoutShift) {
    const auto h = symmetric(4.0, 1.0, 3.0);
    const std::vector<double> g = {1.0, 2.0};
    std::vector<double> s(2);
    kalvor::Matrix l;
    double mu = 0.0;
    gn_mod::hnorm = 1.0;
    gn_main::gn_chol(2, mu, h, g, l, s);
    EXPECT_EQ(mu, 0.0);
    EXPECT_NEAR(s[0], -1.0 / 11.0, 1e-15);  // -H^-1 g by Cramer's rule
    EXPECT_NEAR(s[1], -7.0 / 11.0, 1e-15);
    EXPECT_NEAR(l(0, 0), 2.0, 1e-15);
    EXPECT_NEAR(l(1, 0), 0.5, 1e-15);
}

TEST(GnChol, AnIndefiniteMatrixIsShiftedUntilItFactors) {
    // Eigenvalues -1 and 3: a shift above 1 is needed.
    const auto h = symmetric(1.0, 2.0, 1.0);
    const std::vector<double> g = {1.0, -1.0};
    std::vector<double> s(2);
    kalvor::Matrix l;
    double mu = 0.0;
    gn_mod::hnorm = 2.0;
    gn_main::gn_chol(2, mu, h, g, l, s);
    EXPECT_EQ(mu, 2.0);
    EXPECT_LT(solve_error(h, mu, s, g), 1e-14);
}

TEST(GnChol, AfterAsManyFailedShiftsAsParametersTheLargestColumnSumServes) {
    const auto h = symmetric(1.0, 2.0, 1.0);
    const std::vector<double> g = {1.0, -1.0};
    std::vector<double> s(2);
    kalvor::Matrix l;
    double mu = 0.0;
    gn_mod::hnorm = 0.25;  // 0 and 0.25 both fail
    gn_main::gn_chol(2, mu, h, g, l, s);
    EXPECT_EQ(mu, 3.0);
    EXPECT_TRUE(std::isfinite(s[0]) && std::isfinite(s[1]));
    EXPECT_LT(solve_error(h, mu, s, g), 1e-14);
}

TEST(GnCauchy, LengthIsTheBoundedSteepestDescentMinimiser) {
    const auto h = symmetric(4.0, 1.0, 3.0);
    kalvor::Matrix l;
    std::vector<double> s(2);
    double mu = 0.0;
    const std::vector<double> g = {10.0, 20.0};
    gn_main::gn_chol(2, mu, h, g, l, s);
    const double gnorm = std::sqrt(500.0);
    double length = -1.0;
    gn_main::gn_cauchy(2, l, g, gnorm, length);
    EXPECT_NEAR(length, 0.6 * std::pow(500.0, 1.5) / 2000.0, 1e-12);  // g'Hg = 2000

    const std::vector<double> small = {1.0, 2.0};  // 0.6 * 5^1.5 / 20 = 0.335
    gn_main::gn_cauchy(2, l, small, std::sqrt(5.0), length);
    EXPECT_EQ(length, 0.5);

    const auto flat = symmetric(1e-6, 0.0, 1e-6);
    gn_main::gn_chol(2, mu, flat, g, l, s);
    gn_main::gn_cauchy(2, l, g, gnorm, length);
    EXPECT_EQ(length, 500.0);  // 250 per active parameter

    length = 7.0;
    gn_main::gn_cauchy(2, l, std::vector<double>{0.0, 0.0}, 0.0, length);
    EXPECT_EQ(length, 7.0);
}

// One row, residual 3 - P2 (P1 held at 7 in the template).
struct Probe {
    std::vector<double> seen;
    gn_main::Residuals routine() {
        return [this](int, int, std::span<const double> x, std::span<double> r, double& f) {
            EXPECT_EQ(x[0], 7.0);
            seen.push_back(x[1]);
            r[0] = 3.0 - x[1];
            f = r[0] * r[0];
        };
    }
};

class NearbySearch : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        common_data::pmask[0] = 0;
        common_data::pmask[1] = 1;
    }
    void TearDown() override { globals::reset_run_state(); }
    const std::vector<double> tmpl = {7.0, 0.0};
};

TEST_F(NearbySearch, ATrialNoProbeBeatsComesBackUnchanged) {
    Probe probe;
    std::vector<double> xt = {0.0};
    double fmin = -1.0;
    gn_main::nearbysearch(probe.routine(), 1, 1, 2, xt, tmpl, std::vector<double>{2.0}, 1.0, fmin);
    EXPECT_EQ(xt[0], 0.0);
    EXPECT_EQ(fmin, 1.0);
    ASSERT_EQ(probe.seen.size(), 20u);  // both sides, ten passes
    EXPECT_DOUBLE_EQ(probe.seen[0], 0.000244 * 2.0);
    EXPECT_DOUBLE_EQ(probe.seen[1], -0.000244 * 2.0);
}

TEST_F(NearbySearch, ProbesBeatingTheAcceptedValueAreKeptUntilMoreThanFive) {
    Probe probe;
    std::vector<double> xt = {0.0};
    double fmin = 0.0;
    gn_main::nearbysearch(probe.routine(), 1, 1, 2, xt, tmpl, std::vector<double>{2.0}, 100.0, fmin);
    ASSERT_EQ(probe.seen.size(), 6u);  // one upward probe kept per pass
    EXPECT_EQ(xt[0], probe.seen.back());
    EXPECT_GT(xt[0], 6 * 0.000488);
    EXPECT_DOUBLE_EQ(fmin, (3.0 - xt[0]) * (3.0 - xt[0]));
}

}  // namespace
