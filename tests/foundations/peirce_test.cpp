#include "foundations/peirce.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
double peirce(int N, int n, int m = 1) {
    double ratio = -1;
    peirce_criterion(N, n, m, ratio);
    return ratio;
}
}  // namespace

// Peirce's criterion tables (one estimated quantity), as published by Ross
// and recomputed to three decimals with 30-digit arithmetic.
TEST(Peirce, PublishedTable) {
    EXPECT_NEAR(peirce(10, 1), 1.878, 5e-4);
    EXPECT_NEAR(peirce(10, 2), 1.570, 5e-4);
    EXPECT_NEAR(peirce(10, 3), 1.380, 5e-4);
    const double one[] = {1.383, 1.509, 1.610, 1.693, 1.763, 1.824, 1.878, 1.925, 1.968, 2.007, 2.043, 2.076};
    const double two[] = {1.079, 1.200, 1.299, 1.382, 1.453, 1.515, 1.570, 1.619, 1.663, 1.704, 1.741, 1.775};
    for (int N = 4; N <= 15; ++N) {
        EXPECT_NEAR(peirce(N, 1), one[N - 4], 5e-4) << N;
        EXPECT_NEAR(peirce(N, 2), two[N - 4], 5e-4) << N;
    }
    EXPECT_NEAR(peirce(60, 1), 2.6622909, 1e-6);
}

TEST(Peirce, TooFewObservations) {
    EXPECT_EQ(peirce(1, 1), 0.0);
    EXPECT_EQ(peirce(0, 0), 0.0);
    EXPECT_EQ(peirce(-5, 1), 0.0);
}

// n >= N took the root of a negative number or divided by N - n = 0; n < 1
// divided by n.
TEST(Peirce, DoubtfulCountOutsideOneToNMinusOne) {
    for (int n : {0, -2, 10, 11, 40}) {
        const double r = peirce(10, n);
        EXPECT_EQ(r, 0.0) << n;
    }
    EXPECT_GT(peirce(10, 9), 0.0);
    EXPECT_TRUE(std::isfinite(peirce(10, 9)));
    // More model quantities than observations left: the ratio bottoms out at 0.
    EXPECT_EQ(peirce(10, 2, 20), 0.0);
}
