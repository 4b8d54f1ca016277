// Covariance, standard errors and correlations from the Hessian of the sum
// of squares, against the closed forms of a straight-line fit.

#include "optimizers/va10b_covariance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/globals.h"
#include "optimizers/va10b.h"
#include "optimizers/va10b_box.h"
#include "optimizers/va10b_derivatives.h"
#include "run/sharc_fixture.h"

namespace {

using Vector = std::vector<double>;

TEST(Va10bInverse, PackedInversionGivesTwiceTheVarianceTimesTheInverse) {
    // Symmetric positive definite A with rows (4 1 2) (1 3 0) (2 0 5).
    const double A[3][3] = {{4, 1, 2}, {1, 3, 0}, {2, 0, 5}};
    Vector packed = {4, 1, 3, 2, 0, 5};
    kalvor::Matrix cov;
    EXPECT_EQ(va10b_optimizer::compute_covariance_matrix(packed, 3, 0.25, cov), 0);
    // A cov = 2 s2 I = 0.5 I.
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) {
            double m = 0.0;
            for (std::size_t k = 0; k < 3; ++k) m += A[i][k] * cov(k, j);
            EXPECT_NEAR(m, i == j ? 0.5 : 0.0, 1e-14);
        }
}

// The line y = a + b x on x = 1..8: H of the sum of squares is 2 X'X, and
// the least-squares standard errors are s sqrt(sum x^2 / Sxx') and
// s sqrt(n / Sxx'), Sxx' = n sum x^2 - (sum x)^2, s^2 = SSE / (n - 2).
class LineCovariance : public ::testing::Test {
protected:
    void SetUp() override {
        sharc::DriverState s;
        sharc_test::set_up_fit(s, problem);
        for (std::size_t i = 0; i < 8; ++i) {
            sx += problem.x[i];
            sxx += problem.x[i] * problem.x[i];
            sy += problem.y[i];
            sxy += problem.x[i] * problem.y[i];
        }
        d = 8.0 * sxx - sx * sx;
        const double b = (8.0 * sxy - sx * sy) / d, a = (sy - b * sx) / 8.0;
        optimum = {a, b};
        double sse = 0.0;
        for (std::size_t i = 0; i < 8; ++i) sse += std::pow(problem.y[i] - a - b * problem.x[i], 2);
        s2 = sse / 6.0;
    }
    void TearDown() override { globals::reset_run_state(); }

    kalvor::Matrix hessian(std::vector<int> mask) {
        va10b_optimizer::Box box = va10b_optimizer::Box::shared(2);
        box.mask = mask;
        kalvor::Matrix H;
        va10b_optimizer::compute_numerical_hessian(optimum, H, box);
        return H;
    }

    sharc_test::FitProblem problem = sharc_test::line_problem();
    double sx = 0, sxx = 0, sy = 0, sxy = 0, d = 0, s2 = 0;
    Vector optimum;
};

TEST_F(LineCovariance, StandardErrorsAreTheLeastSquaresOnes) {
    const std::vector<int> mask = {1, 1};
    kalvor::Matrix cov, corr;
    Vector se;
    EXPECT_EQ(va10b_optimizer::compute_robust_covariance(hessian(mask), mask, 2, s2, cov, se), 0);
    const double s = std::sqrt(s2);
    EXPECT_NEAR(se[0] / (s * std::sqrt(sxx / d)), 1.0, 1e-4);
    EXPECT_NEAR(se[1] / (s * std::sqrt(8.0 / d)), 1.0, 1e-4);
    va10b_optimizer::compute_correlation_matrix(cov, 2, mask, corr, se);
    EXPECT_NEAR(corr(0, 1), -sx / std::sqrt(8.0 * sxx), 1e-4);
    EXPECT_DOUBLE_EQ(corr(0, 0), 1.0);
}

// With the slope held, the intercept's variance is s2 / n.
TEST_F(LineCovariance, AHeldParameterHasNoVarianceAndNoCorrelation) {
    const std::vector<int> mask = {1, 0};
    kalvor::Matrix cov, corr;
    Vector se;
    va10b_optimizer::compute_robust_covariance(hessian({1, 1}), mask, 2, s2, cov, se);
    EXPECT_NEAR(cov(0, 0) / (s2 / 8.0), 1.0, 1e-4);
    EXPECT_EQ(cov(0, 1), 0.0);
    EXPECT_EQ(cov(1, 0), 0.0);
    EXPECT_EQ(cov(1, 1), 0.0);
    EXPECT_EQ(se[1], 0.0);
    va10b_optimizer::compute_correlation_matrix(cov, 2, mask, corr, se);
    EXPECT_EQ(corr(0, 1), 0.0);
    EXPECT_EQ(corr(1, 0), 0.0);
    EXPECT_EQ(corr(1, 1), 1.0);
}

TEST(Va10bCovariance, AZeroHessianGivesZerosNotNaN) {
    const std::vector<int> mask = {1, 1, 1};
    kalvor::Matrix cov, corr;
    Vector se;
    EXPECT_NE(va10b_optimizer::compute_robust_covariance(kalvor::Matrix(3, 3), mask, 3, 2.0, cov, se), 0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(se[i], 0.0);
        for (std::size_t j = 0; j < 3; ++j) EXPECT_EQ(cov(i, j), 0.0);
    }
    va10b_optimizer::compute_correlation_matrix(cov, 3, mask, corr, se);
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) EXPECT_EQ(corr(i, j), i == j ? 1.0 : 0.0);
}

// A nearly singular Hessian (condition above 1e12) is ridged by 1% of its
// diagonal before the inversion.
TEST(Va10bCovariance, AnIllConditionedHessianIsRegularised) {
    kalvor::Matrix H(2, 2);
    H(0, 0) = 1e-7;
    H(1, 1) = 2e6;
    const std::vector<int> mask = {1, 1};
    kalvor::Matrix cov;
    Vector se;
    va10b_optimizer::compute_robust_covariance(H, mask, 2, 1.0, cov, se);
    EXPECT_NEAR(cov(0, 0) / (2.0 / 1.01e-7), 1.0, 1e-12);
    EXPECT_NEAR(cov(1, 1) / (2.0 / 2.02e6), 1.0, 1e-12);
}

}  // namespace
