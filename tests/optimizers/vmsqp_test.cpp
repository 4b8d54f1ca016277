// The sequential-quadratic optimiser: fits with known optima, bounds, held
// parameters, hostile models, its objective, constraints and metric update,
// and its report.

#include "optimizers/vmsqp.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/globals.h"
#include "optimizers/fit_fixture.h"

namespace {

using namespace optimizer_test;

constexpr double driver_value = 4.503599727262001e19;

struct Result {
    std::vector<double> p, yfit, res, w;
    double f = 0.0;
};

// One call as the fitting driver makes it, on the shared rows.
Result run(std::vector<double> p, const std::vector<double>& lo, const std::vector<double>& hi,
           std::vector<int> mask = {}, double f_in = driver_value, int maxit = 100) {
    if (mask.empty()) mask.assign(p.size(), 1);
    use_parameters(mask, lo, hi);
    const int n = static_cast<int>(p.size()), nd = common_data::nd;
    const auto rows = static_cast<std::size_t>(nd);
    Result r;
    r.p = p;
    r.yfit.assign(rows, -1.0);
    r.res.assign(rows, -1.0);
    r.w.assign(rows, -1.0);
    const std::vector<double> y(common_data::yd.begin(), common_data::yd.begin() + nd), work(rows, 0.0);
    int mode = 0;
    r.f = f_in;
    vmsqp_mod::vmsqp(maxit, n, nd, common_data::nxd, 2 * n, mode, r.w, work, y, r.yfit, r.res, r.p, lo, hi, mask,
                     r.f);
    return r;
}

// model_function at p: the sum of squares with its fitted values and residuals.
Result fresh(const std::vector<double>& p) {
    const int nd = common_data::nd;
    const auto rows = static_cast<std::size_t>(nd);
    const std::vector<double> y(common_data::yd.begin(), common_data::yd.begin() + nd);
    Result r;
    r.p = p;
    r.yfit.assign(rows, 0.0);
    r.res.assign(rows, 0.0);
    r.w.assign(rows, 0.0);
    int mode = 0;
    initialize_vmsqp::model_function(nd, static_cast<int>(p.size()), common_data::nxd, mode, p, r.w, {}, y, r.yfit,
                                     r.res, r.f);
    return r;
}

bool inside(const Result& r, const std::vector<double>& lo, const std::vector<double>& hi) {
    for (std::size_t i = 0; i < r.p.size(); ++i)
        if (!(r.p[i] >= lo[i] && r.p[i] <= hi[i])) return false;
    return true;
}

// The returned value, fitted values and residuals are those of the returned
// parameters, evaluated afresh.
void expect_consistent(const Result& r) {
    const Result again = fresh(r.p);
    EXPECT_EQ(r.f, again.f);
    EXPECT_EQ(r.yfit, again.yfit);
    EXPECT_EQ(r.res, again.res);
    for (const double w : r.w) EXPECT_EQ(w, 1.0);
}

// ---- fits with known optima ----

TEST(Vmsqp, SolvesRosenbrockFromTheClassicStart) {
    use_rosenbrock();
    const Result r = run({-1.2, 1.0}, {-5.0, -5.0}, {5.0, 5.0});
    EXPECT_NEAR(r.p[0], 1.0, 1e-6);
    EXPECT_NEAR(r.p[1], 1.0, 1e-6);
    EXPECT_LT(r.f, 1e-12);
    EXPECT_NEAR(r.f, rosenbrock(r.p[0], r.p[1]), 1e-15);
    expect_consistent(r);
}

TEST(Vmsqp, SolvesAnExactLine) {
    use_exact_line();
    const Result r = run({0.5, 0.5}, {-100.0, -100.0}, {100.0, 100.0});
    EXPECT_NEAR(r.p[0], 2.0, 1e-6);
    EXPECT_NEAR(r.p[1], 3.0, 1e-7);
    expect_consistent(r);
}

// A start 5e-9 above a lower bound puts that bound in force, yet the
// optimum lies inside: the step away from the bound must not be dropped.
TEST(Vmsqp, LeavesALowerBoundItStartsNextTo) {
    use_exact_line();
    const Result r = run({0.5, 5e-9}, {-100.0, 0.0}, {100.0, 100.0});
    EXPECT_NEAR(r.p[0], 2.0, 1e-6);
    EXPECT_NEAR(r.p[1], 3.0, 1e-7);
}

// The least-squares line lies beyond P2 <= 2.5: the result stays in the
// bounds and is no worse than the start.
TEST(Vmsqp, AnUpperBoundInTheWayNeverMakesTheFitWorse) {
    use_exact_line();
    const std::vector<double> lo{-100.0, -100.0}, hi{100.0, 2.5};
    const double start = fresh({4.0, 2.4}).f;
    const Result r = run({4.0, 2.4}, lo, hi);
    EXPECT_TRUE(inside(r, lo, hi));
    EXPECT_LE(r.f, start);
    expect_consistent(r);
}

// Driver's value 4.5e19 on entry, the start already optimal: no step may
// be taken just because it beats that value.
TEST(Vmsqp, NeverEndsAboveItsOwnStartWhateverTheCallerClaims) {
    sharc_test::compile_model("P1+P2*X1", 2);
    use_rows({{1, 2, 3, 4, 5, 6, 7, 8}}, {2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.1});
    // Least-squares line of these rows (normal equations).
    const std::vector<double> best{0.03571428571428292, 1.9976190476190478};
    const double start = fresh(best).f;
    for (const double f_in : {driver_value, 0.0}) {
        const Result r = run(best, {-100.0, -100.0}, {100.0, 100.0}, {}, f_in);
        EXPECT_LE(r.f, start) << f_in;
        EXPECT_NEAR(r.p[0], best[0], 1e-6);
        expect_consistent(r);
    }
}

// Held parameters come back bit for bit, a negative one and one outside
// its bounds included; the free ones reach the optimum with them held.
// (The one outside relocates the free ones at every step, so they start
// off zero, where their working bounds would collapse.)
TEST(Vmsqp, HeldParametersNeverMove) {
    use_quadratic();
    const double held = -0.30000000000000004;
    const std::vector<double> lo{-10.0, -10.0, 0.0}, hi{10.0, 10.0, 1.0};  // held value below its bound
    const Result r = run({0.5, 0.2, held}, lo, hi, {1, 1, 0});
    EXPECT_EQ(std::bit_cast<std::uint64_t>(r.p[2]), std::bit_cast<std::uint64_t>(held));
    EXPECT_NEAR(r.p[0], 1.0, 1e-5);
    EXPECT_NEAR(r.p[1], 0.5, 1e-5);

    const double held1 = -1.7;
    const Result only = run({held1, 0.0, -0.3}, {-10.0, -10.0, -1.0}, {10.0, 10.0, 1.0}, {0, 1, 0});
    EXPECT_EQ(only.p[0], held1);
    EXPECT_EQ(only.p[2], -0.3);
    // With P1 held at -1.7 and P3 at -0.3 the best slope is
    // sum x (y + 1.7 + 0.3 x^2) / sum x^2 = sum x (2.7 + 0.5 x) / sum x^2.
    double sxy = 0.0, sxx = 0.0;
    for (int x = 1; x <= 8; ++x) {
        sxy += x * (2.7 + 0.5 * x);
        sxx += x * x;
    }
    EXPECT_NEAR(only.p[1], sxy / sxx, 1e-6);
}

// A held parameter on its bound sets off the relocation at every new point:
// the working bounds of the active parameters become [b/10, 10 b] around
// it, as the report's constraint check shows, and the fit still ends at the
// optimum with the held value untouched.
TEST(Vmsqp, AHeldParameterOnItsBoundRelocatesTheActiveOnes) {
    use_quadratic();
    vmsqp_mod::bprint = 1;
    testing::internal::CaptureStdout();
    const Result r = run({0.5, 0.2, -0.3}, {-10.0, -10.0, -0.3}, {10.0, 10.0, 1.0}, {1, 1, 0});
    const std::string out = testing::internal::GetCapturedStdout();
    vmsqp_mod::bprint = 0;
    EXPECT_EQ(r.p[2], -0.3);
    EXPECT_NEAR(r.p[0], 1.0, 1e-5);
    EXPECT_NEAR(r.p[1], 0.5, 1e-5);
    for (const char* expected : {"OK: b(1) =  1.00000E+00 >  1.00000E-01", "OK: b(2) =  5.00000E-01 <  5.00000E+00",
                                 "VIOLATION: b(3) = -3.00000E-01 <= -3.00000E-01"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

TEST(Vmsqp, WithNothingToMoveTheStartComesBack) {
    use_exact_line();
    const Result r = run({1.0, 2.0}, {-10.0, -10.0}, {10.0, 10.0}, {0, 0});
    EXPECT_EQ(r.p, (std::vector<double>{1.0, 2.0}));
    expect_consistent(r);

    // No parameters at all: the value of the model as it stands.
    sharc_test::compile_model("3*X1", 0);
    const Result none = run({}, {}, {});
    EXPECT_EQ(none.f, 8.0 * 2.0 * 2.0);  // every residual is 2
}

// A model with NaN and infinite values near its start (see use_hostile_line).
TEST(Vmsqp, ModelsWithNaNAndInfinityAtTrialPointsGiveFiniteResults) {
    use_hostile_line();
    const std::vector<double> lo{-100.0, -100.0}, hi{100.0, 100.0};
    for (const std::vector<double>& start : hostile_starts) {
        const double before = fresh(start).f;
        const Result r = run(start, lo, hi);
        EXPECT_TRUE(std::isfinite(r.f));
        EXPECT_TRUE(std::isfinite(r.p[0]) && std::isfinite(r.p[1]));
        EXPECT_LE(r.f, before);
        EXPECT_TRUE(inside(r, lo, hi));
        expect_consistent(r);
    }
}

TEST(Vmsqp, CountsBeyondTheArraysAreRefusedBeforeAnyWork) {
    use_exact_line();
    std::vector<double> p(11, 1.0), lo(11, -1.0), hi(11, 2.0), rows(8), y(8, 1.0);
    const std::vector<int> mask(11, 1);
    int mode = 0;
    double f = 1.0;
    EXPECT_THROW(vmsqp_mod::vmsqp(100, 11, 8, 1, 22, mode, rows, rows, y, rows, rows, p, lo, hi, mask, f),
                 std::out_of_range);
    EXPECT_THROW(vmsqp_mod::vmsqp(100, 2, 1001, 1, 4, mode, rows, rows, y, rows, rows, p, lo, hi, mask, f),
                 std::out_of_range);
    EXPECT_THROW(vmsqp_mod::vmsqp(100, 2, 8, 1, 3, mode, rows, rows, y, rows, rows, p, lo, hi, mask, f),
                 std::out_of_range);
    EXPECT_THROW(vmsqp_mod::vmsqp(100, 2, 9, 1, 4, mode, rows, rows, y, rows, rows, p, lo, hi, mask, f),
                 std::out_of_range);
    EXPECT_EQ(p, std::vector<double>(11, 1.0));
    EXPECT_EQ(f, 1.0);
    EXPECT_THROW(vmsqp_mod::adam_update_s(p, p, 11, 1), std::out_of_range);
}

TEST(Vmsqp, EvaluationCapOfACycle) {
    EXPECT_EQ(vmsqp_mod::max_evaluations(100), 2500);
    EXPECT_EQ(vmsqp_mod::max_evaluations(99), 4950);
    EXPECT_EQ(vmsqp_mod::max_evaluations(150), 3750);
}

// ---- objective, constraints, differences ----

TEST(VmsqpObjective, ObjectiveIsThePlainSumOfSquares) {
    use_exact_line();
    common_data::ysig[0] = 5.0;  // weights play no part
    const Result r = fresh({2.0, 2.5});
    double expected = 0.0;
    for (int i = 1; i <= 8; ++i) expected += (0.5 * i) * (0.5 * i);
    EXPECT_DOUBLE_EQ(r.f, expected);
    EXPECT_DOUBLE_EQ(r.res[3], 2.0);
    EXPECT_DOUBLE_EQ(r.yfit[3], 12.0);

    common_data::nd = 0;
    double f = -1.0;
    int mode = 0;
    std::vector<double> none(1);
    initialize_vmsqp::model_function(0, 2, 1, mode, std::vector<double>{1, 1}, none, {}, none, none, none, f);
    EXPECT_EQ(f, 0.0);
}

TEST(VmsqpObjective, BoundsBecomeConstraintsWithUnitGradients) {
    const std::vector<double> x{1.0, -2.0}, lo{0.0, -1.0}, hi{3.0, 5.0};
    std::vector<double> c(5, 9.0);
    initialize_vmsqp::evaluate_constraints(x, 2, c, 5, lo, hi);
    EXPECT_EQ(c, (std::vector<double>{-1.0, 1.0, -2.0, -7.0, 0.0}));

    kalvor::Matrix a(4, 2, 7.0);
    initialize_vmsqp::compute_constraint_gradients(a, 4, 2, std::vector<int>{1, 0});
    EXPECT_EQ(a(0, 0), -1.0);
    EXPECT_EQ(a(2, 0), 1.0);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(a(i, 1), 0.0);  // held parameter
    EXPECT_EQ(a(1, 0), 0.0);
    EXPECT_EQ(a(3, 0), 0.0);
}

TEST(VmsqpObjective, GradientIsACentralDifferenceWithFlooredSteps) {
    EXPECT_EQ(vmsqp_mod::difference_step(0.0), 1.0000002e-5);
    EXPECT_EQ(vmsqp_mod::difference_step(-1000.0), (1000.0 + 1.0000002e-5) * 1.0000002e-5);

    // f = sum (y - P1 - P2 x)^2 has gradient -2 sum r (1, x); P3 is held
    // and P4 does not enter the model (a flat direction).
    sharc_test::compile_model("P1+P2*X1+P3+0*P4", 4);
    use_rows({{1, 2, 3}}, {1.0, 4.0, 2.0});
    std::vector<double> b{0.5, 1.0, 0.25, 3.0}, g(4, 9.0), w(3, 0.0);
    const std::vector<double> y{1.0, 4.0, 2.0};
    const std::vector<int> mask{1, 1, 0, 1};
    int nfev = 5;
    vmsqp_mod::compute_gradient_numerical(b, {}, y, w, g, 3, 4, 1, 0, nfev, mask);
    double g1 = 0.0, g2 = 0.0;
    for (int i = 1; i <= 3; ++i) {
        const double r = y[static_cast<std::size_t>(i - 1)] - 0.75 - 1.0 * i;
        g1 += -2.0 * r;
        g2 += -2.0 * r * i;
    }
    EXPECT_NEAR(g[0], g1, 1e-8);
    EXPECT_NEAR(g[1], g2, 1e-8);
    EXPECT_EQ(g[2], 0.0);
    EXPECT_EQ(g[3], 1.02e-10 / (2.0 * vmsqp_mod::difference_step(3.0)));
    EXPECT_EQ(nfev, 11);
    EXPECT_EQ(b, (std::vector<double>{0.5, 1.0, 0.25, 3.0}));
}

// ---- the ADAM corrections and the metric update ----

TEST(VmsqpUpdate, FirstAdamStepIsTheRateWithTheGradientsSign) {
    use_parameters({1, 1, 0}, {0, 0, 0}, {1, 1, 1});
    std::vector<double> x{1.0, 1.0, 1.0};
    const std::vector<double> grad{4.0, -0.5, 3.0};
    // At t = 1 the corrected moments are g and g^2: the step is
    // rate g / (|g| + 1e-8).
    const auto first_step = [](double rate, double g) { return rate * g / (std::fabs(g) + 1e-8); };
    vmsqp_mod::adam_update_s(x, grad, 3, 1);
    EXPECT_NEAR(x[0], 1.0 - first_step(0.001, 4.0), 1e-15);
    EXPECT_NEAR(x[1], 1.0 - first_step(0.001, -0.5), 1e-15);
    EXPECT_EQ(x[2], 1.0);  // held in the shared mask

    // t = 1 restarts the moments: a second start gives the same first step
    // whatever came before.
    std::vector<double> z{0.0, 0.0};
    vmsqp_mod::adam_update_y(z, std::vector<double>{1.0, 1.0}, 2, 1);
    vmsqp_mod::adam_update_y(z, std::vector<double>{-50.0, 7.0}, 2, 2);
    std::vector<double> again{0.0, 0.0};
    vmsqp_mod::adam_update_y(again, std::vector<double>{3.0, 3.0}, 2, 1);
    EXPECT_NEAR(again[0], -first_step(0.0001, 3.0), 1e-18);
    EXPECT_NEAR(again[1], -first_step(0.0001, 3.0), 1e-18);
}

TEST(VmsqpUpdate, NaNEntriesAreReplaced) {
    use_parameters({1, 1}, {0, 0}, {1, 1});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> grad{1.0, 1.0};
    std::vector<double> s{nan, 5.0};
    testing::internal::CaptureStdout();
    vmsqp_mod::adam_update_s(s, grad, 2, 1);
    std::vector<double> y{nan, 5.0};
    vmsqp_mod::adam_update_y(y, grad, 2, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(s, (std::vector<double>{2.0, 5.0}));  // the pass stops at the NaN
    EXPECT_EQ(y[0], 0.0);
    EXPECT_NEAR(y[1], 5.0 - 0.0001 / (1.0 + 1e-8), 1e-15);  // and here goes on
    EXPECT_NE(out.find("ERROR: NaN detected in parameter"), std::string::npos);
}

TEST(VmsqpUpdate, MetricUpdateSkipsUnsafeCurvatureAndHeldRows) {
    use_parameters({1, 0}, {0, 0}, {1, 1});
    const std::vector<int> held_second{1, 0};
    const std::vector<double> b{1.0, 1.0}, b_new{1.5, 1.0}, g{2.0, 0.0}, g_new{1.0, 0.0}, none;
    const kalvor::Matrix a;

    kalvor::Matrix h = kalvor::Matrix::identity(2);
    h(1, 0) = 0.25;
    EXPECT_TRUE(vmsqp_mod::quasi_newton_update(h, b, b_new, g, g_new, none, none, a, 2, 0, held_second, 1));
    EXPECT_EQ(h(1, 0), 0.25);  // the held parameter's row stays
    EXPECT_EQ(h(1, 1), 1.0);
    EXPECT_TRUE(std::isfinite(h(0, 0)) && h(0, 0) != 1.0);

    // Negative curvature s'Hs: the update would divide by it.
    kalvor::Matrix negative = kalvor::Matrix::identity(2);
    negative(0, 0) = -1.0;
    const kalvor::Matrix before = negative;
    EXPECT_FALSE(vmsqp_mod::quasi_newton_update(negative, b, b_new, g, g_new, none, none, a, 2, 0, held_second, 1));
    EXPECT_EQ(negative, before);

    // Entries that would overflow.
    kalvor::Matrix huge = kalvor::Matrix::identity(2);
    huge(0, 0) = 1e308;
    huge(0, 1) = 1e308;
    const kalvor::Matrix huge_before = huge;
    const std::vector<double> big_g_new{-1e300, 0.0};
    EXPECT_FALSE(
        vmsqp_mod::quasi_newton_update(huge, b, b_new, g, big_g_new, none, none, a, 2, 0, held_second, 1));
    EXPECT_EQ(huge, huge_before);
}

// ---- report ----

TEST(VmsqpReport, SilentUnlessSwitchedOn) {
    use_exact_line();
    testing::internal::CaptureStdout();
    run({0.5, 0.5}, {-100.0, -100.0}, {100.0, 100.0});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    vmsqp_mod::bprint = 1;
    testing::internal::CaptureStdout();
    run({0.5, 0.5}, {-100.0, -100.0}, {100.0, 100.0});
    const std::string out = testing::internal::GetCapturedStdout();
    vmsqp_mod::bprint = 0;
    for (const char* expected : {"Start of cycle=", "REGRESSION STATISTICS", "CONSTRAINT SATISFACTION CHECK",
                              "ALL LOWER BOUND CONSTRAINTS SATISFIED!", "MODEL FIT COMPARISON",
                              "VMSQP OPTIMIZATION COMPLETED", "  b( 1) =  2.00000000E+00"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected;
    // An exact line: R-squared 1 from the reconstructed observations.
    EXPECT_NE(out.find("R-squared:   1.000000"), std::string::npos) << out;
}

// Everything held: each cycle's iteration evaluates b, two line-search
// trials (the first is never accepted, the second is b again) and the new
// point, 4 evaluations; cycles 1 and 2 converge at iteration 2, cycle 3
// ends on the unchanged point at iteration 1.  The summary gives those true
// totals, 5 iterations and 20 evaluations.
TEST(VmsqpReport, SummaryCountsEveryIterationAndEvaluation) {
    use_exact_line();
    vmsqp_mod::bprint = 1;
    testing::internal::CaptureStdout();
    run({1.0, 2.0}, {-10.0, -10.0}, {10.0, 10.0}, {0, 0});
    const std::string out = testing::internal::GetCapturedStdout();
    vmsqp_mod::bprint = 0;
    EXPECT_NE(out.find("Total iterations:          5"), std::string::npos) << out;
    EXPECT_NE(out.find("Function evaluations:         20"), std::string::npos) << out;
}

// Straight line through (1, 1), (2, 3), (3, 2), (4, 4): slope 0.8, SSR 1.8,
// MSE 0.9, standard error of the slope sqrt(0.9 / 5).
TEST(VmsqpReport, StatisticsOfALineFit) {
    const std::vector<double> b{0.5, 0.8}, res{-0.3, 0.9, -0.9, 0.3}, x{1, 2, 3, 4}, w(4, 1.0);
    kalvor::Matrix j(4, 2);
    for (std::size_t k = 0; k < 4; ++k) {
        j(k, 0) = 1.0;
        j(k, 1) = x[k];
    }
    testing::internal::CaptureStdout();
    vmsqp_mod::regression_statistics(b, res, x, j, w, 4, 2, std::vector<int>{1, 1});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Mean squared error:  9.00000000E-01"), std::string::npos) << out;
    EXPECT_NE(out.find("R-squared:   0.640000"), std::string::npos) << out;  // 1 - 1.8 / 5
    EXPECT_NE(out.find(" 4.2426407E-01"), std::string::npos) << out;       // sqrt(0.18)

    // Two rows for two parameters and a flat observation vector.
    const std::vector<double> zero(2, 0.0);
    kalvor::Matrix flat(2, 2);
    flat(0, 0) = flat(1, 0) = 1.0;
    testing::internal::CaptureStdout();
    vmsqp_mod::regression_statistics(std::vector<double>{0.0, 0.0}, zero, zero, flat, zero, 2, 2,
                                     std::vector<int>{1, 1});
    const std::string na = testing::internal::GetCapturedStdout();
    EXPECT_NE(na.find("Mean squared error: N/A"), std::string::npos) << na;
    EXPECT_NE(na.find("Root mean squared error: N/A"), std::string::npos) << na;
    EXPECT_NE(na.find("R-squared: N/A"), std::string::npos) << na;
    EXPECT_EQ(na.find("nan"), std::string::npos) << na;
    EXPECT_EQ(na.find("NaN"), std::string::npos) << na;

    testing::internal::CaptureStdout();
    vmsqp_mod::print_final_results(std::vector<double>{1.0, 2.0}, 3.0, zero, zero, 5, 40, 2, 2, 2);
    const std::string summary = testing::internal::GetCapturedStdout();
    EXPECT_NE(summary.find("RMS error: N/A"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Final objective (SSR):  3.00000000E+00"), std::string::npos) << summary;
}

TEST(VmsqpReport, ConstraintCheckNamesEachViolation) {
    testing::internal::CaptureStdout();
    vmsqp_mod::detailed_constraint_check(std::vector<double>{0.0, 5.0}, 2, std::vector<double>{0.0, 1.0},
                                         std::vector<double>{1.0, 4.0});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("VIOLATION: b(1) =  0.00000E+00 <=  0.00000E+00"), std::string::npos) << out;
    EXPECT_NE(out.find("OK: b(2) =  5.00000E+00 >  1.00000E+00"), std::string::npos) << out;
    EXPECT_NE(out.find("VIOLATION: b(2) =  5.00000E+00 >=  4.00000E+00"), std::string::npos) << out;
    EXPECT_NE(out.find("WARNING: 1 constraint violation(s) detected"), std::string::npos) << out;
}

}  // namespace
