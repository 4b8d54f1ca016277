#include "foundations/eigen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "foundations/runtime.h"

using kalvor::Matrix;

namespace {

// B B' + I with B uniform in [-1, 1]: symmetric positive definite.
Matrix random_spd(int n) {
    Matrix b(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) b(i, j) = 2.0 * runtime::random_number() - 1.0;
    Matrix a(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            double s = i == j ? 1.0 : 0.0;
            for (int k = 0; k < n; ++k) s += b(i, k) * b(j, k);
            a(i, j) = s;
        }
    return a;
}

void seed(int value) {
    std::vector<std::int32_t> s(runtime::random_seed_size(), value);
    runtime::random_seed_put(s);
}

double largest_magnitude(const Matrix& a, int n) {
    double m = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) m = std::max(m, std::fabs(a(i, j)));
    return m;
}

// max |V diag(lambda) V' - a| and max |V'V - I|.
void expect_decomposes(const Matrix& a, const Matrix& v, const std::vector<double>& lambda, int n, double tol) {
    const double scale = largest_magnitude(a, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            double rebuilt = 0.0, gram = 0.0;
            for (int k = 0; k < n; ++k) {
                rebuilt += v(i, k) * lambda[k] * v(j, k);
                gram += v(k, i) * v(k, j);
            }
            EXPECT_NEAR(rebuilt, a(i, j), tol * scale) << i << "," << j;
            EXPECT_NEAR(gram, i == j ? 1.0 : 0.0, tol) << i << "," << j;
        }
}

}  // namespace

TEST(Eigen, EqualDiagonalPairRotatesByAQuarterTurn) {
    Matrix a(2, 2);
    a(0, 0) = 2.0; a(1, 1) = 2.0;
    a(0, 1) = 1.0; a(1, 0) = 1.0;
    Matrix v;
    eigenvlvc::eigenjacobi(a, v, 2, 1e-12);
    EXPECT_NEAR(a(0, 0), 3.0, 1e-15);
    EXPECT_NEAR(a(1, 1), 1.0, 1e-15);
    const double h = 0.7071067811865475;
    EXPECT_NEAR(std::fabs(v(0, 0)), h, 1e-16);
    EXPECT_NEAR(std::fabs(v(1, 0)), h, 1e-16);
    EXPECT_GT(v(0, 0) * v(1, 0), 0.0);  // (1, 1) direction for 3
    EXPECT_LT(v(0, 1) * v(1, 1), 0.0);  // (-1, 1) direction for 1
}

TEST(Eigen, TiesPutTheLaterPositionFirst) {
    Matrix a(3, 3);
    a(0, 0) = 1.0; a(1, 1) = 5.0; a(2, 2) = 5.0;
    Matrix v;
    eigenvlvc::eigenjacobi(a, v, 3, 1e-12);
    EXPECT_EQ(a(0, 0), 5.0);
    EXPECT_EQ(a(1, 1), 5.0);
    EXPECT_EQ(a(2, 2), 1.0);
    EXPECT_EQ(v(2, 0), 1.0);  // the eigenvector of the later 5 comes first
    EXPECT_EQ(v(1, 1), 1.0);
    EXPECT_EQ(v(0, 2), 1.0);
}

TEST(Eigen, JacobiAndHouseholderAgreeOnRandomSpdMatrices) {
    seed(11);
    for (int n = 1; n <= 10; ++n) {
        const Matrix a = random_spd(n);
        Matrix aj = a, v;
        eigenvlvc::eigenjacobi(aj, v, n, 1e-12);
        std::vector<double> lj(n);
        for (int i = 0; i < n; ++i) lj[i] = aj(i, i);
        // Off-diagonal entries below 5e-6 of the mean off-diagonal magnitude
        // may remain.
        expect_decomposes(a, v, lj, n, 1e-6);

        std::vector<double> eval(n), pct(n);
        Matrix evec, evec2, infl;
        eigenvlvc::eigenvv(n, n, a, eval, pct, evec, evec2, infl);
        expect_decomposes(a, evec, eval, n, 1e-12);
        double pct_total = 0.0;
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(eval[k], lj[k], 1e-9 * lj[0]) << "order " << n;
            if (k > 0) {
                EXPECT_GE(eval[k - 1], eval[k]);
            }
            // Same direction up to sign.
            double dot = 0.0;
            for (int i = 0; i < n; ++i) dot += v(i, k) * evec(i, k);
            EXPECT_NEAR(std::fabs(dot), 1.0, 1e-7);
            pct_total += pct[k];
        }
        EXPECT_NEAR(pct_total, 100.0, 1e-10);
        for (int i = 0; i < n; ++i) {
            double row = 0.0;
            for (int k = 0; k < n; ++k) row += infl(i, k);
            EXPECT_NEAR(row, 100.0, 1e-10);
        }
    }
}

TEST(Eigen, JacobiUsesTheLeadingBlockOfALargerMatrix) {
    seed(12);
    const Matrix a = random_spd(4);
    Matrix big(10, 10, 7.0);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) big(i, j) = a(i, j);
    Matrix small = a, v1, v2;
    eigenvlvc::eigenjacobi(small, v1, 4, 1e-12);
    eigenvlvc::eigenjacobi(big, v2, 4, 1e-12);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(big(i, i), small(i, i));
    EXPECT_EQ(big(9, 9), 7.0);
}

TEST(Eigen, SmallOffDiagonalSumLeavesTheIdentity) {
    Matrix a(2, 2);
    a(0, 0) = 1.0; a(1, 1) = 2.0;
    a(1, 0) = 1e-14; a(0, 1) = 1e-14;
    Matrix v;
    eigenvlvc::eigenjacobi(a, v, 2, 1e-12);
    EXPECT_EQ(v(0, 1), 1.0);  // sorted identity columns
    EXPECT_EQ(v(1, 0), 1.0);
    EXPECT_EQ(a(0, 0), 2.0);
}

// A threshold that is not finite, or that stops decreasing, ends the
// iteration instead of looping for ever.
TEST(Eigen, JacobiEndsOnThresholdsThatCannotDecrease) {
    // A lower sum that is infinite or NaN gives no finite threshold: nothing
    // is rotated, and the equal diagonal is ordered later position first.
    for (const double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
        Matrix m = Matrix::identity(3);
        m(1, 0) = m(0, 1) = bad;
        Matrix v;
        eigenvlvc::eigenjacobi(m, v, 3, 1e-12);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(m(k, k), 1.0) << bad;
        EXPECT_EQ(v(2, 0), 1.0) << bad;
        EXPECT_EQ(v(0, 1), 1.0) << bad;
        EXPECT_EQ(v(1, 2), 1.0) << bad;
        double sum = 0.0;
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i) sum += std::fabs(v(i, j));
        EXPECT_EQ(sum, 3.0) << bad;  // a permutation: no rotation was made
    }
    Matrix v;

    Matrix one(1, 1, 4.0);
    eigenvlvc::eigenjacobi(one, v, 1, -1.0);  // threshold 0 divided by 1
    EXPECT_EQ(one(0, 0), 4.0);
    EXPECT_EQ(v(0, 0), 1.0);

    Matrix zero(3, 3);
    eigenvlvc::eigenjacobi(zero, v, 3, -1.0);  // threshold 0 divided by 3
    EXPECT_EQ(v(2, 0), 1.0);  // no rotation; ties put the later position first
    EXPECT_EQ(v(0, 1), 1.0);
    EXPECT_EQ(v(1, 2), 1.0);

    // Eigenvalues 1 +- 4.9e-324, that is 1 and 1, with orthonormal vectors.
    Matrix tiny = Matrix::identity(2);
    tiny(1, 0) = tiny(0, 1) = 4.9e-324;  // final threshold underflows to 0
    eigenvlvc::eigenjacobi(tiny, v, 2, 0.0);
    EXPECT_NEAR(tiny(0, 0), 1.0, 1e-15);
    EXPECT_NEAR(tiny(1, 1), 1.0, 1e-15);
    for (int j = 0; j < 2; ++j) {
        EXPECT_NEAR(v(0, j) * v(0, j) + v(1, j) * v(1, j), 1.0, 1e-15) << j;
    }
    EXPECT_NEAR(v(0, 0) * v(0, 1) + v(1, 0) * v(1, 1), 0.0, 1e-15);
}

TEST(Eigen, EigenvvOfADiagonalMatrix) {
    Matrix x(2, 2);
    x(0, 0) = 1.0;
    x(1, 1) = 3.0;
    std::vector<double> eval(2), pct(2);
    Matrix evec, evec2, infl;
    eigenvlvc::eigenvv(2, 2, x, eval, pct, evec, evec2, infl);
    EXPECT_DOUBLE_EQ(eval[0], 3.0);
    EXPECT_DOUBLE_EQ(eval[1], 1.0);
    EXPECT_DOUBLE_EQ(pct[0], 75.0);
    EXPECT_DOUBLE_EQ(pct[1], 25.0);
    EXPECT_EQ(evec2(1, 0), 1.0);
    EXPECT_EQ(evec2(0, 0), 0.0);
    EXPECT_EQ(evec2(0, 1), 1.0);
    EXPECT_EQ(evec2(1, 1), 0.0);
    // Zero eigenvector entries are floored at 3.162277660168379e-8.
    EXPECT_EQ(evec(0, 0), 3.162277660168379e-8);
    // Parameter 1 belongs to component 2 (eigenvalue 1), parameter 2 to 1.
    EXPECT_NEAR(infl(0, 1), 100.0, 1e-9);
    EXPECT_NEAR(infl(1, 0), 100.0, 1e-9);
    const double floor_share = 100.0 * 3.0 * 1e-15 / (1.0 + 3.0 * 1e-15);
    EXPECT_NEAR(infl(0, 0), floor_share, 1e-20);
    EXPECT_NEAR(infl(1, 1), 100.0 * 1e-15 / (3.0 + 1e-15), 1e-20);
}

TEST(Eigen, EigenvvKeepsEigenvaluesWithinTheirBounds) {
    Matrix x(3, 3);
    x(0, 0) = 1e9;
    x(1, 1) = 0.0;
    x(2, 2) = std::nan("");
    std::vector<double> eval(3), pct(3);
    Matrix evec, evec2, infl;
    eigenvlvc::eigenvv(3, 3, x, eval, pct, evec, evec2, infl);
    for (double value : eval) {
        EXPECT_TRUE(std::isfinite(value));
        EXPECT_GE(value, 3.162277660168379e-8);
        EXPECT_LE(value, 31622776.601683795);
    }
}

TEST(Eigen, VariantsFindTheSameEigenvalues) {
    seed(21);
    for (int n : {2, 5, 8, 10}) {
        const Matrix a = random_spd(n);
        std::vector<double> eval(n), pct(n);
        Matrix evec, evec2, infl;
        eigenvlvc::eigenvv(n, n, a, eval, pct, evec, evec2, infl);

        const auto sorted_diagonal = [n](const Matrix& m) {
            std::vector<double> d(n);
            for (int i = 0; i < n; ++i) d[i] = m(i, i);
            std::sort(d.rbegin(), d.rend());
            return d;
        };
        Matrix a1 = a, v1;
        eigenvlvc::jacobieigen(a1, v1, n, 1e-13);
        Matrix a2 = a, v2;
        int iter = 1000;
        eigenvlvc::eigenjacob(a2, v2, n, 1e-14, iter);
        EXPECT_GT(iter, 0);
        EXPECT_LE(iter, 1000);
        Matrix a3 = a;
        eigenvlvc::eigen_symm_jacobi(n, a3);

        const std::vector<double> d1 = sorted_diagonal(a1), d2 = sorted_diagonal(a2);
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(d1[k], eval[k], 1e-10 * eval[0]);
            EXPECT_NEAR(d2[k], eval[k], 1e-6 * eval[0]);
            EXPECT_NEAR(a3(k, k), eval[k], 1e-5 * eval[0]);  // sorted descending in place
        }
        // The rotations reconstruct the matrix from the rotated diagonal.
        std::vector<double> l1(n), l2(n);
        for (int i = 0; i < n; ++i) { l1[i] = a1(i, i); l2[i] = a2(i, i); }
        expect_decomposes(a, v1, l1, n, 1e-9);
        expect_decomposes(a, v2, l2, n, 1e-6);
    }
}

TEST(Eigen, EigenJacobWithoutIterationsDoesNothing) {
    Matrix a = Matrix::identity(2);
    a(0, 1) = a(1, 0) = 0.5;
    const Matrix original = a;
    Matrix v;
    int iter = 0;
    eigenvlvc::eigenjacob(a, v, 2, 1e-12, iter);
    EXPECT_EQ(iter, 0);
    EXPECT_EQ(a, original);
}
