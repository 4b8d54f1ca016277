// The small variable-metric minimiser on plain objectives inside the shared
// bounds and mask.

#include "optimizers/varmetric.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "foundations/runtime.h"
#include "foundations/timeit.h"
#include "model/globals.h"

namespace {

using Point = std::vector<double>;
using Function = double (*)(const Point&);

class Varmetric : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        int restart = 1;
        timeit_mod::timeclock(restart);
    }
    void TearDown() override {
        runtime::reset_hooks();
        globals::reset_run_state();
    }

    void box(const Point& lo, const Point& hi, const std::vector<int>& mask = {}) {
        for (std::size_t k = 0; k < lo.size(); ++k) {
            common_data::pboundlo[k] = lo[k];
            common_data::pboundhi[k] = hi[k];
            common_data::pmask[k] = mask.empty() ? 1 : mask[k];
        }
    }

    // Runs the minimiser on fn from p with its true start value; counts calls.
    double run(Function fn, Point& p, int& code) {
        const vmet::Objective f = [&](int n, std::span<const double> x, double& v) {
            EXPECT_EQ(n, static_cast<int>(p.size()));
            ++calls;
            v = fn(Point(x.begin(), x.end()));
        };
        double value = fn(p);
        vmet::varmetric(f, static_cast<int>(p.size()), p, value, code);
        return value;
    }

    int calls = 0;
};

double rosenbrock_plus_one(const Point& p) {
    return 100.0 * std::pow(p[1] - p[0] * p[0], 2) + std::pow(1.0 - p[0], 2) + 1.0;
}

TEST_F(Varmetric, FindsTheRosenbrockValleyFloor) {
    box({-10, -10}, {10, 10});
    Point p = {-1.2, 1.0};
    int code = -1;
    const double f = run(rosenbrock_plus_one, p, code);
    EXPECT_NEAR(p[0], 1.0, 1e-4);
    EXPECT_NEAR(p[1], 1.0, 2e-4);
    EXPECT_DOUBLE_EQ(f, rosenbrock_plus_one(p));  // the value belongs to the point returned
    EXPECT_NE(code, vmet::code_failed_trials);
}

double bowl_outside(const Point& p) { return std::pow(p[0] - 5.0, 2) + std::pow(p[1] + 4.0, 2) + 1.0; }

TEST_F(Varmetric, AMinimumOutsideTheBoxIsApproachedFromInside) {
    const Point lo = {-1, -2}, hi = {2, 3};
    box(lo, hi);
    Point p = {0.0, 0.0};
    int code = 0;
    const double f = run(bowl_outside, p, code);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_GT(p[k], lo[k]);
        EXPECT_LT(p[k], hi[k]);
    }
    EXPECT_LT(f, bowl_outside({0.0, 0.0}));
    EXPECT_GT(p[0], 1.5);   // pressed towards the corner (2, -2)
    EXPECT_LT(p[1], -1.5);
    EXPECT_DOUBLE_EQ(f, bowl_outside(p));
}

double three_targets(const Point& p) {
    return std::pow(p[0] - 1.0, 2) + std::pow(p[1] - 2.0, 2) + std::pow(p[2] - 3.0, 2) + 0.5;
}

// The held parameter never moves, and once the free ones sit at their
// optimum the search stops instead of trying steps that move nothing.
TEST_F(Varmetric, AHeldParameterStaysAndTheSearchStopsEarly) {
    box({-10, -10, -10}, {10, 10, 10}, {1, 0, 1});
    Point p = {4.0, 7.0, -2.0};
    int code = 0;
    const double f = run(three_targets, p, code);
    EXPECT_EQ(p[1], 7.0);
    EXPECT_NEAR(p[0], 1.0, 1e-5);
    EXPECT_NEAR(p[2], 3.0, 1e-5);
    EXPECT_DOUBLE_EQ(f, three_targets(p));
    EXPECT_LT(calls, 300);
}

// Finite only for x <= 1.5; NaN above it where y > 0, infinite where y <= 0.
double half_plane(const Point& p) {
    if (p[0] > 1.5) return p[1] > 0.0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    return std::pow(p[0] - 1.4, 2) + std::pow(p[1] - 1.0, 2) + 0.25;
}

TEST_F(Varmetric, NonFiniteValuesOnHalfThePlaneAreStepsToShorten) {
    box({-10, -10}, {10, 10});
    Point p = {-2.0, -3.0};
    int code = 0;
    const double f = run(half_plane, p, code);
    EXPECT_TRUE(std::isfinite(f));
    EXPECT_DOUBLE_EQ(f, half_plane(p));
    EXPECT_NEAR(p[0], 1.4, 1e-4);
    EXPECT_NEAR(p[1], 1.0, 1e-4);
}

// Every evaluation takes a second of the hooked clock.  Budgets of 5 to 60
// seconds end the search after about as many evaluations, each time with a
// value that belongs to its point (also when the budget runs out inside a
// line search), and the run clock's sum is left to the driver.
TEST_F(Varmetric, TheTimeBudgetEndsTheSearchWithoutTouchingTheRunClock) {
    box({-10, -10}, {10, 10});
    double now = 0.0;
    runtime::Hooks hooks;
    hooks.monotonic_seconds = [&now] { return now; };
    runtime::set_hooks(hooks);
    const vmet::Objective f = [&](int, std::span<const double> x, double& v) {
        now += 1.0;
        ++calls;
        v = rosenbrock_plus_one(Point(x.begin(), x.end()));
    };
    for (int budget = 5; budget <= 60; ++budget) {
        int restart = 1;
        timeit_mod::timeclock(restart);
        globals::timemax = budget;
        globals::totaltime = 12.5;
        calls = 0;
        Point p = {-1.2, 1.0};
        double value = rosenbrock_plus_one(p);
        const double start = value;
        int code = 0;
        vmet::varmetric(f, 2, p, value, code);
        EXPECT_LT(calls, budget + 12) << budget;
        EXPECT_LE(value, start) << budget;
        EXPECT_DOUBLE_EQ(value, rosenbrock_plus_one(p)) << budget;
        EXPECT_EQ(globals::totaltime, 12.5);
    }
}

double exact_zero(const Point& p) { return std::pow(p[0] - 1.0, 2) + std::pow(p[1] - 2.0, 2); }

// A sum of squares below 1e-12 is not believed: the caller's point and
// value come back.
TEST_F(Varmetric, AnUntrustedPerfectFitReturnsTheStart) {
    box({-10, -10}, {10, 10});
    Point p = {0.0, 0.0};
    int code = 0;
    const double f = run(exact_zero, p, code);
    EXPECT_EQ(p, (Point{0.0, 0.0}));
    EXPECT_EQ(f, 5.0);
}

// The second pass starts by evaluating the first pass's best point again;
// from that call on the objective drops its offset, so the second pass ends
// below 1e-12 and is discarded alone: the first pass's gain stays.
TEST_F(Varmetric, AnUntrustedLaterPassKeepsTheEarlierGains) {
    box({-10}, {10});
    std::vector<Point> seen;
    bool offset = true;
    const vmet::Objective f = [&](int, std::span<const double> x, double& v) {
        const Point p(x.begin(), x.end());
        if (std::find(seen.begin(), seen.end(), p) != seen.end()) offset = false;
        seen.push_back(p);
        v = std::pow(p[0] - 1.0, 2) + (offset ? 1e-3 : 0.0);
    };
    Point p = {0.0};
    double value = 1.001;
    int code = 0;
    vmet::varmetric(f, 1, p, value, code);
    EXPECT_FALSE(offset);
    EXPECT_NEAR(p[0], 1.0, 1e-4);
    EXPECT_NEAR(value, 1e-3, 1e-8);
}

double ignores_second(const Point& p) { return std::pow(p[0] - 3.0, 2) + 2.0; }

// A parameter the objective does not depend on (the last one, whose zero
// difference comes last in the gradient) does not stall the line searches.
TEST_F(Varmetric, AParameterWithoutEffectDoesNotBlockTheOthers) {
    box({-10, -10}, {10, 10});
    Point p = {0.0, 5.0};
    int code = 0;
    const double f = run(ignores_second, p, code);
    EXPECT_NEAR(p[0], 3.0, 1e-5);
    EXPECT_NEAR(p[1], 5.0, 1e-3);
    EXPECT_DOUBLE_EQ(f, ignores_second(p));
    EXPECT_NE(code, vmet::code_failed_trials);
}

TEST_F(Varmetric, EveryParameterHeldReturnsTheStart) {
    box({-10, -10}, {10, 10}, {0, 0});
    Point p = {0.5, -0.5};
    int code = 0;
    const double f = run(rosenbrock_plus_one, p, code);
    EXPECT_EQ(p, (Point{0.5, -0.5}));
    EXPECT_DOUBLE_EQ(f, rosenbrock_plus_one(p));
    EXPECT_EQ(code, vmet::code_flat);
    EXPECT_LT(calls, 5);
}

TEST_F(Varmetric, CountsBeyondTheArraysAreRefusedBeforeAnyWork) {
    Point p(11, 0.5);
    double f = 1.0;
    int code = -7;
    const vmet::Objective count = [this](int, std::span<const double>, double& v) { v = ++calls; };
    EXPECT_THROW(vmet::varmetric(count, 11, p, f, code), std::out_of_range);
    EXPECT_THROW(vmet::varmetric(count, 3, std::span<double>(p).first(2), f, code), std::out_of_range);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(p, Point(11, 0.5));
    EXPECT_EQ(f, 1.0);
    EXPECT_EQ(code, -7);
}

}  // namespace
