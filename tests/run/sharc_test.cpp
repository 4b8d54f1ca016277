// The fitting driver: set-up, level schedule, pool shuffle, the abort rule,
// the results it hands back, and a real fit of the Michaelis-Menten example.

#include "run/sharc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/globals.h"
#include "platform/appgraphics.h"
#include "platform/dialogs.h"
#include "run/cascade.h"
#include "run/postfit.h"
#include "run/seam_fixture.h"
#include "run/sharc_fixture.h"

namespace {

// A fit of one X variable with everything free, at level 3 inside bounds.
sharc_mod::SharcArgs one_variable_fit(const std::vector<double>& x, const std::vector<double>& y,
                                      const std::vector<double>& p, const std::vector<double>& lo,
                                      const std::vector<double>& hi) {
    auto a = sharc_test::one_variable_fit(x, y, p, lo, hi);
    a.level = 3;
    a.cap_plus_one = 95;
    a.tolerance = 1e-9;
    a.bounded = 1;
    return a;
}

// Example 1 as the fits above, its model compiled.
sharc_mod::SharcArgs example1() {
    auto a = sharc_test::example1();
    a.level = 3;
    a.cap_plus_one = 95;
    a.tolerance = 1e-9;
    a.bounded = 1;
    return a;
}

using Driver = sharc_test::SeamTest;

// ---- the pool shuffle ----

TEST(DriverShuffle, ValuesInTheUnitIntervalArePermuted) {
    std::vector<double> v = {0.5, 0.25, 0.75, 0.1, 0.9, 0.3};
    std::vector<double> sorted_before = v;
    sharc::shuffle(v, 6);
    std::vector<double> sorted_after = v;
    std::sort(sorted_before.begin(), sorted_before.end());
    std::sort(sorted_after.begin(), sorted_after.end());
    EXPECT_EQ(sorted_before, sorted_after);
}

TEST(DriverShuffle, IndicesComeFromTheValuesThemselves) {
    // j(t) = int(t v(t)) + 1: v = (0.5, 0.5, 0.9) gives j = 1, 2, 3, so
    // t = 3 swaps with 3 and t = 2 with 2: nothing moves.  v = (0.1, 0.2,
    // 0.1) gives j = 1, 1, 1: t = 3 swaps with 1, then t = 2 with 1.
    std::vector<double> fixed = {0.5, 0.5, 0.9};
    sharc::shuffle(fixed, 3);
    EXPECT_EQ(fixed, (std::vector<double>{0.5, 0.5, 0.9}));
    std::vector<double> v = {0.1, 0.2, 0.15};
    sharc::shuffle(v, 3);  // (0.15, 0.2, 0.1) after t = 3, then (0.2, 0.15, 0.1)
    EXPECT_EQ(v, (std::vector<double>{0.2, 0.15, 0.1}));
}

TEST(DriverShuffle, OutOfRangeValuesAndSingleElementsAreSafe) {
    std::vector<double> one = {7.0};
    sharc::shuffle(one, 1);
    EXPECT_EQ(one[0], 7.0);
    // Values that give no index in 1..n leave their entries at 1.
    std::vector<double> odd = {std::numeric_limits<double>::quiet_NaN(), 5.0, -3.0, 1e300};
    sharc::shuffle(odd, 4);
    int nans = 0;
    for (double v : odd) nans += std::isnan(v) ? 1 : 0;
    EXPECT_EQ(nans, 1);
}

// ---- set-up ----

TEST(DriverSetup, TheAbortMessageHasItsEightLines) {
    const std::string text = sharc_mod::abort_message();
    EXPECT_EQ(text.rfind("MainRegression: ERROR!\r\n A parameter may be NaN or the\r\n", 0), 0u);
    EXPECT_NE(text.find(" have exceeded the 1.0E+16 limit.\r\n Try adjusting"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 23), "\r\n The run has ended...");
    EXPECT_EQ(text.size(), 261u);
}

TEST_F(Driver, AllHeldParametersReturnAfterTheSetUpWithTheStartValue) {
    sharc_test::compile_model("P1+P2*X1", 2);
    auto a = one_variable_fit({1, 2, 3, 4}, {3, 5, 7, 10}, {1.0, 2.0}, {-10, -10}, {10, 10});
    a.mask = {0, 0};
    a.studentized.assign(4, 3.0);
    const auto outcome = sharc_mod::sharc(a);
    EXPECT_EQ(outcome, sharc_mod::Outcome::all_fixed);
    // Residuals 0, 0, 0, 1 at the start vector.
    EXPECT_DOUBLE_EQ(a.ssq, 1.0);
    EXPECT_EQ(a.p, (std::vector<double>{1.0, 2.0}));
    EXPECT_DOUBLE_EQ(common_data::pfinal[0], 1.0);
    EXPECT_DOUBLE_EQ(common_data::pfinal[1], 2.0);
    EXPECT_EQ(a.studentized, std::vector<double>(4, 0.0));
    EXPECT_DOUBLE_EQ(globals::timemax, globals::timemax_start);  // nothing beyond the set-up
}

TEST_F(Driver, OneVariableZeroesTheSecondAndThirdColumns) {
    sharc_test::compile_model("P1+P2*X1", 2);
    common_data::xd2.fill(5.0);
    common_data::xd3.fill(6.0);
    auto a = one_variable_fit({1, 2, 3}, {1, 2, 3}, {1.0, 1.0}, {-10, -10}, {10, 10});
    a.mask = {0, 0};
    sharc_mod::sharc(a);
    for (double v : common_data::xd2) ASSERT_EQ(v, 0.0);
    for (double v : common_data::xd3) ASSERT_EQ(v, 0.0);
    EXPECT_EQ(common_data::nxd, 1);
    EXPECT_EQ(common_data::nd, 3);
    EXPECT_EQ(common_data::npr, 2);
}

TEST_F(Driver, TwoVariablesZeroOnlyTheThirdColumn) {
    sharc_test::compile_model("P1*X1+P2*X2", 2, 2);
    common_data::xd3.fill(6.0);
    auto a = one_variable_fit({1, 2, 3}, {1, 2, 3}, {1.0, 1.0}, {-10, -10}, {10, 10});
    a.m = 2;
    a.x = kalvor::Matrix(3, 2);
    for (std::size_t i = 0; i < 3; ++i) {
        a.x(i, 0) = static_cast<double>(i + 1);
        a.x(i, 1) = 10.0 + static_cast<double>(i);
    }
    a.mask = {0, 0};
    sharc_mod::sharc(a);
    EXPECT_EQ(common_data::xd2[0], 10.0);
    EXPECT_EQ(common_data::xd2[2], 12.0);
    EXPECT_EQ(common_data::xd2[3], 0.0);
    for (double v : common_data::xd3) ASSERT_EQ(v, 0.0);
}

TEST_F(Driver, TinyFreeStartValuesMoveToTheRootOfTwiceEpsilon) {
    sharc_test::compile_model("P1+P2*X1+P3*X1*X1", 3);
    auto a = one_variable_fit({1, 2, 3, 4}, {1, 2, 3, 5}, {1e-20, 0.0, 1e-20}, {-10, -10, -10}, {10, 10, 10});
    a.mask = {1, 1, 0};
    a.bounded = 0;       // the search starts from the shared final vector
    a.cap_plus_one = 1;  // no refinement cycles
    std::vector<double> first_seen;
    cascade::services().tunnelsearch = [&](const kalvor::Objective&, int k, std::span<double> p, double&,
                                           std::span<double>, std::span<double>, std::span<const int>) {
        if (first_seen.empty()) first_seen.assign(p.begin(), p.begin() + k);
    };
    sharc_mod::sharc(a);
    ASSERT_EQ(first_seen.size(), 3u);
    EXPECT_DOUBLE_EQ(first_seen[0], std::sqrt(2.0 * 2.220446049250313e-16));
    EXPECT_EQ(first_seen[1], 1e-15);  // exactly 0 is not lifted; the bound mapping moves it off 0
    EXPECT_EQ(first_seen[2], 1e-20);  // held: not lifted
}

// ---- level schedule and refinement cap ----

TEST(DriverSetup, TheRefinementCapIsArgument29LessOneOr101) {
    EXPECT_EQ(sharc_mod::refinement_cap(std::nullopt), 101);
    EXPECT_EQ(sharc_mod::refinement_cap(95), 94);
}

// The evolution stage receives the generation cap of the level; a level of
// -1 (second Difficult fit) takes argument 13 as the level and marks iopt2.
TEST_F(Driver, TheLevelSetsTheGenerationCapAndMinusOneTakesArgument13) {
    sharc_test::compile_model("P1+P2*X1", 2);
    struct Case {
        int iopt;
        int cap;
        int iopt_after;
        int iopt2_after;
    };
    for (const Case c : {Case{1, 250, 1, 0}, Case{2, 350, 2, 0}, Case{3, 350, 3, 0}, Case{0, 250, 0, 0},
                         Case{4, 250, 4, 0}, Case{-1, 250, 3, -1}}) {
        globals::iopt = c.iopt;
        globals::iopt2 = 0;
        int seen_cap = -1;
        cascade::services().evol = [&](int, int, std::span<double>, double&, int&, int cap) { seen_cap = cap; };
        auto a = one_variable_fit({1, 2, 3, 4, 5}, {5.1, 7.9, 11.2, 13.8, 17.1}, {1.0, 1.0}, {-100, -100},
                                  {100, 100});
        a.bounded = 0;  // evolution runs in every cycle of an unbounded fit
        a.level = 3;
        sharc_mod::sharc(a);
        EXPECT_EQ(seen_cap, c.cap) << "iopt " << c.iopt;
        EXPECT_EQ(globals::iopt, c.iopt_after) << "iopt " << c.iopt;
        EXPECT_EQ(globals::iopt2, c.iopt2_after) << "iopt " << c.iopt;
    }
}

// ---- the abort rule ----

// A message as the dialog shows it: its lines end in LF.
std::string shown(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

// Dialogs are answered at once and remembered.
class AbortedDriver : public Driver {
protected:
    void SetUp() override {
        Driver::SetUp();
        appgraphics::set_dialog_provider([this](const appgraphics::DialogRequest& r) {
            kinds.push_back(r.style);
            texts.push_back(r.text);
            return appgraphics::DialogAnswer{true, {}};
        });
    }
    void TearDown() override {
        appgraphics::set_dialog_provider({});
        Driver::TearDown();
    }
    std::vector<int> kinds;
    std::vector<std::string> texts;
};

// A sum of squares above 1e16 that no parameter can lower: the model is 0
// on every row (X1 = 0) and y = 1e9.
TEST_F(AbortedDriver, ASumOfSquaresAbove1e16EndsTheFitAsAborted) {
    sharc_test::compile_model("P1*X1", 1);
    auto a = one_variable_fit({0, 0, 0, 0}, {1e9, 1e9, 1e9, 1e9}, {1.0}, {-10}, {10});
    bool marq_called = false;
    cascade::services().marq = [&](cascade::MarqCall&) { marq_called = true; };
    const auto outcome = sharc_mod::sharc(a);
    EXPECT_EQ(outcome, sharc_mod::Outcome::aborted);
    EXPECT_EQ(a.ssq, -1.0);  // not overwritten by the statistics
    EXPECT_EQ(globals::bcancelrun.load(), 1);
    ASSERT_EQ(kinds.size(), 1u);
    EXPECT_EQ(kinds[0], appgraphics::DIALOG_ERROR);
    EXPECT_EQ(texts[0], shown(sharc_mod::abort_message()));
    EXPECT_FALSE(marq_called);
    // The objective guard turns 4e18 into the overflow value; the statistics
    // still ran and stored it.
    EXPECT_EQ(common_data::fssqr, sharc::vmax);
}

// Cancel pressed during the first group of stages of a cycle does not hide
// the abort test that follows it: the fit is still reported as aborted.
TEST_F(AbortedDriver, CancelBeforeTheAbortTestStillAborts) {
    sharc_test::compile_model("P1*X1", 1);
    auto a = one_variable_fit({0, 0, 0, 0}, {1e9, 1e9, 1e9, 1e9}, {1.0}, {-10}, {10});
    a.bounded = 0;  // evolution opens every cycle
    cascade::services().evol = [&](int, int, std::span<double>, double&, int&, int) { globals::bcancelrun = 1; };
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::aborted);
    EXPECT_EQ(a.ssq, -1.0);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], shown(sharc_mod::abort_message()));
}

// A stage that returns NaN parameters with a value below the best fit:
// the objective puts them in the middle of their bounds, as in every fit,
// so no NaN is kept and the fit goes on.
TEST_F(AbortedDriver, NaNParametersAreMappedIntoTheirBoundsAndNeverKept) {
    sharc_test::compile_model("1000+P1*X1", 1);
    auto a = one_variable_fit({1, 2, 3, 4, 5}, {1, 1, 1, 1, 1}, {-100.0}, {-1e3}, {1e3});
    a.bounded = 0;
    int evolutions = 0;
    cascade::services().evol = [&](int, int k, std::span<double> p, double& value, int&, int) {
        ++evolutions;
        for (int j = 0; j < k; ++j) p[static_cast<std::size_t>(j)] = std::numeric_limits<double>::quiet_NaN();
        value = 0.0;
    };
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_GT(evolutions, 1);
    EXPECT_TRUE(std::isfinite(a.p[0]));
    EXPECT_TRUE(std::isfinite(a.ssq));
    EXPECT_EQ(globals::bcancelrun.load(), 0);
    EXPECT_TRUE(texts.empty());
}

// ---- a real fit ----

// Example 1: y = P2*X1/(P1 + X1), unweighted.  The least-squares optimum,
// computed independently by Gauss-Newton iteration to convergence, is
// P1 = 32.49832, P2 = 136.94773 with a sum of squares of 1321.922682.
TEST_F(Driver, FitsTheMichaelisMentenExample) {
    auto a = example1();
    const std::vector<double> x(a.x.data(), a.x.data() + 20), y = a.y;
    const auto outcome = sharc_mod::sharc(a);

    EXPECT_EQ(outcome, sharc_mod::Outcome::fitted);
    EXPECT_NEAR(a.p[0], 32.49843, 2e-4);
    EXPECT_NEAR(a.p[1], 136.9479, 1e-3);
    EXPECT_NEAR(a.ssq, 1321.9227, 1e-4);
    EXPECT_DOUBLE_EQ(common_data::fssqr, a.ssq);
    EXPECT_EQ(common_data::pfinal[0], a.p[0]);
    EXPECT_EQ(common_data::pfinal[1], a.p[1]);
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double model = a.p[1] * x[i] / (a.p[0] + x[i]);
        ASSERT_NEAR(a.ycalc[i], model, 1e-9);
        ASSERT_NEAR(common_data::yres[i], y[i] - model, 1e-9);
    }
    // Confidence half-widths are t(18) times the standard errors.
    const double t = sharc_mod::tval95(18);
    for (std::size_t j = 0; j < 2; ++j) {
        EXPECT_GT(a.se[j], 0.0);
        EXPECT_DOUBLE_EQ(a.ci[j], t * a.se[j]);
    }
    EXPECT_EQ(globals::bcancelrun.load(), 0);
    EXPECT_DOUBLE_EQ(globals::timemax, 600000.0);
}

// ---- results after the cascade ----

TEST(DriverResults, ConfidenceLimitsUseAtLeastThreeDegreesOfFreedom) {
    EXPECT_EQ(sharc_mod::confidence_df(10, 4, 1), 5);
    EXPECT_EQ(sharc_mod::confidence_df(5, 4, 0), 3);
    EXPECT_EQ(sharc_mod::confidence_df(20, 2, 0), 18);
}

TEST(DriverResults, ComponentSharesArePercentagesOfEachEigenvector) {
    // Uncorrelated parameters: each component is one parameter.
    kalvor::Matrix diagonal(3, 3);
    diagonal(0, 0) = 4.0;
    diagonal(1, 1) = 2.0;
    diagonal(2, 2) = 1.0;
    const auto shares = sharc_mod::component_percentages(diagonal, 3);
    for (std::size_t c = 0; c < 3; ++c) {
        double sum = 0.0;
        for (std::size_t i = 0; i < 3; ++i) sum += shares(i, c);
        EXPECT_NEAR(sum, 100.0, 1e-9);
    }
    EXPECT_NEAR(shares(0, 0), 100.0, 1e-9);  // largest eigenvalue first
    EXPECT_NEAR(shares(2, 2), 100.0, 1e-9);
    // [[2, 1], [1, 2]]: eigenvectors (1, 1) and (1, -1), half and half.
    kalvor::Matrix coupled(2, 2);
    coupled(0, 0) = coupled(1, 1) = 2.0;
    coupled(0, 1) = coupled(1, 0) = 1.0;
    const auto halves = sharc_mod::component_percentages(coupled, 2);
    for (std::size_t i = 0; i < 2; ++i)
        for (std::size_t c = 0; c < 2; ++c) EXPECT_NEAR(halves(i, c), 50.0, 1e-9);
}

TEST_F(Driver, AOneVariableFitLeavesItsBandTheConditionIndicesAndTheResiduals) {
    auto a = example1();
    common_data::cimat.resize(11, 11, 5.0);
    int boots = 0;
    cascade::services().bootstrap = [&](std::span<const double> xs, std::span<double> ys, int n, double alpha,
                                        int replicates, int method, int control, std::span<double> mean,
                                        std::span<double> lcl, std::span<double> ucl) {
        ++boots;
        EXPECT_EQ(n, 20);
        EXPECT_EQ(xs[3], 20.0);
        EXPECT_EQ(ys[3], 45.1);
        EXPECT_EQ(alpha, 0.05);
        EXPECT_EQ(replicates, 100);
        EXPECT_EQ(method, 2);
        EXPECT_EQ(control, 1);
        for (int i = 0; i < n; ++i) {
            const auto r = static_cast<std::size_t>(i);
            mean[r] = 1000.0 + i;
            lcl[r] = -1.0 - i;
            ucl[r] = 1.0 + i;
        }
    };
    sharc_mod::sharc(a);
    EXPECT_EQ(boots, 1);
    EXPECT_EQ(common_data::ybs_filled, 1);
    EXPECT_EQ(a.ycalc[4], 1004.0);  // the mean curve replaces the calculated values
    EXPECT_EQ(common_data::ybs_mean[4], 1004.0);
    EXPECT_EQ(common_data::ybs_lcl[4], -5.0);
    EXPECT_EQ(common_data::ybs_ucl[4], 5.0);
    EXPECT_NEAR(common_data::ydf[4], a.p[1] * 25.0 / (a.p[0] + 25.0), 1e-9);

    // Two free parameters: a 3 x 3 table, column labels in its first row.
    EXPECT_EQ(common_data::cimat(0, 1), 1.0);
    EXPECT_EQ(common_data::cimat(0, 2), 2.0);
    EXPECT_GE(common_data::cimat(2, 0), 1.0);
    for (std::size_t j = 0; j < 11; ++j)
        for (std::size_t i = 0; i < 11; ++i)
            if (i > 2 || j > 2) {
                ASSERT_EQ(common_data::cimat(i, j), 0.0) << i << "," << j;
            }

    ASSERT_EQ(a.studentized.size(), 20u);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(common_data::ydr[i], a.studentized[i]);
        EXPECT_LE(std::fabs(a.studentized[i]), 5.9);
    }
    EXPECT_EQ(a.influence.rows(), 2u);
}

TEST_F(Driver, ATwoVariableFitLeavesTheBootstrapBandAlone) {
    sharc_test::compile_model("P1*X1+P2*X2", 2, 2);
    common_data::ybs_mean.fill(7.0);
    common_data::ybs_filled = 1;  // left by an earlier fit
    bool booted = false;
    cascade::services().bootstrap = [&](std::span<const double>, std::span<double>, int, double, int, int, int,
                                        std::span<double>, std::span<double>, std::span<double>) { booted = true; };
    auto a = one_variable_fit({1, 2, 3, 4, 5, 6}, {3.1, 2.9, 5.2, 4.8, 7.1, 6.9}, {1.0, 1.0}, {-10, -10},
                              {10, 10});
    a.m = 2;
    a.x = kalvor::Matrix(6, 2);
    for (std::size_t i = 0; i < 6; ++i) {
        a.x(i, 0) = static_cast<double>(i + 1);
        a.x(i, 1) = i % 2 == 0 ? 1.0 : -1.0;
    }
    EXPECT_EQ(sharc_mod::sharc(a), sharc_mod::Outcome::fitted);
    EXPECT_FALSE(booted);
    EXPECT_EQ(common_data::ybs_filled, 0);  // no band of this fit to show
    EXPECT_EQ(common_data::ybs_mean[0], 7.0);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_NEAR(a.ycalc[i], a.p[0] * a.x(i, 0) + a.p[1] * a.x(i, 1), 1e-12);
}

}  // namespace
