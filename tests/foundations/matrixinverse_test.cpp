#include "foundations/matrixinverse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "foundations/nrutil.h"
#include "foundations/robust_gj.h"
#include "foundations/runtime.h"

using kalvor::Matrix;

namespace {

// Diagonally dominant random matrix: well conditioned at every order.
Matrix random_well_conditioned(int n) {
    Matrix a(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) a(i, j) = 2.0 * runtime::random_number() - 1.0;
    for (int i = 0; i < n; ++i) a(i, i) += (a(i, i) < 0 ? -1.0 : 1.0) * n;
    return a;
}

// Symmetric positive definite: B B' + n I.
Matrix random_spd(int n) {
    const Matrix b = random_well_conditioned(n);
    Matrix a(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            double s = i == j ? n : 0.0;
            for (int k = 0; k < n; ++k) s += b(i, k) * b(j, k);
            a(i, j) = s;
        }
    return a;
}

// Largest |(a * b - I)(i, j)| over the leading n x n blocks.
double identity_defect(const Matrix& a, const Matrix& b, int n) {
    double worst = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            double s = 0.0;
            for (int k = 0; k < n; ++k) s += a(i, k) * b(k, j);
            worst = std::max(worst, std::fabs(s - (i == j ? 1.0 : 0.0)));
        }
    return worst;
}

void seed(int value) {
    std::vector<std::int32_t> s(runtime::random_seed_size(), value);
    runtime::random_seed_put(s);
}

using Inverter = std::function<void(Matrix&, int)>;

void expect_inverts_random_matrices(const Inverter& invert, bool symmetric, double tol) {
    seed(17);
    for (int n = 1; n <= 10; ++n) {
        for (int trial = 0; trial < 3; ++trial) {
            const Matrix a = symmetric ? random_spd(n) : random_well_conditioned(n);
            Matrix inv = a;
            invert(inv, n);
            EXPECT_LT(identity_defect(a, inv, n), tol) << "order " << n;
        }
    }
}

}  // namespace

TEST(MatrixInverse, EveryInverseInvertsRandomWellConditionedMatrices) {
    runtime::reset_hooks();
    expect_inverts_random_matrices([](Matrix& a, int n) {
        int info = -1;
        matrixinverse::lumatinv(n, a, info);
        EXPECT_EQ(info, 0);
    }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) { matrixinverse::gaussmatinv(a, n); }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) { matrixinverse::crout(a, n); }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) {
        int info = -1;
        matrixinverse::matinverse(a, n, info);
        EXPECT_EQ(info, 0);
    }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) {
        int info = -1;
        matrixinverse::inverse(a, n, info);
        EXPECT_EQ(info, 0);
    }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) { matrixinverse::invmatgauss(a, n); }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) {
        int info = -1;
        matrixinverse::my_mat_inv(a, n, info);
        EXPECT_EQ(info, 0);
    }, false, 1e-13);
    expect_inverts_random_matrices([](Matrix& a, int n) {
        int info = -1;
        matrixinverse::chlsky_chlsoi(a, n, info);
        EXPECT_EQ(info, 0);
    }, true, 1e-13);
    for (int precondition : {0, 1}) {
        expect_inverts_random_matrices([precondition](Matrix& a, int n) {
            int ok = -1;
            robust_gj_matinv::robust_gj_mat_inv(a, n, ok, precondition);
            EXPECT_EQ(ok, 1);
        }, false, 1e-13);
    }
    // Kaiser's inverse carries a ridge of about 1e-5 of the largest eigenvalue.
    expect_inverts_random_matrices([](Matrix& a, int n) {
        int ifault = -1;
        matrixinverse::kaiser(a, n, std::vector<double>(n, 1.0), 1e-6, ifault);
        EXPECT_EQ(ifault, 0);
    }, true, 1e-3);
}

TEST(MatrixInverse, LuMatInvWorksOnTheLeadingBlock) {
    Matrix a(4, 4, 99.0);
    a(0, 0) = 2.0; a(0, 1) = 1.0;
    a(1, 0) = 1.0; a(1, 1) = 1.0;
    int info = -1;
    matrixinverse::lumatinv(2, a, info);
    EXPECT_EQ(info, 0);
    EXPECT_DOUBLE_EQ(a(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(a(0, 1), -1.0);
    EXPECT_DOUBLE_EQ(a(1, 0), -1.0);
    EXPECT_DOUBLE_EQ(a(1, 1), 2.0);
    EXPECT_EQ(a(2, 2), 99.0);
    EXPECT_EQ(a(0, 3), 99.0);
}

TEST(MatrixInverse, LuMatInvSwapsRowsOfThePermutation) {
    Matrix a(2, 2);
    a(0, 1) = 1.0;
    a(1, 0) = 1.0;
    const Matrix original = a;
    int info = -1;
    matrixinverse::lumatinv(2, a, info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(a, original);
}

TEST(MatrixInverse, LuMatInvReportsTheZeroPivotAndKeepsTheMatrix) {
    Matrix a(2, 2);
    a(0, 0) = 1.0; a(1, 0) = 3.0;
    a(0, 1) = 2.0; a(1, 1) = 6.0;
    const Matrix original = a;
    int info = 0;
    matrixinverse::lumatinv(2, a, info);
    EXPECT_EQ(info, 2);
    EXPECT_EQ(a, original);

    Matrix one(1, 1, 0.0);
    matrixinverse::lumatinv(1, one, info);
    EXPECT_EQ(info, 1);
    one(0, 0) = 4.0;
    matrixinverse::lumatinv(1, one, info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(one(0, 0), 0.25);
}

TEST(MatrixInverse, KaiserOnTheIdentityNeedsNoRotation) {
    Matrix a = Matrix::identity(2);
    int ifault = -1;
    matrixinverse::kaiser(a, 2, std::vector<double>{1.0, 1.0}, 1e-6, ifault);
    EXPECT_EQ(ifault, 0);
    const double expected = 1.0 / ((1.0 + 1e-5) * (1.0 + 1e-5) * (1.0 + 1.1e-5));
    EXPECT_NEAR(a(0, 0), expected, 1e-15);
    EXPECT_NEAR(a(1, 1), expected, 1e-15);
    EXPECT_EQ(a(0, 1), 0.0);
    EXPECT_EQ(a(1, 0), 0.0);
}

TEST(MatrixInverse, KaiserRejectsAMatrixWithFewerRowsThanItsOrder) {
    Matrix a(2, 3, 1.5);
    const Matrix original = a;
    int ifault = -1;
    matrixinverse::kaiser(a, 3, std::vector<double>(3, 1.0), 1e-6, ifault);
    EXPECT_EQ(ifault, 1);
    EXPECT_EQ(a, original);
    matrixinverse::kaiser(a, 0, std::vector<double>(3, 1.0), 1e-6, ifault);
    EXPECT_EQ(ifault, 1);
}

TEST(MatrixInverse, KaiserDividesByTheScaleFactors) {
    Matrix a(2, 2);
    a(0, 0) = 4.0; a(1, 1) = 1.0;
    int ifault = -1;
    matrixinverse::kaiser(a, 2, std::vector<double>{2.0, 0.5}, 0.0, ifault);
    EXPECT_EQ(ifault, 0);
    // 1/4 and 1/1 (less the ridge), divided by sv(i)^2.
    EXPECT_NEAR(a(0, 0), 0.25 / 4.0, 1e-5);
    EXPECT_NEAR(a(1, 1), 1.0 / 0.25, 1e-3);
}

// The orthogonality test is a cosine, so a matrix of large entries (whose sum
// of squares once made every pair look orthogonal) is still inverted.
TEST(MatrixInverse, KaiserRotationTestDoesNotDependOnTheScale) {
    seed(5);
    for (double scale : {1.0, 1e4, 1e8}) {
        const Matrix base = random_spd(4);
        Matrix a(4, 4);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) a(i, j) = scale * base(i, j);
        Matrix w = a;
        int ifault = -1;
        matrixinverse::kaiser(w, 4, std::vector<double>(4, 1.0), 0.0, ifault);
        EXPECT_EQ(ifault, 0);
        EXPECT_LT(identity_defect(a, w, 4), 1e-3) << "scale " << scale;
    }
}

// Pairs with p = 0 are never rotated, so an all-zero matrix gives no 0/0.
TEST(MatrixInverse, KaiserOfTheZeroMatrixStaysFinite) {
    Matrix a(3, 3);
    int ifault = -1;
    matrixinverse::kaiser(a, 3, std::vector<double>(3, 1.0), 1e-6, ifault);
    EXPECT_EQ(ifault, 0);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(a(i, j), 0.0);
}

TEST(MatrixInverse, KaiserConvergesOnAnIllConditionedMatrix) {
    Matrix hilbert(6, 6);
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) hilbert(i, j) = 1.0 / (i + j + 1);
    Matrix w = hilbert;
    int ifault = -1;
    matrixinverse::kaiser(w, 6, std::vector<double>(6, 1.0), 1e-6, ifault);
    EXPECT_EQ(ifault, 0);
    for (int j = 0; j < 6; ++j)
        for (int i = 0; i < 6; ++i) {
            EXPECT_TRUE(std::isfinite(w(i, j)));
            EXPECT_EQ(w(i, j), w(j, i));
        }
}

TEST(MatrixInverse, KaiserWithNegativeToleranceGivesZero) {
    Matrix a = Matrix::identity(2);
    int ifault = -1;
    matrixinverse::kaiser(a, 2, std::vector<double>{1.0, 1.0}, -1.0, ifault);
    EXPECT_EQ(a, Matrix(2, 2));
}

TEST(MatrixInverse, MatInverseReportsAZeroRowAfterWritingTheInverse) {
    Matrix a(2, 2);
    a(0, 0) = 1.0; a(0, 1) = 2.0;
    int info = 0;
    try {
        matrixinverse::matinverse(a, 2, info);
        FAIL() << "no error raised";
    } catch (const nrutil::NrError& err) {
        EXPECT_EQ(std::string(err.what()), "nrerror: MATINVERSE: singular matrix");
    }
    EXPECT_EQ(info, 1);
}

TEST(MatrixInverse, InvMatGaussRejectsASingularMatrix) {
    Matrix a(2, 2);
    a(0, 0) = 1.0; a(1, 0) = 2.0;
    a(0, 1) = 2.0; a(1, 1) = 4.0;
    const Matrix original = a;
    try {
        matrixinverse::invmatgauss(a, 2);
        FAIL() << "no error raised";
    } catch (const nrutil::NrError& err) {
        EXPECT_EQ(std::string(err.what()), "nrerror: InvMatGauss: singular matrix");
    }
    EXPECT_EQ(a, original);
}

TEST(MatrixInverse, InverseWithoutPivotingReportsTheZeroPivot) {
    Matrix swap(2, 2);
    swap(0, 1) = 1.0;
    swap(1, 0) = 1.0;
    const Matrix original = swap;
    int info = 0;
    matrixinverse::inverse(swap, 2, info);
    EXPECT_EQ(info, 1);
    EXPECT_EQ(swap, original);

    Matrix singular(2, 2);
    singular(0, 0) = 1.0; singular(1, 0) = 2.0;
    singular(0, 1) = 2.0; singular(1, 1) = 4.0;
    matrixinverse::inverse(singular, 2, info);
    EXPECT_EQ(info, 2);
}

// A zero pivot in the full-pivoting Gauss-Jordan is reported, not turned into
// infinities.
TEST(MatrixInverse, MyMatInvReportsSingularMatrices) {
    Matrix a(3, 3);
    a(0, 0) = 1.0; a(0, 1) = 2.0; a(0, 2) = 3.0;
    a(1, 0) = 2.0; a(1, 1) = 4.0; a(1, 2) = 6.0;
    a(2, 0) = 1.0; a(2, 1) = 0.0; a(2, 2) = 1.0;
    const Matrix original = a;
    int info = 0;
    matrixinverse::my_mat_inv(a, 3, info);
    EXPECT_EQ(info, 2);
    EXPECT_EQ(a, original);

    Matrix zero(2, 2);
    matrixinverse::my_mat_inv(zero, 2, info);
    EXPECT_EQ(info, 2);
    matrixinverse::my_mat_inv(zero, 0, info);
    EXPECT_EQ(info, 1);
}

TEST(MatrixInverse, CroutGivesInfinitiesForASingularMatrix) {
    Matrix a(2, 2);
    a(0, 0) = 1.0; a(1, 0) = 2.0;
    a(0, 1) = 2.0; a(1, 1) = 4.0;
    matrixinverse::crout(a, 2);
    EXPECT_FALSE(std::isfinite(a(1, 1)));
}

TEST(MatrixInverse, CholeskyRejectsIndefiniteAndHugeDeterminants) {
    Matrix indefinite(2, 2);
    indefinite(0, 0) = 1.0; indefinite(1, 0) = 2.0;
    indefinite(0, 1) = 2.0; indefinite(1, 1) = 1.0;
    const Matrix original = indefinite;
    int info = 0;
    matrixinverse::chlsky_chlsoi(indefinite, 2, info);
    EXPECT_EQ(info, 1);
    EXPECT_EQ(indefinite, original);

    Matrix huge = Matrix::identity(4);
    for (int i = 0; i < 4; ++i) huge(i, i) = 1e10;  // determinant 1e40 > 16^32
    matrixinverse::chlsky_chlsoi(huge, 4, info);
    EXPECT_EQ(info, 1);
}

TEST(MatrixInverse, SvdReorderSortsValuesWithTheirColumns) {
    std::vector<double> s{1.0, 3.0, 2.0, 3.0};
    Matrix u(2, 4), v(4, 4);
    for (int l = 0; l < 4; ++l) {
        u(0, l) = l; u(1, l) = 10 + l;
        for (int i = 0; i < 4; ++i) v(i, l) = 100 * l + i;
    }
    Matrix u2 = u, v2 = v;
    std::vector<double> s2 = s;
    matrixinverse::svd_reorder(2, 4, u, v, s);
    matrixinverse::svd_sort(u2, 2, 4, v2, s2);
    const std::vector<int> order{1, 3, 2, 0};  // equal values keep their order
    for (int l = 0; l < 4; ++l) {
        EXPECT_EQ(s[l], std::vector<double>({1.0, 3.0, 2.0, 3.0})[order[l]]);
        EXPECT_EQ(u(1, l), 10 + order[l]);
        EXPECT_EQ(v(3, l), 100 * order[l] + 3);
    }
    EXPECT_EQ(s, s2);
    EXPECT_EQ(u, u2);
    EXPECT_EQ(v, v2);
}

TEST(MatrixInverse, SwapColExchangesTheLeadingRows) {
    Matrix a(3, 2);
    a(0, 0) = 1; a(1, 0) = 2; a(2, 0) = 3;
    a(0, 1) = 4; a(1, 1) = 5; a(2, 1) = 6;
    matrixinverse::swapcol(a, 2, 0, 1);
    EXPECT_EQ(a(0, 0), 4); EXPECT_EQ(a(1, 0), 5); EXPECT_EQ(a(2, 0), 3);
    EXPECT_EQ(a(0, 1), 1); EXPECT_EQ(a(1, 1), 2); EXPECT_EQ(a(2, 1), 6);
}

TEST(MatrixInverse, AMatrixSmallerThanItsOrderIsAnError) {
    Matrix a(2, 2);
    int info = 0;
    EXPECT_THROW(matrixinverse::lumatinv(3, a, info), std::invalid_argument);
    EXPECT_THROW(matrixinverse::crout(a, 3), std::invalid_argument);
}
