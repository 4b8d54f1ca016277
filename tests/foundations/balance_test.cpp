#include "foundations/balance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using balance_mod::balance;
using kalvor::Matrix;

namespace {

double row_sum(const Matrix& a, std::size_t i) {
    double s = 0;
    for (std::size_t j = 0; j < a.cols(); ++j)
        if (j != i) s += std::fabs(a(i, j));
    return s;
}
double col_sum(const Matrix& a, std::size_t i) {
    double s = 0;
    for (std::size_t j = 0; j < a.rows(); ++j)
        if (j != i) s += std::fabs(a(j, i));
    return s;
}

}  // namespace

TEST(Balance, DiagonalAndEmptyMatricesStay) {
    Matrix d(3, 3);
    d(0, 0) = 5;
    d(1, 1) = -1e-8;
    d(2, 2) = 3e9;
    const Matrix before = d;
    balance(d, 3);
    EXPECT_EQ(d, before);
    balance(d, 0);
    EXPECT_EQ(d, before);
}

TEST(Balance, TwoByTwoWorkedByHand) {
    // Column 1 sum 0.01 against row 1 sum 100: f = 2^7, giving 1.28 and 100/128.
    Matrix a(2, 2);
    a(0, 0) = 1;
    a(0, 1) = 100;
    a(1, 0) = 0.01;
    a(1, 1) = 1;
    balance(a, 2);
    EXPECT_EQ(a(0, 0), 1.0);
    EXPECT_EQ(a(1, 1), 1.0);
    EXPECT_EQ(a(0, 1), 0.78125);
    EXPECT_DOUBLE_EQ(a(1, 0), 1.28);
}

TEST(Balance, IsAnExactSimilarityWithBalancedNorms) {
    Matrix a(6, 6);
    for (std::size_t i = 0; i < 6; ++i)
        for (std::size_t j = 0; j < 6; ++j)
            a(i, j) = std::sin(1.0 + 3.0 * i + 7.0 * j) * std::pow(10.0, static_cast<double>(i) - static_cast<double>(j));
    const Matrix before = a;
    balance(a, 6);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(a(i, i), before(i, i));
        for (std::size_t j = 0; j < 6; ++j) EXPECT_DOUBLE_EQ(a(i, j) * a(j, i), before(i, j) * before(j, i));
        const double ratio = col_sum(a, i) / row_sum(a, i);
        EXPECT_GT(ratio, 0.2) << i;
        EXPECT_LT(ratio, 5.0) << i;
    }
}

// A row or column whose sum is infinite or not a number never settled.
TEST(Balance, SkipsRowsAndColumnsThatAreNotFinite) {
    Matrix a(3, 3, 1.0);
    a(0, 1) = std::numeric_limits<double>::infinity();
    a(2, 0) = 1e-6;
    a(0, 2) = 1e6;
    balance(a, 3);
    EXPECT_TRUE(std::isinf(a(0, 1)));

    Matrix b(3, 3, 1.0);
    b(1, 2) = std::nan("");
    b(2, 0) = 1e-6;
    b(0, 2) = 1e6;
    balance(b, 3);
    EXPECT_TRUE(std::isnan(b(1, 2)));
    EXPECT_EQ(b(0, 0), 1.0);
}
