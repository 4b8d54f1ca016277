#include "foundations/robust_gj.h"

#include <gtest/gtest.h>

#include <cmath>

using kalvor::Matrix;

namespace {

Matrix singular_pair() {
    Matrix a(2, 2);
    a(0, 0) = 1.0; a(1, 0) = 2.0;
    a(0, 1) = 2.0; a(1, 1) = 4.0;
    return a;
}

}  // namespace

TEST(RobustGj, IdentityIsTrusted) {
    Matrix a = Matrix::identity(2);
    int ok = -1;
    robust_gj_matinv::robust_gj_mat_inv(a, 2, ok, 0);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(a, Matrix::identity(2));
}

TEST(RobustGj, SmallPivotRatioIsNotTrustedButInverted) {
    Matrix a(2, 2);
    a(0, 0) = 1.0;
    a(1, 1) = 1e-9;
    int ok = -1;
    robust_gj_matinv::robust_gj_mat_inv(a, 2, ok, 0);
    EXPECT_EQ(ok, 0);
    EXPECT_DOUBLE_EQ(a(0, 0), 1.0);
    EXPECT_DOUBLE_EQ(a(1, 1), 1e9);
    EXPECT_EQ(a(0, 1), 0.0);
}

TEST(RobustGj, ZeroRowStopsBeforeTheElimination) {
    Matrix a(2, 2);
    a(0, 0) = 3.0; a(0, 1) = 1.0;
    const Matrix original = a;
    int ok = -1;
    robust_gj_matinv::robust_gj_mat_inv(a, 2, ok, 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(a, original);

    Matrix singular = singular_pair();
    robust_gj_matinv::robust_gj_mat_inv(singular, 2, ok, 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(singular, singular_pair());
}

TEST(RobustGj, WellConditionedMatrixPassesTheConditioningUnchanged) {
    Matrix a(2, 2);
    a(0, 0) = 4.0; a(1, 0) = 1.0;
    a(0, 1) = 2.0; a(1, 1) = 3.0;
    Matrix p;
    robust_gj_matinv::ssor_precondition_matrix(a, p, 2, 1.2);
    EXPECT_EQ(p, a);
}

TEST(RobustGj, SingularMatrixGetsItsDiagonalShifted) {
    const Matrix a = singular_pair();
    Matrix p;
    robust_gj_matinv::ssor_precondition_matrix(a, p, 2, 1.2);
    const double shift = 2.5 * 1.5625000173284136e-10;  // |mean of the diagonal| times the factor
    EXPECT_DOUBLE_EQ(p(0, 0), 1.0 + shift);
    EXPECT_DOUBLE_EQ(p(1, 1), 4.0 + shift);
    EXPECT_EQ(p(0, 1), 2.0);
    EXPECT_EQ(p(1, 0), 2.0);

    // The inverse with conditioning is the inverse of the shifted matrix;
    // its pivot ratio keeps it untrusted.
    Matrix inv = a;
    int ok = -1;
    robust_gj_matinv::robust_gj_mat_inv(inv, 2, ok, 1);
    EXPECT_EQ(ok, 0);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            double s = 0.0;
            for (int k = 0; k < 2; ++k) s += p(i, k) * inv(k, j);
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-5);
        }
}

TEST(RobustGj, NotFiniteEntriesAreNotTrusted) {
    Matrix a = Matrix::identity(2);
    a(0, 1) = std::nan("");
    int ok = -1;
    robust_gj_matinv::robust_gj_mat_inv(a, 2, ok, 0);
    EXPECT_EQ(ok, 0);
}
