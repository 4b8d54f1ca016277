// Axis scaling: the worked neatscale cases, covering limits on whole steps,
// and input that is reversed, empty or not finite.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <tuple>

#include "views/axisscale.h"

using namespace axisscale;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Runs f on a thread of its own; false when it has not ended after 20 s (a hang).
bool ends(const std::function<void()>& f) {
    auto done = std::async(std::launch::async, f);
    return done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
}

bool on_multiple(double v, double step) {
    const double k = v / step;
    return std::fabs(k - std::round(k)) < 1e-9;
}

// Mantissa of a step against its power of ten, e.g. 2.5 for 0.25.
double mantissa(double step) { return step / std::pow(10.0, std::floor(std::log10(step) + 1e-12)); }

bool one_of(double v, std::initializer_list<double> table) {
    for (double t : table)
        if (std::fabs(v - t) < 1e-9 * t) return true;
    return false;
}

// Whether step is 5 * 10^e * 2^m for whole e and m.
bool five_ten_two(double step) {
    for (int m = -6; m <= 6; ++m) {
        const double e = std::log10(step / (5 * std::pow(2.0, m)));
        if (std::fabs(e - std::round(e)) < 1e-9) return true;
    }
    return false;
}

}  // namespace

TEST(Neatscale, WorkedCases) {
    struct Case {
        double a, b;
        int n;
        double lo, hi, step;
    };
    const Case cases[] = {
        {0, 50, 40, 0, 55, 5},       {0, 12, 40, 0, 15, 2.5},  {0, 250, 40, 0, 280, 20},
        {0, 1000, 40, 0, 1060, 10},  {1, 50, 20, 0, 60, 10},   {-4, -1, 20, -5, 0, 1.25},
        {-3, 7, 20, -5, 7.5, 2.5},
    };
    for (const auto& c : cases) {
        double a = c.a, b = c.b, step = 0;
        EXPECT_TRUE(neatscale(a, b, step, c.n));
        EXPECT_DOUBLE_EQ(a, c.lo) << c.a << ".." << c.b;
        EXPECT_DOUBLE_EQ(b, c.hi) << c.a << ".." << c.b;
        EXPECT_DOUBLE_EQ(step, c.step) << c.a << ".." << c.b;
    }
    double a = 1, b = 50, step = 0;
    neatscale(a, b, step);  // 20 intervals when none are asked for
    EXPECT_DOUBLE_EQ(step, 10);
}

TEST(Neatscale, LimitsCoverTheDataOnWholeSteps) {
    const std::tuple<double, double> ranges[] = {{0.3, 0.31}, {-1e6, 3}, {17, 23456}, {-0.002, -0.0019},
                                                  {5, 5},     {-7, -7},  {1e-8, 2e-8}, {-123.4, 987.6}};
    for (const auto& [lo, hi] : ranges) {
        double a = lo, b = hi, step = 0;
        ASSERT_TRUE(neatscale(a, b, step, 20)) << lo << ".." << hi;
        EXPECT_LE(a, lo);
        EXPECT_GE(b, hi);
        EXPECT_GT(step, 0);
        EXPECT_TRUE(five_ten_two(step)) << step;
    }
}

TEST(Neatscale, DegenerateInputEndsWithFiniteLimitsOrAStatus) {
    double a = 0, b = 0, step = 0;
    ASSERT_TRUE(ends([&] { EXPECT_TRUE(neatscale(a, b, step)); }));
    EXPECT_TRUE(std::isfinite(a) && std::isfinite(b) && step > 0);
    EXPECT_LE(a, 0);
    EXPECT_GE(b, 0);

    a = 50, b = 0;  // reversed: the range 0..50
    ASSERT_TRUE(ends([&] { EXPECT_TRUE(neatscale(a, b, step, 40)); }));
    EXPECT_DOUBLE_EQ(a, 0);
    EXPECT_DOUBLE_EQ(b, 55);

    for (const auto& [lo, hi] : {std::pair{kNaN, 1.0}, std::pair{0.0, kInf}, std::pair{-1e308, 1e308}}) {
        a = lo, b = hi, step = 1;
        bool ok = true;
        ASSERT_TRUE(ends([&] { ok = neatscale(a, b, step); }));
        if (ok) {
            EXPECT_TRUE(std::isfinite(a) && std::isfinite(b));
        } else {
            EXPECT_EQ(step, 0);
        }
    }
}

TEST(Nicescale, NoWideningAndFiniteForOneValueOrReversed) {
    double lo = 0, hi = 50, step = 0;
    EXPECT_TRUE(nicezscale(lo, hi, step));
    EXPECT_DOUBLE_EQ(step, 5);  // 50 / 30 intervals = 1.67 gives 5 x 2^0
    EXPECT_DOUBLE_EQ(lo, 0);
    EXPECT_DOUBLE_EQ(hi, 55);

    double x0 = 3, x1 = 3, xs = 0, z0 = 0, z1 = 0, zs = 0;
    ASSERT_TRUE(ends([&] { EXPECT_TRUE(nicescale(x0, x1, xs, z0, z1, zs)); }));
    for (double v : {x0, x1, xs, z0, z1, zs}) EXPECT_TRUE(std::isfinite(v));
    EXPECT_LE(x0, 3);
    EXPECT_GE(x1, 3);
    EXPECT_LE(z0, 0);
    EXPECT_GE(z1, 0);

    lo = 10, hi = -10;
    ASSERT_TRUE(ends([&] { EXPECT_TRUE(nicezscale(lo, hi, step)); }));
    EXPECT_LE(lo, -10);
    EXPECT_GE(hi, 10);
    lo = kNaN;
    EXPECT_FALSE(nicezscale(lo, hi, step));
}

TEST(ClassicScales, CoverTheDataWithTableIntervals) {
    const std::tuple<double, double, int> ranges[] = {{0, 1, 5},        {-3.7, 12.2, 10}, {101, 102.5, 4},
                                                       {-0.04, -0.01, 6}, {2, 37000, 8},    {0.5, 0.5000004, 3}};
    for (const auto& [lo, hi, n] : ranges) {
        double p = 0, q = 0, d = 0;
        ASSERT_TRUE(scale1(lo, hi, n, p, q, d));
        EXPECT_LE(p, lo);
        EXPECT_GE(q, hi >= 0 ? hi * 1.3f : hi * 0.7f);
        EXPECT_TRUE(one_of(mantissa(d), {1, 2, 3, 5, 10})) << d;

        ASSERT_TRUE(scale2(lo, hi, n, p, q, d));
        EXPECT_LE(p, lo);
        EXPECT_GE(q, hi);
        EXPECT_TRUE(one_of(mantissa(d), {1, 2, 3, 5, 8})) << d;
        EXPECT_NEAR((q - p) / d, n, 1e-6);  // exactly n intervals
        EXPECT_TRUE(on_multiple(p, d));
    }
    for (const auto& [lo, hi, n] : {std::tuple{1.0, 1000.0, 3}, std::tuple{0.02, 7.0, 4}, std::tuple{3.2, 180.0, 2}}) {
        double p = 0, q = 0, d = 0;
        ASSERT_TRUE(scale3(lo, hi, n, p, q, d));
        EXPECT_LE(p, lo);
        EXPECT_GE(q, hi);
        // The ratio between ticks is 10^(10/v x a power of ten), v from the decade table.
        EXPECT_TRUE(one_of(mantissa(std::log10(d)), {1, 10 / 9.0, 1.25, 10 / 7.0, 10 / 6.0, 2, 2.5, 10 / 3.0, 5}))
            << d;
        EXPECT_LE(std::log10(q / p) / std::log10(d), n + 1e-9);
    }
}

TEST(ClassicScales, RefuseWhatTheyCannotScale) {
    double p = 7, q = 8, d = 9;
    EXPECT_FALSE(scale1(5, 1, 4, p, q, d));
    EXPECT_FALSE(scale1(0, 1, 0, p, q, d));
    EXPECT_EQ(p, 7);
    EXPECT_FALSE(scale2(2, 2, 4, p, q, d));
    EXPECT_DOUBLE_EQ(p, 2);
    EXPECT_DOUBLE_EQ(q, 2.2);
    EXPECT_FALSE(scale3(-1, 10, 4, p, q, d));
    EXPECT_FALSE(scale3(1, 10, 1, p, q, d));
    ASSERT_TRUE(ends([&] { EXPECT_FALSE(scale2(kNaN, 1, 4, p, q, d)); }));
    ASSERT_TRUE(ends([&] { EXPECT_FALSE(scale3(1, kInf, 4, p, q, d)); }));
    // A range that needs the table's largest steps many decades up still ends.
    ASSERT_TRUE(ends([&] { EXPECT_TRUE(scale2(-1e300, 1e300, 1, p, q, d)); }));
}

TEST(Scale4, StatusCodesAndCoveringTicks) {
    Scale4 s;
    EXPECT_EQ(scale4(2, 1, 5, 1, s), 1);
    EXPECT_EQ(scale4(1, 2, 1, 1, s), 2 + 4);
    EXPECT_EQ(scale4(2, 1, 5, 5, s), 1 + 4);
    EXPECT_EQ(scale4(kNaN, 1, 5, 1, s), 1);

    ASSERT_EQ(scale4(3.2, 97.5, 11, 2, s), 0);
    EXPECT_LE(s.start, 3.2);
    EXPECT_GE(s.start + 10 * s.step, 97.5);
    EXPECT_EQ(s.labels, 6);
    EXPECT_TRUE(one_of(s.step * 10 / std::pow(10.0, s.exponent), {12, 15, 20, 25, 30, 40, 50, 60, 80, 100, 120, 150}));

    ASSERT_TRUE(ends([&] { EXPECT_EQ(scale4(0, 0, 5, 1, s), -1); }));
    EXPECT_LE(s.start, 0);
    EXPECT_GE(s.start + 4 * s.step, 1);
    ASSERT_TRUE(ends([&] { EXPECT_EQ(scale4(4, 4, 5, 1, s), -1); }));
    EXPECT_GE(s.start + 4 * s.step, 4);
}

TEST(Axis4, DigitsThatTellTicksApart) {
    Axis4 a;
    EXPECT_EQ(axis4(0, 1, 1, 10, a), 1);
    EXPECT_EQ(axis4(1, 1, 5, 10, a), 2);
    ASSERT_EQ(axis4(100, 100.4, 5, 10, a), 0);
    EXPECT_EQ(a.exponent, 3);  // 0.1000 .. 0.1004
    EXPECT_EQ(a.decimals, 4);
    EXPECT_EQ(a.ticks.size(), 5u);
    EXPECT_DOUBLE_EQ(a.ticks[4], 100.4);
    EXPECT_EQ(axis4(100, 100.4, 5, 3, a), 4);
    EXPECT_EQ(axis4(1, 1 + 1e-15, 5, 30, a), 16);
}

TEST(Scaledist, RoundedDistanceAndRefusedRanges) {
    double d = 0;
    EXPECT_TRUE(scaledist(0, 10, 4, d));  // 2.5: whole 2, fraction 0.5 rounds to 0.5
    EXPECT_DOUBLE_EQ(d, 2.5);
    EXPECT_TRUE(scaledist(0, 30, 10, d));  // 3 exactly: fraction 0 taken as 0.02
    EXPECT_DOUBLE_EQ(d, 3.02);
    ASSERT_TRUE(ends([&] { EXPECT_FALSE(scaledist(10, 0, 4, d)); }));
    EXPECT_EQ(d, 0);
    ASSERT_TRUE(ends([&] { EXPECT_FALSE(scaledist(0, kNaN, 4, d)); }));
}

TEST(Ascl, StepsOfOneTwoOrFive) {
    Ascl a;
    ASSERT_TRUE(ascl(5, 0.0, 12.0, a));  // 2.4 per interval: 2
    EXPECT_DOUBLE_EQ(a.interval, 2);
    EXPECT_DOUBLE_EQ(a.low, 0);
    EXPECT_DOUBLE_EQ(a.high, 12);
    EXPECT_EQ(a.intervals, 6);
    EXPECT_EQ(a.minor, 24);
    ASSERT_TRUE(ascl(5, 0.0, 9.3, a));  // 1.86: 1, and the top raised over 9.3
    EXPECT_DOUBLE_EQ(a.interval, 1);
    EXPECT_DOUBLE_EQ(a.high, 10);
    EXPECT_EQ(a.minor, 50);
    EXPECT_EQ(a.decade, 0);

    ASSERT_TRUE(ascl(4, 123456.0, 123456.0, a));  // one value: widened around it
    EXPECT_LE(a.low, 123456.0);
    EXPECT_GE(a.high, 123456.0);
    EXPECT_GE(a.decade, 11);

    ASSERT_TRUE(ends([&] { EXPECT_FALSE(ascl(5, 0.0, 0.0, a)); }));
    EXPECT_EQ(a.intervals, 0);
    EXPECT_FALSE(ascl(21, 0.0, 1.0, a));
    ASSERT_TRUE(ends([&] { EXPECT_FALSE(ascl(3, -kInf, 1.0, a)); }));
}
