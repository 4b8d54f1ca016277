// The ADAM descent and its extrapolated gradient.

#include "optimizers/adam.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// Rosenbrock's function 100 (x2 - x1^2)^2 + (1 - x1)^2, counting its calls.
struct Rosenbrock {
    int calls = 0;
    kalvor::Objective objective() {
        return [this](std::span<const double> x, int, double& f) {
            ++calls;
            f = 100.0 * std::pow(x[1] - x[0] * x[0], 2) + std::pow(1.0 - x[0], 2);
        };
    }
};

TEST(AdamGradient, MatchesRosenbrocksAnalyticGradient) {
    Rosenbrock r;
    const std::vector<std::vector<double>> points = {{-1.2, 1.0}, {0.5, 3.0}, {2.0, -1.0}, {0.9, 0.8}};
    for (const auto& x : points) {
        std::vector<double> g(2);
        const std::vector<double> before = x;
        adam::gradient(r.objective(), 2, x, std::vector<int>{1, 1}, g);
        const double g1 = -400.0 * x[0] * (x[1] - x[0] * x[0]) - 2.0 * (1.0 - x[0]);
        const double g2 = 200.0 * (x[1] - x[0] * x[0]);
        EXPECT_NEAR(g[0], g1, 1e-6 * std::fabs(g1)) << x[0] << "," << x[1];
        EXPECT_NEAR(g[1], g2, 1e-6 * std::fabs(g2)) << x[0] << "," << x[1];
        EXPECT_EQ(x, before);
    }
}

TEST(AdamGradient, HeldParametersCostNothingAndFlatOnesGetOneHalf) {
    int calls = 0;
    // Depends on x1 only; x2 is flat, x3 is held.
    const kalvor::Objective f = [&](std::span<const double> x, int, double& v) {
        ++calls;
        v = std::pow(x[0] - 1.0, 2);
    };
    std::vector<double> g(3, 9.0);
    adam::gradient(f, 3, std::vector<double>{3.0, 5.0, 7.0}, std::vector<int>{1, 1, 0}, g);
    EXPECT_NEAR(g[0], 4.0, 1e-9);
    EXPECT_NEAR(g[1], 0.5, 1e-9);  // every flat quotient is h / 2h
    EXPECT_EQ(g[2], 0.0);
    EXPECT_LE(calls, 2 * 20);  // two active components at most 20 calls each
    EXPECT_GE(calls, 2 * 2);

    // A tiny slope is nudged away from zero by 4e-8 of its own sign.
    const kalvor::Objective gentle = [](std::span<const double> x, int, double& v) { v = -1e-9 * x[0]; };
    std::vector<double> g1(1);
    adam::gradient(gentle, 1, std::vector<double>{1e6}, std::vector<int>{1}, g1);  // steps of 200
    EXPECT_NEAR(g1[0], -1e-9 - 4e-8, 1e-12);
}

TEST(Adam, DescendsTheSameWayTwiceAndReportsTheFinalValue) {
    const std::vector<double> lo = {-5, -5}, hi = {5, 5};
    const std::vector<int> mask = {1, 1};
    std::vector<double> p1 = {-1.2, 1.0}, p2 = p1;
    int it1 = 0, it2 = 0;
    double s1 = 0, s2 = 0;
    Rosenbrock r1, r2;
    adam::adam(r1.objective(), 2, 2, p1, mask, lo, hi, it1, s1);
    adam::adam(r2.objective(), 2, 2, p2, mask, lo, hi, it2, s2);
    EXPECT_EQ(p1, p2);
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(it1, it2);
    EXPECT_LT(s1, 24.2);  // the value at the start
    double at_end = 0.0;
    r1.objective()(p1, 2, at_end);
    EXPECT_EQ(s1, at_end);
    EXPECT_GE(it1, 11);
    EXPECT_LE(it1, 31);
    // ADAM's first steps are about the learning rate each, in every coordinate.
    EXPECT_NEAR(p1[0], -1.2 + 0.001 * (it1 - 1), 0.01);
}

TEST(Adam, WithNothingToMoveItStopsAtStepElevenAfterThirteenCalls) {
    Rosenbrock r;
    const double held = 7.5;  // outside its bounds: evaluated clamped, handed back as is
    std::vector<double> p = {-1.2, held};
    int iter = 0;
    double ssq = 0.0;
    adam::adam(r.objective(), 2, 2, p, std::vector<int>{0, 0}, std::vector<double>{-5, -5},
               std::vector<double>{5, 5}, iter, ssq);
    EXPECT_EQ(iter, 11);
    EXPECT_EQ(r.calls, 13);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(p[1]), std::bit_cast<std::uint64_t>(held));
    EXPECT_EQ(p[0], -1.2);
    EXPECT_DOUBLE_EQ(ssq, 100.0 * std::pow(5.0 - 1.44, 2) + 4.84);
}

TEST(Adam, EndsOnABoundRatherThanBeyondIt) {
    // Minimum at x = 10, upper bound 0.005 above the start.
    const kalvor::Objective f = [](std::span<const double> x, int, double& v) { v = std::pow(x[0] - 10.0, 2); };
    std::vector<double> p = {1.0};
    int iter = 0;
    double ssq = 0.0;
    adam::adam(f, 1, 1, p, std::vector<int>{1}, std::vector<double>{0.0}, std::vector<double>{1.005}, iter, ssq);
    EXPECT_EQ(p[0], 1.005);
    EXPECT_EQ(iter, 11);  // on the bound after 5 steps; the first test (step 11) finds no change
}

TEST(Adam, InfiniteAndNaNValuesLeaveNoNaNBehind) {
    // x2 has an infinite wall just above its start, and NaN beyond 0.7.
    const kalvor::Objective f = [](std::span<const double> x, int, double& v) {
        if (x[1] > 0.7)
            v = std::numeric_limits<double>::quiet_NaN();
        else if (x[1] > 0.6)
            v = std::numeric_limits<double>::infinity();
        else
            v = std::pow(x[0] - 2.0, 2) + std::pow(x[1] - 0.5, 2);
    };
    std::vector<double> p = {1.0, 0.6 - 1e-5};
    int iter = 0;
    double ssq = 0.0;
    adam::adam(f, 2, 2, p, std::vector<int>{1, 1}, std::vector<double>{-5, -5}, std::vector<double>{5, 5}, iter,
               ssq);
    EXPECT_TRUE(std::isfinite(p[0]));
    EXPECT_TRUE(std::isfinite(p[1]));
    EXPECT_TRUE(std::isfinite(ssq));
    EXPECT_LE(p[1], 0.6);
}

}  // namespace
