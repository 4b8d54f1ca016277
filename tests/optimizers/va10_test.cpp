// The factorised quasi-Newton minimiser and its objective.

#include "optimizers/va10.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/fit_fixture.h"

namespace {

using namespace optimizer_test;

class Va10 : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        restart_run_clock();
    }
    void TearDown() override {
        runtime::reset_hooks();
        globals::reset_run_state();
    }

    struct Result {
        std::vector<double> x;
        double f = 0.0;
        int iexit = -1;
        std::vector<double> h;
    };

    // One call on the shared rows; f on entry is the value at x.
    Result run(std::vector<double> x, int mode = 1, int maxfn = 2000, std::vector<double> h = {}) {
        Result r;
        r.x = x;
        r.f = value(x);
        r.h = h.empty() ? std::vector<double>(x.size() * (x.size() + 1) / 2, 0.0) : h;
        va10_mod::va10d(common_data::nd, static_cast<int>(x.size()), r.x, r.f, r.h, mode, maxfn, r.iexit);
        return r;
    }

    static double value(const std::vector<double>& x) {
        std::vector<double> r(static_cast<std::size_t>(common_data::nd));
        double f = 0.0;
        va10_mod::mrtfun(common_data::nd, static_cast<int>(x.size()), x, r, f);
        return f;
    }
};

TEST_F(Va10, SolvesRosenbrockFromTheClassicStart) {
    use_rosenbrock();
    use_parameters({}, {-5.0, -5.0}, {5.0, 5.0});
    const auto r = run({-1.2, 1.0});
    EXPECT_NEAR(r.x[0], 1.0, 1e-4);
    EXPECT_NEAR(r.x[1], 1.0, 1e-4);
    EXPECT_EQ(r.f, value(r.x));
}

TEST_F(Va10, SolvesAnExactLine) {
    use_exact_line();
    use_parameters({}, {-100.0, -100.0}, {100.0, 100.0});
    const auto r = run({0.5, 0.5});
    EXPECT_NEAR(r.x[0], 2.0, 1e-4);
    EXPECT_NEAR(r.x[1], 3.0, 1e-4);
    EXPECT_EQ(r.f, value(r.x));
}

// Held parameters come back bit for bit: a negative one, with factors that
// couple it to a free one (mode 3), and over several passes.
TEST_F(Va10, HeldParametersNeverMove) {
    use_exact_line();
    use_parameters({0, 1}, {-100.0, -100.0}, {100.0, 100.0});
    const double held = -1.7;
    const auto r = run({held, 0.5}, 3, 2000, {1.0, 0.5, 1.0});  // D = (1, 1), L21 = 0.5
    EXPECT_EQ(std::bit_cast<std::uint64_t>(r.x[0]), std::bit_cast<std::uint64_t>(held));
    // Best slope with P1 held: sum x (y + 1.7) / sum x^2.
    double sxy = 0.0, sxx = 0.0;
    for (int i = 1; i <= 8; ++i) {
        sxy += i * (2.0 + 3.0 * i - held);
        sxx += i * i;
    }
    EXPECT_NEAR(r.x[1], sxy / sxx, 1e-5);

    use_quadratic();
    use_parameters({1, 1, 0}, {-10.0, -10.0, -1.0}, {10.0, 10.0, 1.0});
    const double held3 = -0.30000000000000004;
    const auto q = run({0.0, 0.0, held3});
    EXPECT_EQ(std::bit_cast<std::uint64_t>(q.x[2]), std::bit_cast<std::uint64_t>(held3));
    EXPECT_NEAR(q.x[0], 1.0, 1e-4);
    EXPECT_NEAR(q.x[1], 0.5, 1e-4);
}

// The least-squares line lies beyond P2 <= 2.5: extrapolation along the
// descent direction must not carry the result out of the bounds.  Each move
// back inside raises the value, so the next search starts from a full step:
// a first step of -2 df / slope, negative after that rise, would go back
// up the slope and leave the fit near 129 instead of 44.5.
TEST_F(Va10, ResultsStayInsideTheBounds) {
    use_exact_line();
    use_parameters({}, {-100.0, 0.0}, {100.0, 2.5});
    const auto r = run({0.0, 0.1});
    EXPECT_GE(r.x[1], 0.0);
    EXPECT_LE(r.x[1], 2.5);
    EXPECT_GE(r.x[0], -100.0);
    EXPECT_LE(r.x[0], 100.0);
    EXPECT_LT(r.f, 50.0);  // from 2165 at the start
    EXPECT_EQ(r.f, value(r.x));
}

// Mode 2 factorises the given matrix once; mode 3 given its factors by hand
// must then run the same course.
TEST_F(Va10, AMatrixAndItsFactorsGiveTheSameRun) {
    sharc_test::compile_model("P1*EXP(P2*X1)", 2);
    std::vector<double> x, y;
    for (int i = 0; i < 10; ++i) {
        x.push_back(0.5 * i);
        y.push_back(3.0 * std::exp(-0.4 * 0.5 * i) + (i % 2 == 0 ? 0.01 : -0.01));
    }
    use_rows({x}, y);
    use_parameters({}, {0.1, -5.0}, {10.0, 5.0});
    // [[4, 2], [2, 3]] = L D L' with L21 = 0.5, D = (4, 2).
    const auto matrix = run({1.0, -1.0}, 2, 2000, {4.0, 2.0, 3.0});
    const auto factors = run({1.0, -1.0}, 3, 2000, {4.0, 0.5, 2.0});
    EXPECT_EQ(matrix.x, factors.x);
    EXPECT_EQ(matrix.f, factors.f);
    EXPECT_EQ(matrix.h, factors.h);
    EXPECT_NEAR(matrix.x[0], 3.0, 0.05);
    EXPECT_NEAR(matrix.x[1], -0.4, 0.01);

    // A matrix that is not positive definite: nothing is tried.
    const auto indefinite = run({1.0, -1.0}, 2, 2000, {1.0, 2.0, 1.0});
    EXPECT_EQ(indefinite.x, (std::vector<double>{1.0, -1.0}));
}

TEST_F(Va10, TheEntryValueIsTrusted) {
    use_exact_line();
    use_parameters({}, {-100.0, -100.0}, {100.0, 100.0});
    std::vector<double> x{0.5, 0.5}, h(3);
    double f = 1e-30;  // lower than anything the model reaches
    int iexit = 0;
    va10_mod::va10d(8, 2, x, f, h, 1, 2000, iexit);
    EXPECT_EQ(x, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(f, 1e-30);
}

TEST_F(Va10, AFewEvaluationsEndThePassAfterTheFirstGradient) {
    use_exact_line();
    use_parameters({}, {-100.0, -100.0}, {100.0, 100.0});
    const double start = value({0.5, 0.5});
    std::vector<double> x{0.5, 0.5}, h(3);
    double f = start;
    int iexit = 0;
    const long long before = funct::evaluation_count();
    va10_mod::va10d(8, 2, x, f, h, 1, 2, iexit);
    EXPECT_EQ(iexit, va10_mod::limit_reached);
    EXPECT_EQ(funct::evaluation_count() - before, 3);  // the start and one forward difference each
    EXPECT_LE(f, start);
}

// The budget is read as elapsed time: a run whose clock races past it
// stops early, still no worse than its start, and the run clock's sum is
// left to the fitting driver.
TEST_F(Va10, TheTimeBudgetStopsTheRunWithoutTouchingTheRunClock) {
    auto now = std::make_shared<double>(0.0);
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [now] { return *now += 1000.0; };
    runtime::set_hooks(hooks);
    restart_run_clock();
    globals::totaltime = 7.0;

    use_rosenbrock();
    use_parameters({}, {-5.0, -5.0}, {5.0, 5.0});
    const double start = value({-1.2, 1.0});
    const long long before = funct::evaluation_count();
    const auto r = run({-1.2, 1.0});
    EXPECT_LT(funct::evaluation_count() - before, 1200);  // 600 readings at most
    EXPECT_LE(r.f, start);
    EXPECT_EQ(r.f, value(r.x));
    EXPECT_EQ(globals::totaltime, 7.0);

    globals::timemax = 0.0;  // spent before the start
    const auto none = run({-1.2, 1.0});
    EXPECT_EQ(none.x, (std::vector<double>{-1.2, 1.0}));
    EXPECT_EQ(none.f, start);
}

// A model with NaN and infinite values near its start (see use_hostile_line).
TEST_F(Va10, ModelsWithNaNAndInfinityAtTrialPointsGiveFiniteResults) {
    use_hostile_line();
    use_parameters({}, {-100.0, -100.0}, {100.0, 100.0});
    for (const std::vector<double>& start : hostile_starts) {
        const double before = value(start);
        const auto r = run(start);
        EXPECT_TRUE(std::isfinite(r.f) && std::isfinite(r.x[0]) && std::isfinite(r.x[1]));
        EXPECT_LE(r.f, before);
        EXPECT_EQ(r.f, value(r.x));
    }
}

TEST_F(Va10, CountsBeyondTheArraysAreRefused) {
    use_exact_line();
    std::vector<double> x(11, 1.0), h(66, 1.0), r(1001);
    double f = 5.0;
    int iexit = 0;
    EXPECT_THROW(va10_mod::va10d(8, 11, x, f, h, 1, 100, iexit), std::out_of_range);
    EXPECT_THROW(va10_mod::va10d(1001, 2, x, f, h, 1, 100, iexit), std::out_of_range);
    EXPECT_THROW(va10_mod::va10d(8, 4, x, f, std::span<double>(h).first(9), 1, 100, iexit), std::out_of_range);
    EXPECT_EQ(x, std::vector<double>(11, 1.0));
    EXPECT_EQ(f, 5.0);
    EXPECT_THROW(va10_mod::mrtfun(8, 11, x, r, f), std::out_of_range);
    EXPECT_THROW(va10_mod::mrtfun(1001, 2, x, r, f), std::out_of_range);
}

TEST_F(Va10, ObjectiveWeighsByTheSigmasAndLeavesTheFitData) {
    use_exact_line();
    common_data::ndwt = 1;  // per-row sigma
    common_data::ysig[0] = 0.0;
    for (std::size_t i = 1; i < 8; ++i) common_data::ysig[i] = 2.0;
    std::vector<double> r(8);
    double f = 0.0;
    va10_mod::mrtfun(8, 2, std::vector<double>{2.0, 2.5}, r, f);
    // Residuals 0.5 x; row 1 weight 1 (its zero sigma replaced), others 2.
    double expected = 0.25;
    for (int i = 2; i <= 8; ++i) expected += (0.25 * i) * (0.25 * i);
    EXPECT_DOUBLE_EQ(f, expected);
    EXPECT_EQ(common_data::ysig[0], 1.0);
    EXPECT_DOUBLE_EQ(r[3], 2.0);
    EXPECT_DOUBLE_EQ(common_data::ydf[3], 12.0);
    EXPECT_EQ(common_data::pfinal[1], 2.5);
    EXPECT_EQ(common_data::ndwt, 1);

    // A fitted value at the ceiling makes the evaluation fall back to unit
    // weights; the run's weighting mode stays.
    va10_mod::mrtfun(8, 2, std::vector<double>{1e300, 0.0}, r, f);
    EXPECT_EQ(common_data::ndwt, 1);
}

}  // namespace
