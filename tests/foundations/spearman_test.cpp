#include "foundations/spearman.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

using spearcorr_mod::rank;
using spearcorr_mod::spcorr;

TEST(SpearmanRank, TiesShareTheirAverageRank) {
    const std::vector<double> x{3, 1, 3, 2};
    std::vector<double> r(4);
    rank(x, 4, r);
    EXPECT_EQ(r, (std::vector<double>{3.5, 1, 3.5, 2}));

    const std::vector<double> y{5, 5, 5, 1, 5};
    std::vector<double> ry(5);
    rank(y, 5, ry);
    EXPECT_EQ(ry, (std::vector<double>{3.5, 3.5, 3.5, 1, 3.5}));

    std::vector<double> one{-1};
    rank(std::vector<double>{42}, 1, one);
    EXPECT_EQ(one[0], 1.0);
}

TEST(SpearmanRank, ValuesJustAboveTheFirstCountAsTies) {
    const double d = static_cast<double>(1e-15f);
    std::vector<double> r(3);
    rank(std::vector<double>{0.0, d, d}, 3, r);
    EXPECT_EQ(r, (std::vector<double>{2, 2, 2}));
}

TEST(SpearmanRank, TooLongAndNotANumber) {
    std::vector<double> x(7501, 1.0), r(7501, 9.0);
    rank(x, 7501, r);
    for (double v : r) ASSERT_EQ(v, 0.0);

    std::vector<double> rn(4);
    rank(std::vector<double>{2, std::nan(""), 1, std::nan("")}, 4, rn);
    EXPECT_EQ(rn, (std::vector<double>{2, 3.5, 1, 3.5}));
}

TEST(SpearmanCorrelation, PerfectAndReversedOrder) {
    const std::vector<double> x{0.3, 1.7, 2.2, 5.0, 9.1}, rev{9, 8, 7, 6, 5};
    double rho = 0;
    spcorr(x, x, 5, {}, rho);
    EXPECT_EQ(rho, 1.0);
    spcorr(x, rev, 5, {}, rho);
    EXPECT_EQ(rho, -1.0);
    spcorr(x, rev, 1, {}, rho);
    EXPECT_EQ(rho, 0.0);
}

TEST(SpearmanCorrelation, WorkedExampleWithTies) {
    // Ranks x: 1, 2.5, 2.5, 4, 5; y: 2, 1, 4, 3, 5; sum d^2 = 1 + 2.25 + 2.25 + 1 + 0 = 6.5.
    const std::vector<double> x{1, 2, 2, 3, 4}, y{20, 10, 40, 30, 50};
    double rho = 0;
    spcorr(x, y, 5, {}, rho);
    EXPECT_DOUBLE_EQ(rho, 1.0 - 6.0 * 6.5 / (4.0 * 5.0 * 6.0));
}

TEST(SpearmanCorrelation, LongSamplesAndNearZero) {
    // (n - 1) n (n + 1) passes the 32-bit range here.
    const int n = 5000;
    std::vector<double> up(n), down(n);
    for (int i = 0; i < n; ++i) up[i] = i, down[i] = -i;
    double rho = 0;
    spcorr(up, down, n, {}, rho);
    EXPECT_DOUBLE_EQ(rho, -1.0);

    spcorr(std::vector<double>{2, 3, 1, 4}, std::vector<double>{1, 2, 3, 4}, 4, {}, rho);
    EXPECT_DOUBLE_EQ(rho, 1.0 - 6.0 * 6.0 / 60.0);
    spcorr(std::vector<double>{4, 1, 3, 5, 2}, std::vector<double>{1, 2, 3, 4, 5}, 5, {}, rho);
    EXPECT_EQ(rho, 0.0);  // sum d^2 = 20 gives exactly 0
}

TEST(SpearmanCorrelation, MagnitudesBelowTheThresholdBecomeZero) {
    // A permutation of 1..200 with sum d^2 = 1333296: rho = 24 / 7999800 = 3e-6.
    const std::vector<double> x{
        34, 147, 80, 20, 65, 132, 13, 188, 175, 33, 87, 124, 110, 172, 43, 171, 180, 32, 37, 11,
        181, 10, 122, 28, 58, 158, 97, 164, 161, 42, 44, 19, 170, 155, 120, 160, 16, 18, 64, 29, 77,
        184, 5, 169, 81, 105, 162, 157, 38, 36, 15, 41, 12, 193, 135, 39, 113, 138, 114, 106, 112,
        68, 92, 84, 90, 189, 88, 117, 53, 102, 168, 199, 133, 47, 62, 165, 55, 176, 72, 192, 197,
        93, 50, 182, 141, 145, 126, 200, 178, 46, 74, 131, 187, 52, 137, 71, 70, 150, 99, 2, 30, 24,
        140, 22, 83, 119, 154, 148, 79, 144, 91, 40, 151, 61, 179, 103, 134, 149, 51, 108, 67, 21,
        185, 14, 198, 85, 183, 23, 96, 186, 45, 177, 104, 63, 123, 9, 101, 153, 128, 73, 78, 49,
        130, 166, 129, 86, 195, 76, 48, 26, 143, 107, 173, 75, 118, 163, 159, 89, 60, 142, 194, 95,
        57, 136, 174, 109, 56, 190, 3, 139, 191, 7, 6, 94, 82, 27, 152, 59, 69, 115, 4, 1, 156, 111,
        100, 8, 125, 25, 54, 98, 167, 121, 116, 127, 31, 66, 17, 196, 146, 35};
    std::vector<double> y(200);
    for (int i = 0; i < 200; ++i) y[i] = i + 1;
    double rho = 1;
    spcorr(x, y, 200, {}, rho);
    EXPECT_EQ(rho, 0.0);

    auto x2 = x;
    // With its first two entries exchanged, sum d^2 = 1333522: rho = -1332 / 7999800.
    std::swap(x2[0], x2[1]);
    spcorr(x2, y, 200, {}, rho);
    EXPECT_NEAR(rho, -1332.0 / 7999800.0, 1e-15);
}
