#include "foundations/condindex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "foundations/eigen.h"
#include "foundations/runtime.h"

using kalvor::Matrix;

namespace {

Matrix pair_matrix(double scale) {
    Matrix a(2, 2);
    a(0, 0) = 2.0 * scale; a(1, 1) = 2.0 * scale;
    a(0, 1) = 1.0 * scale; a(1, 0) = 1.0 * scale;
    return a;
}

}  // namespace

TEST(CondIndex, IdentityNeedsNoRotation) {
    const Matrix a = Matrix::identity(3);
    Matrix c;
    int maxit = 100;
    condindex::eigen_cond_index(a, c, 3, 1e-8, maxit);
    EXPECT_EQ(maxit, 0);
    ASSERT_EQ(c.rows(), 4u);
    EXPECT_EQ(c(0, 0), 0.0);
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(c(0, j), j);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_DOUBLE_EQ(c(i, 0), 1.0);
        for (int j = 1; j <= 3; ++j) EXPECT_DOUBLE_EQ(c(i, j), i == j ? 1.0 : 0.0);
    }
}

TEST(CondIndex, DiagonalMatrixOrdersRowsByConditionIndex) {
    Matrix a(2, 2);
    a(0, 0) = 1.0;
    a(1, 1) = 4.0;
    Matrix c;
    int maxit = 100;
    condindex::eigen_cond_index(a, c, 2, 1e-8, maxit);
    EXPECT_NEAR(c(1, 0), 1.0, 1e-12);
    EXPECT_NEAR(c(2, 0), 2.0, 1e-5);
    // Row 1 is the eigenvalue 4, which belongs to parameter 2.
    EXPECT_NEAR(c(1, 2), 1.0, 1e-9);
    EXPECT_NEAR(c(2, 1), 1.0, 1e-9);
    EXPECT_NEAR(c(1, 1), 0.0, 1e-9);
}

// The shares are the variance-decomposition proportions: for [[2,1],[1,2]]
// (eigenvalues 3 and 1, eigenvectors (1, 1)/sqrt(2) and (1, -1)/sqrt(2))
// each parameter has phi = 0.5/3 and 0.5/1, so 1/4 on the first component
// and 3/4 on the second - not the squared eigenvector entries 1/2.
TEST(CondIndex, SharesAreVarianceDecompositionProportions) {
    Matrix c;
    int maxit = 100;
    condindex::eigen_cond_index(pair_matrix(1.0), c, 2, 1e-8, maxit);
    EXPECT_NEAR(c(1, 0), 1.0, 1e-12);
    EXPECT_NEAR(c(2, 0), std::sqrt(3.0), 1e-5);
    EXPECT_NEAR(c(1, 1), 0.25, 1e-6);
    EXPECT_NEAR(c(1, 2), 0.25, 1e-6);
    EXPECT_NEAR(c(2, 1), 0.75, 1e-6);
    EXPECT_NEAR(c(2, 2), 0.75, 1e-6);
}

// The shift that keeps entries away from zero scales with the matrix, so a
// covariance matrix of tiny entries gives the same table.
TEST(CondIndex, TinyCovarianceEntriesAreNotSwamped) {
    Matrix unit, tiny;
    int maxit = 100;
    condindex::eigen_cond_index(pair_matrix(1.0), unit, 2, 1e-8, maxit);
    maxit = 100;
    condindex::eigen_cond_index(pair_matrix(1e-10), tiny, 2, 1e-8, maxit);
    for (int i = 0; i <= 2; ++i)
        for (int j = 0; j <= 2; ++j) EXPECT_NEAR(tiny(i, j), unit(i, j), 1e-9) << i << "," << j;
}

TEST(CondIndex, AgreesWithTheEigenvaluesOfRandomMatrices) {
    std::vector<std::int32_t> seed(runtime::random_seed_size(), 8);
    runtime::random_seed_put(seed);
    for (int n = 2; n <= 10; ++n) {
        Matrix b(n, n), a(n, n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) b(i, j) = 2.0 * runtime::random_number() - 1.0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                double s = i == j ? 0.5 : 0.0;
                for (int k = 0; k < n; ++k) s += b(i, k) * b(j, k);
                a(i, j) = s;
            }
        std::vector<double> eval(n), pct(n);
        Matrix evec, evec2, infl;
        eigenvlvc::eigenvv(n, n, a, eval, pct, evec, evec2, infl);

        Matrix c;
        int maxit = 100;
        condindex::eigen_cond_index(a, c, n, 1e-8, maxit);
        EXPECT_GT(maxit, 0);
        for (int i = 1; i <= n; ++i) {
            EXPECT_NEAR(c(i, 0), std::sqrt(eval[0] / eval[i - 1]), 1e-4 * c(i, 0)) << "order " << n;
            if (i > 1) {
                EXPECT_GE(c(i, 0), c(i - 1, 0));
            }
        }
        for (int k = 1; k <= n; ++k) {
            double column = 0.0;
            for (int i = 1; i <= n; ++i) {
                EXPECT_GE(c(i, k), 0.0);
                column += c(i, k);
            }
            EXPECT_NEAR(column, 1.0, 1e-12);
        }
    }
}

TEST(CondIndex, IterationLimitBelow51BecomesOneHundred) {
    Matrix a(4, 4);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) a(i, j) = 1.0 / (i + j + 1) + (i == j ? 1.0 : 0.0);
    Matrix c10, c100;
    int given10 = 10, given100 = 100;
    condindex::eigen_cond_index(a, c10, 4, 1e-8, given10);
    condindex::eigen_cond_index(a, c100, 4, 1e-8, given100);
    EXPECT_EQ(given10, given100);
    EXPECT_GT(given10, 0);
    EXPECT_EQ(c10, c100);
}

TEST(CondIndex, NothingToDoForAnEmptyMatrix) {
    Matrix c(3, 3, 5.0);
    int maxit = 100;
    condindex::eigen_cond_index(Matrix(), c, 0, 1e-8, maxit);
    EXPECT_EQ(maxit, 0);
    EXPECT_EQ(c, Matrix(3, 3, 5.0));
}

TEST(CondIndex, ResultFitsTheLeadingBlockOfALargerTable) {
    Matrix c(11, 11, -1.0);
    int maxit = 100;
    condindex::eigen_cond_index(pair_matrix(1.0), c, 2, 1e-8, maxit);
    EXPECT_EQ(c.rows(), 11u);
    EXPECT_EQ(c(0, 2), 2.0);
    EXPECT_EQ(c(3, 3), -1.0);
}
