// The procedures of the Levenberg-Marquardt optimiser on their own: the
// objective with its weighting kinds and robust centre, the derivatives,
// the singular value decomposition and the scaling search.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "foundations/runtime.h"
#include "optimizers/marq_fixture.h"

namespace {

using kalvor::Matrix;
using marq_test::column;
using marq_test::FitCase;
using marq_test::Problem;

// y = 2 exp(-0.5 x) on x = 0.5..4, fitted exactly at (2, -0.5).
Problem decay(double p1 = 2.0, double p2 = -0.5) {
    Problem pr;
    pr.formula = "P1*EXP(P2*X1)+0*P3";
    for (int k = 1; k <= 8; ++k) {
        pr.x.push_back({0.5 * k});
        pr.y.push_back(2.0 * std::exp(-0.25 * k));
    }
    pr.p = {p1, p2, 7.0};
    return pr;
}

class MarqParts : public ::testing::Test {
protected:
    void TearDown() override {
        runtime::reset_hooks();
        globals::reset_run_state();
    }
};

// ---- the objective ----

TEST_F(MarqParts, SigmaAndFittedWeightsAreGuardedAndDivideTheResiduals) {
    Problem pr;
    pr.formula = "P1+0*X1";
    pr.x = column({1, 2, 3});
    pr.y = {3.0, 4.0, 5.0};
    pr.p = {1.0};  // residuals 2, 3, 4
    pr.sigma = {5e-7, 5000.0, 2.0};
    pr.kind = 1;
    marq::Eval e;
    marq::funy(FitCase(pr).data(), pr.p, 1, e);
    EXPECT_EQ(e.w, (std::vector<double>{1.0, 1000.0, 2.0}));
    EXPECT_DOUBLE_EQ(e.ssq, 4.0 + 9e-6 + 4.0);
    // Relative residuals 2/3, 3/4, 4/5.
    const double q = std::sqrt((4.0 / 9 + 9.0 / 16 + 16.0 / 25) / 3);
    EXPECT_DOUBLE_EQ(e.relfit, 1.0 - 1.0 / (1.0 + q));
    EXPECT_EQ(common_data::ydf[2], 1.0);

    pr.p = {-0.0001};
    pr.kind = 2;
    marq::funy(FitCase(pr).data(), pr.p, 1, e);
    EXPECT_EQ(e.w[0], -0.001);
    EXPECT_NEAR(e.ssq / ((3.0001 * 3.0001 + 4.0001 * 4.0001 + 5.0001 * 5.0001) * 1e6), 1.0, 1e-14);
}

TEST_F(MarqParts, SumsAreKeptBetweenTheirFloorAndCeiling) {
    Problem pr;
    pr.formula = "P1+0*X1";
    pr.x = column({1, 2});
    pr.y = {1e10, 0.0};
    pr.p = {0.0};
    marq::Eval e;
    marq::funy(FitCase(pr).data(), pr.p, 1, e);
    EXPECT_EQ(e.ssq, 4.503599727262001e19);  // 1e20 reported at the ceiling
    pr.y = {0.0, 0.0};
    marq::funy(FitCase(pr).data(), pr.p, 1, e);
    EXPECT_EQ(e.ssq, 1e-30);  // a perfect fit stays perfect after the jitter
}

TEST_F(MarqParts, RobustWeightsOfEqualResidualsAreAllTheRootOfAHalf) {
    Problem pr;
    pr.formula = "P1+0*X1";
    pr.x = column({1, 2, 3, 4});
    pr.y = {2.0, 0.0, 2.0, 0.0};
    pr.p = {1.0};
    pr.kind = 3;
    marq::Eval e;
    marq::funy(FitCase(pr).data(), pr.p, 1, e);
    for (const double w : e.w) EXPECT_DOUBLE_EQ(w, std::sqrt(0.5));
    EXPECT_DOUBLE_EQ(e.ssq, 8.0);
}

// A row exactly at the centre takes the limit weight 1: the step of the
// centre is finite and does not jump when the centre moves a hair.
TEST_F(MarqParts, RobustCentreOnAResidualIsFiniteAndContinuous) {
    const std::vector<double> a = {0.5, 1.0, 2.0, 2.5, 3.0};
    std::vector<double> at(5), near(5);
    const double step = marq::andrews_pass(a, 2.0, 0.5, at);
    const double nearby = marq::andrews_pass(a, 2.0 + 1e-9, 0.5, near);
    ASSERT_TRUE(std::isfinite(step));
    EXPECT_EQ(at[2], 1.0);
    EXPECT_NEAR(step, nearby - 1e-9, 1e-8);
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(at[i], near[i], 1e-7);
}

// Past a pi (4.65898) the sine turns negative before the cut-off (4.659):
// such a row is weighted as one beyond the cut-off, never negatively.
TEST_F(MarqParts, RobustRowsWhereTheSineTurnedCountAsBeyondTheCutOff) {
    const double unit = 6.909297067811963;  // scale 1
    const std::vector<double> a = {0.0, 4.65899 * unit, 4.7 * unit, 0.1 * unit};
    std::vector<double> rw(4);
    marq::andrews_pass(a, 0.0, 1.0, rw);
    EXPECT_EQ(rw[1], 1e-8);
    EXPECT_EQ(rw[2], 1e-8);
    EXPECT_NEAR(rw[3], std::sin(0.1 / 1.4830000400543213) * 1.4830000400543213 / 0.1, 1e-15);
}

// ---- derivatives ----

TEST_F(MarqParts, JacobianMatchesTheAnalyticDerivatives) {
    const FitCase s(decay(1.7, -0.4));
    common_data::pmask[0] = 1;
    common_data::pmask[1] = 1;
    common_data::pmask[2] = 1;
    std::vector<double> p = {1.7, -0.4, 7.0};
    Matrix jac;
    marq::Eval at;
    marq::fjac21(s.data(), p, 3, jac, at);
    Matrix fine;
    marq::fjac_richardson(s.data(), p, 3, fine);
    EXPECT_EQ(p, (std::vector<double>{1.7, -0.4, 7.0}));
    for (std::size_t i = 0; i < 8; ++i) {
        const double x = 0.5 * static_cast<double>(i + 1), e = std::exp(-0.4 * x);
        EXPECT_NEAR(jac(i, 0) / e, 1.0, 1e-6);
        EXPECT_NEAR(jac(i, 1) / (1.7 * x * e), 1.0, 1e-6);
        EXPECT_NEAR(fine(i, 0) / e, 1.0, 1e-9);
        EXPECT_NEAR(fine(i, 1) / (1.7 * x * e), 1.0, 1e-9);
        // P3 does not act: the smallest derivative, never 0.
        EXPECT_DOUBLE_EQ(jac(i, 2), 1.0000000000000001e-7 + 1e-9);
        EXPECT_NEAR(at.yfit[i], 1.7 * e, 1e-14);
        EXPECT_EQ(common_data::ydf[i], at.yfit[i]);
    }
    EXPECT_EQ(at.ssq, s.ssq(p));

    common_data::pmask[1] = 0;
    marq::fjac21(s.data(), p, 3, jac, at);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(jac(i, 1), 0.0);
}

// Every probe is one evaluation for all rows: 1 + 2a per Jacobian, counted
// by the jitter a perfect fit draws once per row and evaluation.
TEST_F(MarqParts, JacobianEvaluatesTheModelOncePerProbe) {
    Problem pr = decay();
    pr.formula = "X1+0*P1+0*P2+0*P3";
    pr.y = {0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0};
    const FitCase s(pr);
    auto draws = std::make_shared<int>(0);
    runtime::Hooks hooks;
    hooks.simple_uniform = [draws] {
        ++*draws;
        return 0.5;
    };
    runtime::set_hooks(hooks);
    std::vector<double> p = {2.0, -0.5, 7.0};
    common_data::pmask[2] = 0;
    Matrix jac;
    marq::Eval at;
    marq::fjac21(s.data(), p, 3, jac, at);
    EXPECT_EQ(*draws, 8 * (1 + 2 * 2));
}

TEST_F(MarqParts, CurvatureSharesSplitEvenlyForTwinParameters) {
    Problem pr;
    pr.formula = "P1+P2+0*X1";
    pr.x = column({1, 2, 3});
    pr.y = {1.0, 2.0, 3.3};
    pr.p = {1.0, 1.1};
    const FitCase s(pr);
    std::vector<double> p = pr.p, shares(2);
    marq::curvature(s.data(), p, 2, shares);
    EXPECT_EQ(shares, (std::vector<double>{50.0, 50.0}));
    EXPECT_EQ(p, pr.p);
}

// ---- singular value decomposition ----

void expect_decomposes(const Matrix& a, int m, int n) {
    std::vector<double> w(static_cast<std::size_t>(n));
    Matrix u, v;
    marq::svd(a, m, n, w, u, v);
    for (int k = 0; k + 1 < n; ++k) EXPECT_GE(w[k], w[k + 1]);
    for (int k = 0; k < n; ++k) EXPECT_GE(w[k], 0.0);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0.0;
            for (int k = 0; k < n; ++k) s += u(i, k) * w[k] * v(j, k);
            EXPECT_NEAR(s, a(i, j), 1e-12) << i << "," << j;
        }
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) {
            double s = 0.0;
            for (int k = 0; k < n; ++k) s += v(k, r) * v(k, c);
            EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-12);
        }
}

TEST_F(MarqParts, SvdReconstructsTallWideAndRankDeficientMatrices) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    for (const auto& [m, n] : std::vector<std::pair<int, int>>{{12, 4}, {5, 5}, {2, 4}, {1, 3}}) {
        Matrix a(static_cast<std::size_t>(m), static_cast<std::size_t>(n));
        for (std::size_t j = 0; j < a.cols(); ++j)
            for (std::size_t i = 0; i < a.rows(); ++i) a(i, j) = uni(gen);
        const Matrix copy = a;
        expect_decomposes(a, m, n);
        EXPECT_EQ(a, copy);
    }
    Matrix twin(6, 3);  // third column = first + second
    for (std::size_t i = 0; i < 6; ++i) {
        twin(i, 0) = static_cast<double>(i);
        twin(i, 1) = 1.0;
        twin(i, 2) = twin(i, 0) + 1.0;
    }
    expect_decomposes(twin, 6, 3);
}

TEST_F(MarqParts, SvdOfAColumnAndOfZeros) {
    Matrix col(3, 1);
    col(0, 0) = 3.0;
    col(1, 0) = -4.0;
    std::vector<double> w(1);
    Matrix u, v;
    marq::svd(col, 3, 1, w, u, v);
    EXPECT_DOUBLE_EQ(w[0], 5.0);
    EXPECT_DOUBLE_EQ(std::fabs(u(1, 0)), 0.8);

    std::vector<double> z(3, -1.0);
    marq::svd(Matrix(4, 3), 4, 3, z, u, v);
    EXPECT_EQ(z, (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(v, Matrix::identity(3));
}

TEST_F(MarqParts, SortingOrdersByMagnitudeAndKeepsTies) {
    Matrix u(1, 4), v(4, 4);
    for (std::size_t k = 0; k < 4; ++k) u(0, k) = v(0, k) = static_cast<double>(k);
    std::vector<double> w = {1.0, -3.0, 2.0, 2.0};
    marq::svd_sort(u, 1, 4, v, w);
    EXPECT_EQ(w, (std::vector<double>{-3.0, 2.0, 2.0, 1.0}));
    EXPECT_EQ(u(0, 0), 1.0);
    EXPECT_EQ(u(0, 1), 2.0);  // the first of the equal pair stays first
    EXPECT_EQ(v(0, 2), 3.0);
    EXPECT_EQ(v(0, 3), 0.0);
}

TEST_F(MarqParts, PythagzAvoidsOverflow) {
    EXPECT_EQ(marq::pythagz(3.0, 4.0), 5.0);
    EXPECT_EQ(marq::pythagz(0.0, 0.0), 0.0);
    EXPECT_NEAR(marq::pythagz(1e200, -1e200) / 1e200, std::sqrt(2.0), 1e-15);
}

// ---- scaling search ----

TEST_F(MarqParts, SearchScalesWithinAHairRepeatsAndKeepsZeros) {
    const FitCase s(decay(2.1, 0.0));
    common_data::pmask[2] = 0;
    const auto d = s.data();
    std::vector<double> p = {2.1, 0.0, 7.0};
    marq::Eval best;
    marq::funy(d, p, 3, best);
    const double start = best.ssq;
    const std::vector<double> lo(3, -1e6), hi(3, 1e6);
    double last = 0.0;
    ASSERT_TRUE(marq::search(d, 3, common_data::pmask, lo, hi, p, best, last));
    EXPECT_LT(best.ssq, start);
    EXPECT_EQ(best.ssq, s.ssq(p));
    EXPECT_LT(p[0], 2.1);  // toward the optimum 2.0 ...
    EXPECT_GE(p[0], 2.1 * (1.0 - 0.0015));  // ... by at most 5 x 1e-4 a trial
    EXPECT_EQ(p[1], 0.0);
    EXPECT_EQ(p[2], 7.0);

    std::vector<double> again = {2.1, 0.0, 7.0};
    marq::Eval second;
    marq::funy(d, again, 3, second);
    marq::search(d, 3, common_data::pmask, lo, hi, again, second, last);
    EXPECT_EQ(again, p);

    // At the optimum nothing beats the start, not even the unscaled trial.
    std::vector<double> top = {2.0, -0.5, 7.0};
    marq::Eval at;
    marq::funy(d, top, 3, at);
    EXPECT_FALSE(marq::search(d, 3, common_data::pmask, lo, hi, top, at, last));
}

TEST_F(MarqParts, SearchTrialsStayInsideTheBounds) {
    const FitCase s(decay(1.9, -0.5));
    common_data::pmask[2] = 0;
    std::vector<double> p = {1.9, -0.5, 7.0};
    const std::vector<double> lo = {1.0, -1.0, 0.0}, hi = {1.9005, 0.0, 10.0};
    marq::Eval best;
    marq::funy(s.data(), p, 3, best);
    double last = 0.0;
    marq::search(s.data(), 3, common_data::pmask, lo, hi, p, best, last);
    EXPECT_GT(p[0], 1.9);
    EXPECT_LE(p[0], 1.9005);
}

}  // namespace
