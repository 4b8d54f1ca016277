// The variable-metric least-squares optimiser on fits in the shared fit
// data: closed-form optima, bounds, held parameters, rejected calls, and its
// finite differences at a bound.

#include "optimizers/va10b.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/fit_fixture.h"
#include "optimizers/va10b_box.h"
#include "optimizers/va10b_derivatives.h"
#include "optimizers/va10b_search.h"

namespace {

using Vector = std::vector<double>;
using sharc_test::FitProblem;

// Example 1 from (10, 100).
FitProblem michaelis_menten() { return optimizer_test::michaelis_menten({10.0, 100.0}); }

struct Result {
    Vector b;
    double f = 0.0;
    int iexit = 99;
    Vector h;
};

class Va10b : public ::testing::Test {
protected:
    void TearDown() override { globals::reset_run_state(); }

    void fit(const FitProblem& problem) {
        sharc::DriverState s;
        sharc_test::set_up_fit(s, problem);
    }

    Result run(Vector b, int start_mode = 1, int maxfn = 1000) {
        Result r;
        const int n = static_cast<int>(b.size());
        r.h.assign(static_cast<std::size_t>(n * (n + 1) / 2), 1.0);
        r.f = -1.0;
        va10b_mod::va10b_optimizer(common_data::nd, n, b, r.f, r.h, start_mode, 1, maxfn, r.iexit);
        r.b = b;
        return r;
    }

    static double objective(const Vector& b) {
        double f = 0.0;
        va10b_mod::objective_function(static_cast<int>(b.size()), b, f);
        return f;
    }
};

TEST_F(Va10b, FitsExactAndNoisyLinesToTheirClosedForm) {
    for (const Vector& y : {Vector{5, 8, 11, 14, 17, 20, 23, 26}, Vector{2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.1}}) {
        FitProblem problem = sharc_test::line_problem();
        problem.y = y;
        problem.p = {1.0, 1.0};
        fit(problem);
        const auto line = sharc_test::least_squares_line(problem.x, y);
        const Result r = run(problem.p);
        EXPECT_GE(r.iexit, 0);
        // Forward differences leave an offset of the order of their step.
        EXPECT_NEAR(r.b[0], line.a, 2e-4);
        EXPECT_NEAR(r.b[1], line.b, 4e-5);
        EXPECT_NEAR(r.f, line.ssq, 1e-7);
        EXPECT_DOUBLE_EQ(r.f, objective(r.b));  // the value belongs to the returned point
    }
}

// Rosenbrock's function as the sum of squares of two residual rows,
// 10 (P2 - P1^2) and 1 - P1.
TEST_F(Va10b, FollowsTheRosenbrockValleyAsTwoResiduals) {
    FitProblem problem;
    problem.formula = "(2-X1)*10*(P1*P1-P2)+(X1-1)*P1";
    problem.x = {1, 2};
    problem.y = {0, 1};
    problem.p = {-1.2, 1.0};
    fit(problem);
    const Result r = run(problem.p);
    EXPECT_NEAR(r.b[0], 1.0, 2e-3);
    EXPECT_NEAR(r.b[1], 1.0, 4e-3);
    EXPECT_LT(r.f, 1e-5);
}

// The sum of squares of Example 1 at P2 = 120 as a function of P1, and its
// minimum by golden-section search.
double example1_sum(double p1) {
    return optimizer_test::plain_ssq(michaelis_menten(), [&](double x) { return 120.0 * x / (p1 + x); });
}
double example1_best_p1() {
    double a = 1.0, b = 100.0;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    while (b - a > 1e-10) {
        const double c = b - g * (b - a), d = a + g * (b - a);
        if (example1_sum(c) < example1_sum(d))
            b = d;
        else
            a = c;
    }
    return (a + b) / 2.0;
}

TEST_F(Va10b, AnUpperBoundBelowTheOptimumHoldsP2AndP1TakesItsBestValue) {
    FitProblem problem = michaelis_menten();
    problem.hi = {1e6, 120.0};
    fit(problem);
    const Result r = run(problem.p);
    EXPECT_EQ(r.b[1], 120.0);
    EXPECT_NEAR(r.b[0], example1_best_p1(), 1e-4);
    EXPECT_NEAR(r.f, example1_sum(r.b[0]), 1e-9 * r.f);
}

TEST_F(Va10b, AHeldParameterOutsideItsBoundsIsLeftWhereItIs) {
    FitProblem problem = sharc_test::line_problem();
    problem.p = {0.0, 5.0};
    problem.mask = {1, 0};
    problem.lo = {-100.0, 0.0};
    problem.hi = {100.0, 2.0};
    fit(problem);
    const Result r = run(problem.p);
    EXPECT_EQ(r.b[1], 5.0);
    double intercept = 0.0;  // best intercept for the slope 5: mean of y - 5 x
    for (std::size_t i = 0; i < problem.x.size(); ++i) intercept += (problem.y[i] - 5.0 * problem.x[i]) / 8.0;
    EXPECT_NEAR(r.b[0], intercept, 1e-4);
}

// No active parameter among entries 1..n (stale entries beyond n do not
// count), or a start mode other than 1: nothing moves, exit -1, f the value
// at b.
TEST_F(Va10b, RejectedCallsLeaveTheParametersAlone) {
    FitProblem problem = sharc_test::line_problem();
    problem.p = {0.5, 1.5};
    problem.mask = {0, 0};
    fit(problem);
    for (int k = 2; k < common_data::param_slots; ++k) common_data::pmask[static_cast<std::size_t>(k)] = 1;
    Result r = run(problem.p);
    EXPECT_EQ(r.iexit, va10b_mod::exit_rejected);
    EXPECT_EQ(r.b, problem.p);
    EXPECT_DOUBLE_EQ(r.f, objective(problem.p));
    EXPECT_EQ(r.h, Vector(3, 0.0));

    common_data::pmask[0] = common_data::pmask[1] = 1;
    for (int mode : {2, 3}) {
        r = run(problem.p, mode);
        EXPECT_EQ(r.iexit, va10b_mod::exit_rejected) << mode;
        EXPECT_EQ(r.b, problem.p) << mode;
    }

    // More parameters than the shared box holds, or a metric too short for
    // its count: refused before any evaluation.
    Vector b(11, 0.5), h(66, 1.0);
    double f = -1.0;
    int iexit = 99;
    const long long before = funct::evaluation_count();
    EXPECT_THROW(va10b_mod::va10b_optimizer(common_data::nd, 11, b, f, h, 1, 1, 100, iexit), std::out_of_range);
    EXPECT_THROW(va10b_mod::va10b_optimizer(common_data::nd, 4, b, f, std::span<double>(h).first(9), 1, 1, 100, iexit),
                 std::out_of_range);
    EXPECT_EQ(funct::evaluation_count(), before);
    EXPECT_EQ(b, Vector(11, 0.5));
    EXPECT_EQ(iexit, 99);
}

TEST_F(Va10b, LeavesTheRunsRandomGeneratorAlone) {
    fit(michaelis_menten());
    const std::vector<std::int32_t> seed(static_cast<std::size_t>(runtime::random_seed_size()), 12345);
    runtime::random_seed_put(seed);
    const double expected = runtime::random_number();
    runtime::random_seed_put(seed);
    run({10.0, 100.0}, 1, 100);
    EXPECT_EQ(runtime::random_number(), expected);
}

TEST_F(Va10b, ATrialSearchIsRepeatableAndNeverWorse) {
    fit(michaelis_menten());
    const va10b_optimizer::Box box = va10b_optimizer::Box::shared(2);
    Vector b1 = {30.0, 130.0}, b2 = b1;
    double f1 = objective(b1), f2 = f1;
    const double start = f1;
    va10b_optimizer::tsearch(b1, f1, box);
    va10b_optimizer::tsearch(b2, f2, box);
    EXPECT_EQ(b1, b2);
    EXPECT_EQ(f1, f2);
    EXPECT_LT(f1, start);
    EXPECT_DOUBLE_EQ(f1, objective(b1));
}

// With the reports on, everything goes to standard output: no result file
// appears in the working folder.
TEST_F(Va10b, ReportsGoToTheConsoleOnly) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "va10b_report_test";
    fs::create_directories(dir);
    const fs::path home = fs::current_path();
    fs::current_path(dir);
    fit(michaelis_menten());
    va10b_mod::bprint = true;
    testing::internal::CaptureStdout();
    run({10.0, 100.0}, 1, 50);
    const std::string out = testing::internal::GetCapturedStdout();
    va10b_mod::bprint = false;
    fs::current_path(home);
    EXPECT_TRUE(fs::is_empty(dir));
    fs::remove_all(dir);
    for (const char* line : {"itn = ", "OPTIMIZATION SUMMARY", "PARAMETER STANDARD ERRORS", "CORRELATION MATRIX:",
                             "ADAPTIVE FACTOR EVOLUTION SUMMARY", "Condition estimate: "})
        EXPECT_NE(out.find(line), std::string::npos) << line;
}

// ---- finite differences at a bound ----

// y = P1 + P2 X1 on x = 1..8: the sum of squares has the Hessian 2 X'X.
TEST_F(Va10b, DifferencesOnAnUpperBoundStepInwards) {
    FitProblem problem = sharc_test::line_problem();
    problem.hi = {1e6, 2.5};
    fit(problem);
    const va10b_optimizer::Box box = va10b_optimizer::Box::shared(2);
    Vector b = {0.3, 2.5};  // P2 on its upper bound

    kalvor::Matrix H;
    va10b_optimizer::compute_numerical_hessian(b, H, box);
    double sx = 0, sxx = 0, sy = 0, sxy = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        sx += problem.x[i];
        sxx += problem.x[i] * problem.x[i];
        sy += problem.y[i];
        sxy += problem.x[i] * problem.y[i];
    }
    EXPECT_NEAR(H(0, 0), 16.0, 16e-3);
    EXPECT_NEAR(H(0, 1), 2.0 * sx, 72e-3);
    EXPECT_NEAR(H(1, 0), 2.0 * sx, 72e-3);
    EXPECT_NEAR(H(1, 1), 2.0 * sxx, 408e-3);
    EXPECT_EQ(b, (Vector{0.3, 2.5}));

    // Gradient: d/dP2 = -2 sum x (y - P1 - P2 x).
    Vector g(2), s_typ = {std::fabs(b[0]) + 1e-10, std::fabs(b[1]) + 1e-10};
    int ifn = 0, flag = 0;
    const double g0 = -2.0 * (sy - 8.0 * b[0] - b[1] * sx), g1 = -2.0 * (sxy - b[0] * sx - b[1] * sxx);
    va10b_optimizer::compute_gradient_forward(b, objective(b), g, 1e-5, s_typ, ifn, flag, box);
    EXPECT_NEAR(g[1], g1, 1e-2);
    EXPECT_NEAR(g[0], g0, 1e-2);
    EXPECT_EQ(ifn, 2);
    // The central probe divides by the distance of its clamped points.
    g.assign(2, 0.0);
    va10b_optimizer::compute_gradient_central(b, g, 1e-5, s_typ, flag, box);
    EXPECT_NEAR(g[1], g1, 1e-2);
    EXPECT_NEAR(g[0], g0, 1e-5);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(b, (Vector{0.3, 2.5}));

    // A box without room for a difference: 0 / 0 becomes the tolerance and
    // sets the flag, for either gradient.
    va10b_optimizer::Box shut = box;
    shut.lo[1] = shut.hi[1] = 2.5;
    va10b_optimizer::compute_gradient_forward(b, objective(b), g, 1e-5, s_typ, ifn, flag, shut);
    EXPECT_EQ(std::fabs(g[1]), 1e-5);
    EXPECT_EQ(flag, va10b_optimizer::invalid_quotient);
    flag = 0;
    va10b_optimizer::compute_gradient_central(b, g, 1e-5, s_typ, flag, shut);
    EXPECT_EQ(std::fabs(g[1]), 1e-5);
    EXPECT_EQ(flag, va10b_optimizer::invalid_quotient);
}

// Without trial searches and with a budget the first gradient spends, a
// pass costs its start value and one forward difference per parameter;
// each of passes 1 to 9 then adds its central probe, two per parameter:
// 1 + 10 (1 + 2) + 9 * 4 evaluations for two parameters.
TEST_F(Va10b, EveryPassButTheLastEndsWithACentralProbe) {
    fit(sharc_test::line_problem());
    Vector b = {0.3, 2.0}, h(3);
    double f = 0.0;
    int iexit = 0;
    const long long before = funct::evaluation_count();
    va10b_mod::va10b_optimizer(common_data::nd, 2, b, f, h, 1, 0, 1, iexit);
    EXPECT_EQ(funct::evaluation_count() - before, 67);
}

// The factors after a correction multiply out to the old metric plus
// sigma v v' (here the branch with v = g1 - g0, sigma = 1 / (alpha dg)).
TEST_F(Va10b, MetricCorrectionIsAnExactRankOneUpdateOfTheFactors) {
    va10b_optimizer::Box box;
    box.lo.assign(3, -1e6);
    box.hi.assign(3, 1e6);
    box.mask.assign(3, 1);
    Vector h = {1, 0, 0, 1, 0, 1};  // identity
    kalvor::Matrix expected = kalvor::Matrix::identity(3);
    const auto update = [&](const Vector& s, const Vector& g0, const Vector& g1, double alpha) {
        double dg = 0.0, gs = 0.0;
        for (std::size_t i = 0; i < 3; ++i) {
            dg += s[i] * (g1[i] - g0[i]);
            gs += s[i] * g0[i];
        }
        ASSERT_GT(dg, 0.0);
        ASSERT_LE(dg + alpha * gs, 0.0);
        for (std::size_t i = 0; i < 3; ++i)
            for (std::size_t j = 0; j < 3; ++j) expected(i, j) += (g1[i] - g0[i]) * (g1[j] - g0[j]) / (alpha * dg);
        double d_min = 1.0;
        EXPECT_EQ(va10b_optimizer::update_hessian(h, s, g0, g1, alpha, gs, d_min, box), va10b_optimizer::update_made);
    };
    update({1.0, 0.5, 0.0}, {-1.0, -0.5, 0.2}, {-0.2, 0.3, 0.1}, 1.0);
    update({0.3, -1.0, 0.7}, {-0.3, 1.0, -0.9}, {-0.2, 0.8, -0.6}, 0.5);

    const double L[3][3] = {{1, 0, 0}, {h[1], 1, 0}, {h[2], h[4], 1}};
    const double D[3] = {h[0], h[3], h[5]};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            double m = 0.0;
            for (std::size_t k = 0; k < 3; ++k) m += L[i][k] * D[k] * L[j][k];
            EXPECT_NEAR(m, expected(i, j), 1e-12) << i << "," << j;
        }

    // No positive curvature along s: the factors stay as they are.
    const Vector before = h;
    double d_min = 1.0;
    EXPECT_EQ(va10b_optimizer::update_hessian(h, Vector{1, 0, 0}, Vector{1, 0, 0}, Vector{0.5, 0, 0}, 1.0, 1.0, d_min,
                                              box),
              va10b_optimizer::update_skipped);
    EXPECT_EQ(h, before);
}

}  // namespace
