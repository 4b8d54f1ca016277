#include "model/bounds.h"
#include "model/row_threads.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using check_parameter_bounds::tanh_bounds5;

struct Bounded {
    std::vector<double> b, lo, hi;
    std::vector<int> mask;
};

Bounded unit_box(std::vector<double> b) {
    const std::size_t n = b.size();
    return {std::move(b), std::vector<double>(n, 0.0), std::vector<double>(n, 1.0), std::vector<int>(n, 1)};
}

// ---- tanh_bounds5 ----

TEST(TanhBounds, ValueAboveUpperBound) {
    auto v = unit_box({1.5});
    double s = 1.0;
    int status = -1;
    tanh_bounds5(v.b, 1, v.lo, v.hi, v.mask, s, status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(v.b[0], 0.9945137011005496);
    EXPECT_DOUBLE_EQ(s, 3.0000000000000013);  // 1 + 2 * 0.5 / (half + eps)
}

TEST(TanhBounds, ValuesOnTheBounds) {
    auto v = unit_box({0.0, 1.0});
    double s = 2.0;
    int status = -1;
    tanh_bounds5(v.b, 2, v.lo, v.hi, v.mask, s, status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(v.b[0], 0.0024726231566358225);  // mid - tanh(3) half
    EXPECT_DOUBLE_EQ(v.b[1], 0.9975273768433652);     // mid + tanh(3) half
    EXPECT_EQ(s, 2.0);                                 // no violation: factor 1
}

TEST(TanhBounds, InsideValuesAndHeldParametersStay) {
    Bounded v{{0.25, 7.0}, {0.0, 0.0}, {1.0, 1.0}, {1, 0}};
    double s = 5.0;
    int status = -1;
    tanh_bounds5(v.b, 2, v.lo, v.hi, v.mask, s, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(v.b, (std::vector<double>{0.25, 7.0}));
    EXPECT_EQ(s, 5.0);
}

TEST(TanhBounds, WideRange) {
    Bounded v{{5e6, -5e6}, {-1e6, -1e6}, {1e6, 1e6}, {1, 1}};
    double s = 1.0;
    int status = -1;
    tanh_bounds5(v.b, 2, v.lo, v.hi, v.mask, s, status);
    EXPECT_DOUBLE_EQ(v.b[0], 895692.8738431645);
    EXPECT_DOUBLE_EQ(v.b[1], -895692.8738431645);
}

TEST(TanhBounds, RunningViolationScalesEachMove) {
    Bounded v{{1.5, -1.0}, {0.0, 0.0}, {1.0, 2.0}, {1, 1}};
    double s = 1.0;
    int status = -1;
    tanh_bounds5(v.b, 2, v.lo, v.hi, v.mask, s, status);
    EXPECT_NEAR(s, 15.0, 1e-12);  // (1 + 2 * 1) * (1 + 2 * (1 + 1))
}

TEST(TanhBounds, ScalarCapped) {
    auto v = unit_box({1e9});
    double s = 1e10;
    int status = -1;
    tanh_bounds5(v.b, 1, v.lo, v.hi, v.mask, s, status);
    EXPECT_EQ(s, 4503599627370496.0);
}

TEST(TanhBounds, Statuses) {
    std::vector<double> b{0.5};
    double s = 1.0;
    int status = -1;
    tanh_bounds5(b, 0, b, b, std::vector<int>{1}, s, status);
    EXPECT_EQ(status, 1);

    // Crossed bounds of an active parameter stop everything.
    Bounded crossed{{2.0, 0.5}, {0.0, 1.0}, {1.0, 0.5}, {1, 1}};
    tanh_bounds5(crossed.b, 2, crossed.lo, crossed.hi, crossed.mask, s, status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(crossed.b, (std::vector<double>{2.0, 0.5}));
    EXPECT_EQ(s, 1.0);

    // Equal or crossed bounds of held parameters leave the others bounded;
    // an active parameter with equal bounds takes that value.
    Bounded pinned{{2.0, 0.5, 7.0, 3.0}, {0.0, 1.0, 0.0, 0.0}, {1.0, 1.0, -1.0, 0.0}, {1, 0, 0, 1}};
    tanh_bounds5(pinned.b, 4, pinned.lo, pinned.hi, pinned.mask, s, status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(pinned.b[0], 0.9945137011005496);
    EXPECT_EQ(pinned.b[1], 0.5);
    EXPECT_EQ(pinned.b[2], 7.0);
    EXPECT_EQ(pinned.b[3], 0.0);
    s = 1.0;

    auto nan = unit_box({std::numeric_limits<double>::quiet_NaN()});
    tanh_bounds5(nan.b, 1, nan.lo, nan.hi, nan.mask, s, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(nan.b[0], 0.5);  // midpoint, then inside

    auto huge = unit_box({1e15});
    tanh_bounds5(huge.b, 1, huge.lo, huge.hi, huge.mask, s, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(huge.b[0], 0.5);

    Bounded narrow{{3.0}, {1.0}, {1.0 + 1e-13}, {1}};
    tanh_bounds5(narrow.b, 1, narrow.lo, narrow.hi, narrow.mask, s, status);
    EXPECT_EQ(status, 4);
    EXPECT_GE(narrow.b[0], 1.0);
    EXPECT_LE(narrow.b[0], 1.0 + 1e-13);
}

TEST(TanhBounds, JustBelowLowerBoundStaysLow) {
    // A value a hair below the lower bound goes to the low side of the range,
    // as one further below does, never to the far end.
    auto v = unit_box({-1e-9, -1e-3});
    double s = 1.0;
    int status = -1;
    tanh_bounds5(v.b, 2, v.lo, v.hi, v.mask, s, status);
    EXPECT_DOUBLE_EQ(v.b[0], 0.005486298899451458);  // mid + tanh(-2.6) half
    EXPECT_DOUBLE_EQ(v.b[1], 0.005486298899451458);
}

// ---- smooth_constraint_adjustment, check_bounds, abounds4 ----

TEST(SmoothConstraints, ClampAndPenalty) {
    std::vector<double> p{0.5, 1.1, -0.5, 5.0}, lo(4, 0.0), hi(4, 1.0), padj(4);
    std::vector<int> mask{1, 1, 1, 0};
    double penalty = -1.0;
    smooth_constraints::smooth_constraint_adjustment(p, lo, hi, mask, 4, padj, penalty);
    EXPECT_EQ(padj[0], 0.5);
    EXPECT_DOUBLE_EQ(padj[1], (std::tanh(3.75) + 1.0) / 2.0);
    EXPECT_DOUBLE_EQ(padj[2], -(std::tanh(0.0) + 1.0) / 2.0);
    EXPECT_EQ(padj[3], 5.0);
    const double expected = 10.0 * std::exp(0.1) + 10.0 * std::exp(0.5) + 10.0 * std::exp(4.0);
    EXPECT_NEAR(penalty, expected, 1e-12);

    p = {1e6, 0.5, 0.5, 0.5};
    smooth_constraints::smooth_constraint_adjustment(p, lo, hi, mask, 4, padj, penalty);
    EXPECT_EQ(padj[0], 1.0);      // far beyond: the upper bound
    EXPECT_EQ(penalty, 100.0);    // an overflowing term counts 100
}

TEST(CheckBounds, OutsideValueMovedInsideWithPenalty) {
    std::vector<double> p{2.0}, lo{0.0}, hi{1.0};
    std::vector<int> mask{1};
    double penalty = 1.0;
    check_parameter_bounds::check_bounds(p, lo, hi, mask, 1, penalty);
    // w = sin(4 pi + 0.1); v = 0.5 + 0.5 tanh(0.15 w), times 1.5, at most 0.9.
    const double w = std::sin(2.0 * 6.283185307179586 + 0.1);
    const double v = std::min(static_cast<double>(static_cast<float>((0.5 + 0.5 * std::tanh(0.15 * w)) * 1.5)), 0.9);
    EXPECT_EQ(p[0], static_cast<double>(static_cast<float>(v)));
    EXPECT_EQ(penalty, 101.0);
}

TEST(CheckBounds, NearBoundValuePulledInWithoutPenalty) {
    std::vector<double> p{9.5}, lo{1.0}, hi{10.0};
    std::vector<int> mask{1};
    double penalty = 0.0;
    check_parameter_bounds::check_bounds(p, lo, hi, mask, 1, penalty);
    // Inner bounds 1.1 and 9.0; t = (9.5 - 1.1) / 7.9.
    const double t = (9.5 - 1.1) / 7.9;
    EXPECT_DOUBLE_EQ(p[0], 1.1 + 7.9 * (std::tanh((t - 0.5) * 6.25) + 1.0) / 2.0);
    EXPECT_EQ(penalty, 0.0);
}

TEST(Abounds4, ArctangentMap) {
    std::vector<double> b{5.0, 0.5};
    std::vector<double> lo{0.0, 0.0}, hi{1.0, 1.0};
    std::vector<int> mask{1, 1};
    int changed = -1;
    check_parameter_bounds::abounds4(0, b, 2, mask, lo, hi, changed);
    EXPECT_EQ(changed, 1);
    const double l = 5e-8;
    EXPECT_DOUBLE_EQ(b[0], (2.0 / M_PI) * std::atan(5.0) * (1.0 - l) / 2.0 + (l + 1.0) / 2.0);
    check_parameter_bounds::abounds4(1, b, 2, mask, lo, hi, changed);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(b[1], 0.5);
}

// ---- robust weights ----

TEST(RobustWeights, BinMedian) {
    const std::vector<double> x{1, 2, 3, 4, 100};
    const double m = robustwt::binmedian(x, 5);
    // Mean 22, population sd sqrt(1522): the bin of 3 spans 3 +- one bin width.
    const double sd = std::sqrt(1522.0);
    const double width = 2.0 * sd / 1000.0;
    EXPECT_NEAR(m, 3.0, width);
    EXPECT_DOUBLE_EQ(m, 3.000757436150252);
    EXPECT_DOUBLE_EQ(robustwt::binmedian(std::vector<double>{1, 2, 3, 4}, 4), 2.5);
    EXPECT_EQ(robustwt::binmedian(std::vector<double>{7, 7, 7}, 3), 7.0);
}

TEST(RobustWeights, BinMedianTopValueStaysInLastBin) {
    // Values just under mean + sd can round into bin 1000; they count in bin 999.
    // Here (v - L) * scale rounds to exactly 1000 for the last value.
    std::vector<double> x{2.0, 1.5, 10.0, 1.0, 0.5, 7.330127018922192};
    EXPECT_DOUBLE_EQ(robustwt::binmedian(x, 6), 1.7514800428774338);
    std::vector<double> y(101);
    for (int i = 0; i <= 100; ++i) y[i] = i * 0.1;
    EXPECT_NEAR(robustwt::binmedian(y, 101), 5.0, 0.02);
}

TEST(RobustWeights, Median2) {
    double med = 0.0;
    robustwt::median2(std::vector<double>{5, 1, 3}, 3, med);
    EXPECT_EQ(med, 3.0);
    robustwt::median2(std::vector<double>{4, 1, 3, 2}, 4, med);
    EXPECT_EQ(med, 2.5);
    robustwt::median2(std::vector<double>{-4, -1, -3}, 3, med);
    EXPECT_EQ(med, 1e-15);
}

TEST(RobustWeights, EqualResidualsGiveUnitWeights) {
    std::vector<double> r{0.3, -0.3, 0.3, 0.3}, w(4, 0.0);
    robustwt::robust_wt(4, r, w);
    EXPECT_EQ(w, std::vector<double>(4, 1.0));
}

TEST(RobustWeights, SineWaveWeights) {
    std::vector<double> r{0.1, -0.2, 0.15, 0.05, -0.1, 3.0}, w(6);
    robustwt::robust_wt(6, r, w);
    const std::vector<double> expected{6.894938510964518, 6.841938262513905, 6.873295025249731,
                                       6.906813458004875, 6.894938510964518, 1.2150669025508074};
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(w[i], expected[i], 1e-9) << i;
}

TEST(RobustWeights, ResidualAtCentreUsesTheLimit) {
    // The middle residual sits exactly at the centre: u = 0 must not give 0/0.
    std::vector<double> r{1.0, 2.0, 3.0, 4.0, 5.0}, w(5);
    robustwt::robust_wt(5, r, w);
    const std::vector<double> expected{5.544589631051442, 6.551549108103373, 1.0, 6.55154912229368,
                                       5.544589656810878};
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(std::isnan(w[i]));
        EXPECT_NEAR(w[i], expected[i], 1e-7) << i;
    }
}

TEST(RobustWeights, ResidualsBeyondTheBinningGiveFiniteWeights) {
    // Squares above the largest double (from about 1.4e154), infinities and
    // NaN leave the mean or spread without a finite value: the median is then
    // the middle value itself, and every weight stays finite.
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    EXPECT_EQ(robustwt::binmedian(std::vector<double>{3, 1, 2e154, 2, 5}, 5), 3.0);
    EXPECT_EQ(robustwt::binmedian(std::vector<double>{3, 1, 2e154, 2}, 4), 2.5);
    EXPECT_EQ(robustwt::binmedian(std::vector<double>{nan, 4, 1}, 3), 4.0);
    const std::vector<std::vector<double>> cases{
        {3.2, 2e154, 35.8, -4.1, 1.0}, {1.7e308, -1.7e308, 2.0, 1.0}, {inf, 1.0, 2.0},
        {-inf, inf, nan, 1.0},         {nan, nan},                    {5e-324, 0.0, 1e-320, 5e-324}};
    for (const auto& r : cases) {
        std::vector<double> w(r.size(), 1.0);
        robustwt::robust_wt(static_cast<int>(r.size()), r, w);
        for (const double v : w) EXPECT_TRUE(std::isfinite(v)) << r[0] << " " << r[1];
    }
}

TEST(RobustWeights, ThreadsSharingTheRowsChangeNoBit) {
    // Tables below and above the size that is shared, heavy-tailed residuals.
    std::mt19937_64 random(11);
    std::cauchy_distribution<double> residual(0.0, 2.0);
    for (const int n : {511, 512, 1000}) {
        std::vector<double> r(static_cast<std::size_t>(n));
        for (double& v : r) v = residual(random);
        row_threads::set_thread_count(1);
        std::vector<double> alone(r.size());
        robustwt::robust_wt(n, r, alone);
        for (const int threads : {2, 3, 8}) {
            row_threads::set_thread_count(threads);
            std::vector<double> shared(r.size());
            robustwt::robust_wt(n, r, shared);
            EXPECT_EQ(shared, alone) << n << " rows, " << threads << " threads";
        }
    }
    row_threads::set_thread_count(0);
}

}  // namespace
