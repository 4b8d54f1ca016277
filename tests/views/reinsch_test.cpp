// The end corrections of the Reinsch smoothing spline (mode 2).

#include "views/reinsch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The spline's table of the points (x(i), y(i)) after a call in mode.
std::vector<double> smoothed(const std::vector<double>& x, const std::vector<double>& y, int mode) {
    const std::size_t n = x.size();
    std::vector<double> xy(7 * n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        xy[i] = x[i];
        xy[n + i] = y[i];
    }
    reinsch::reinschsmoothing(static_cast<int>(n), xy, mode, 1.0f);
    return xy;
}

// Mode 2 changes exactly three entries; every other one is mode 1's.
void expect_rest_unchanged(const std::vector<double>& one, const std::vector<double>& two, std::size_t n) {
    const std::size_t changed[] = {n + 1, 2 * n + n - 2, 4 * n + n - 1};  // g(2), b(n-1), 2c(n)
    for (std::size_t k = 0; k < one.size(); ++k) {
        if (k == changed[0] || k == changed[1] || k == changed[2]) continue;
        EXPECT_EQ(two[k], one[k]) << k;
    }
}

// On a line the spline is the line itself, and the five-point cubic
// formulas give its value and slope back: the second value becomes 1.1
// times the line's, the last but one slope 1.3 times its slope (x spaced
// 0.5 apart), the last curvature stays 0.
TEST(ReinschEnds, OnALineTheCorrectionsAreTheirFactors) {
    const std::size_t n = 8;
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = 0.5 * static_cast<double>(i);
        y[i] = 1.0 + 3.0 * x[i];
    }
    const std::vector<double> one = smoothed(x, y, 1), two = smoothed(x, y, 2);
    EXPECT_NEAR(two[n + 1], 1.1 * 2.5, 1e-12);
    EXPECT_NEAR(two[2 * n + n - 2], 1.3 * 3.0, 1e-12);
    EXPECT_NEAR(two[4 * n + n - 1], 0.0, 1e-12);
    expect_rest_unchanged(one, two, n);
}

// On a curve the corrections read the smoothed values, not the data; the
// natural spline's curvature is 0 at the last point, so 2.2 c + 6 d h of
// the last interval is a tenth of the curvature at the point before.
TEST(ReinschEnds, OnACurveTheyReadTheSmoothedValues) {
    const std::size_t n = 9;
    std::vector<double> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = static_cast<double>(i);
        y[i] = std::sin(0.7 * x[i]) + (i % 2 == 0 ? 0.1 : -0.1);
    }
    const std::vector<double> one = smoothed(x, y, 1), two = smoothed(x, y, 2);
    const double* g = &one[n];
    EXPECT_NEAR(two[n + 1], 1.1 * (2 * g[0] + 27 * g[1] + 12 * g[2] - 8 * g[3] + 2 * g[4]) / 35, 1e-12);
    EXPECT_NEAR(two[2 * n + n - 2],
                1.3 * (57 * g[n - 1] + 3 * g[n - 2] - 36 * g[n - 3] - 39 * g[n - 4] + 15 * g[n - 5]) / 126, 1e-12);
    EXPECT_NEAR(two[4 * n + n - 1], 0.1 * one[4 * n + n - 2], 1e-12);
    EXPECT_NE(one[4 * n + n - 2], 0.0);
    expect_rest_unchanged(one, two, n);
}

}  // namespace
