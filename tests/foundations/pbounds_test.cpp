#include "foundations/pbounds.h"

#include <gtest/gtest.h>

#include <vector>

using pbounds4_mod::pbounds4;

TEST(Pbounds4, BadInputLeavesEverythingAlone) {
    std::vector<double> p{5, 5}, lo{0, 0}, hi{10, 10};
    std::vector<int> mask{1, 1};
    double s = 1;
    int status = -1;
    pbounds4(p, 0, lo, hi, mask, s, status);
    EXPECT_EQ(status, 1);
    hi[1] = 0;
    p = {50, 50};
    pbounds4(p, 2, lo, hi, mask, s, status);
    EXPECT_EQ(status, 2);
    hi[1] = 1e-13;
    pbounds4(p, 2, lo, hi, mask, s, status);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(p, (std::vector<double>{50, 50}));
    EXPECT_EQ(s, 1.0);
}

TEST(Pbounds4, PullsOutsideParametersBackInside) {
    // Bounds 0..10: band 0..9.5.
    std::vector<double> p{12, 9.8, -1, 5, 20};
    std::vector<double> lo(5, 0.0), hi(5, 10.0);
    std::vector<int> mask{1, 1, 1, 1, 0};
    double s = 2;
    int status = -1;
    pbounds4(p, 5, lo, hi, mask, s, status);
    EXPECT_EQ(status, 0);
    EXPECT_DOUBLE_EQ(p[0], 9.0);                // above hi: hi - 0.1 range
    EXPECT_DOUBLE_EQ(p[1], 8.899999999999999);  // between band and hi: pulled in proportion
    EXPECT_DOUBLE_EQ(p[2], 1.0);                // below lo: lo + 0.1 range
    EXPECT_EQ(p[3], 5.0);                       // inside its band
    EXPECT_EQ(p[4], 20.0);                      // fixed
    // S = 3/10 + 0.9/10 + 2/10; s = (2 S + 1) s.
    EXPECT_DOUBLE_EQ(s, (2 * (0.3 + 0.09 + 0.2) + 1) * 2);
}

TEST(Pbounds4, MoveOntoZeroAndVeryWideBounds) {
    // lo + 0.1 range is 0 while lo is not: 0.1 min(|hi|, |lo|) towards the middle.
    std::vector<double> p{-2}, lo{-1}, hi{9};
    std::vector<int> mask{1};
    double s = 1;
    int status = -1;
    pbounds4(p, 1, lo, hi, mask, s, status);
    EXPECT_DOUBLE_EQ(p[0], 0.1);
    EXPECT_DOUBLE_EQ(s, 1.4);

    // Range 1e12: the pulled value 9e11 is divided by 0.1 * 10^(0.95 * 12).
    p = {2e12};
    lo = {0};
    hi = {1e12};
    s = 1;
    pbounds4(p, 1, lo, hi, mask, s, status);
    EXPECT_NEAR(p[0], 35.82964534981487, 1e-9);
    EXPECT_NEAR(s, 2 * 4.0999999999641705 + 1, 1e-9);
}
