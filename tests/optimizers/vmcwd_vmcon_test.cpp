#include "optimizers/vmcwd_vmcon.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/fit_fixture.h"
#include "optimizers/vmcwd_vmcon_detail.h"

namespace {

using namespace vmcwd_vmcon_mod;

struct Problem {
    const char* formula;
    int nx;
    std::vector<std::array<double, 2>> x;  // X1, X2 per row
    std::vector<double> y;
    std::vector<double> p, lo, hi;
    std::vector<int> mask;  // empty: all free
};

// Rosenbrock's function as a sum of squares: rows (X1, X2, y) = (1, 0, 0)
// and (0, 1, 1) give 100 (P1^2 - P2)^2 + (1 - P1)^2.
Problem rosenbrock(double hi1 = 10.0) {
    return {"10*X1*(P1^2-P2)+X2*P1", 2, {{1, 0}, {0, 1}}, {0, 1}, {-1.2, 1.0}, {-10, -10}, {hi1, 10}, {}};
}

// y = 2 + 3x at x = 1..8.
Problem line() {
    Problem p{"P1+P2*X1", 1, {}, {}, {0.5, 0.5}, {-100, -100}, {100, 100}, {}};
    for (int k = 1; k <= 8; ++k) {
        p.x.push_back({double(k), 0.0});
        p.y.push_back(2.0 + 3.0 * k);
    }
    return p;
}

class ConstrainedFit : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        set_streams(out_, out_);
        vmvdb = WorkData{};
    }
    void TearDown() override {
        reset_streams();
        globals::reset_run_state();
    }

    void use(const Problem& problem) {
        const int np = static_cast<int>(problem.p.size());
        sharc_test::compile_model(problem.formula, np, problem.nx);
        std::vector<std::vector<double>> columns(static_cast<std::size_t>(problem.nx));
        for (const auto& row : problem.x)
            for (std::size_t j = 0; j < columns.size(); ++j) columns[j].push_back(row[j]);
        optimizer_test::use_rows(columns, problem.y);
        optimizer_test::use_parameters(problem.mask, problem.lo, problem.hi);
        x_ = problem.p;
        n_ = np;
        g_.assign(x_.size(), 0.0);
        c_.assign(2 * x_.size(), 0.0);
    }

    // The objective at p, evaluated afresh.
    double objective(std::vector<double> p) {
        std::vector<double> g(p.size()), c(3 * p.size());
        kalvor::Matrix a;
        double f = 0.0;
        EXPECT_TRUE(funct::calcfg(n_, p, f, g, c, a));
        return f;
    }

    int run(Optimiser optimiser, int maxit = 200, int maxls = 10, int info = 0, int iprint = -1, double tol = 1e-12) {
        optimiser(n_, x_, f_, g_, c_, cnorm_, maxit, tol, iprint, info, maxls, conv_, niter_, 1, 0);
        return info;
    }

    bool in_bounds() const {
        for (int k = 0; k < n_; ++k)
            if (!(x_[k] >= common_data::pboundlo[k] && x_[k] <= common_data::pboundhi[k])) return false;
        return true;
    }

    std::ostringstream out_;
    std::vector<double> x_, g_, c_;
    kalvor::Matrix cnorm_;
    double f_ = 0.0, conv_ = 0.0;
    int n_ = 0, niter_ = 0;
};

const std::array<Optimiser, 2> optimisers = {vmcon, vmcwd};

// ---- matrix inverse ----

TEST(MatrixInverse, InvertsWithRowInterchanges) {
    // A = [[0 2 1], [1 1 0], [2 0 3]] (zero leading pivot); inverse from the
    // adjugate, det = -8.
    std::vector<double> a(50 * 3, 0.0);
    const double m[3][3] = {{0, 2, 1}, {1, 1, 0}, {2, 0, 3}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) a[j * 50 + i] = m[i][j];
    ASSERT_TRUE(mb01cd2(a, 3));
    const double inverse[3][3] = {{-3.0 / 8, 6.0 / 8, 1.0 / 8}, {3.0 / 8, 2.0 / 8, -1.0 / 8}, {2.0 / 8, -4.0 / 8, 2.0 / 8}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(a[j * 50 + i], inverse[i][j], 1e-15) << i << "," << j;
}

TEST(MatrixInverse, SingularBlocksAreFlagged) {
    std::vector<double> one(50, 0.0);
    EXPECT_FALSE(mb01cd2(one, 1));
    EXPECT_EQ(one[0], 0.0);
    one[0] = 4.0;
    ASSERT_TRUE(mb01bd(one, 1));
    EXPECT_EQ(one[0], 0.25);
    // Rank one: the second pivot is exactly zero.
    std::vector<double> a(100, 0.0);
    a[0] = 1, a[1] = 2, a[50] = 2, a[51] = 4;
    const std::vector<double> rank_one = a;
    EXPECT_FALSE(mb01bd(a, 2));
    a = rank_one;
    EXPECT_FALSE(mb01cd2(a, 2));
    std::vector<double> short_array(10);
    EXPECT_THROW((void)mb01cd2(short_array, 2), std::out_of_range);
}

// ---- metric update ----

TEST(MetricUpdate, SecantEquationDampingAndGuard) {
    globals::reset_run_state();
    common_data::pmask.fill(1);
    vmvdb = WorkData{};
    // B = I, s = (1, 0), y = (2, 1): s'y = 2 >= 0.2 s'Bs, plain BFGS, so the
    // new B maps s to y.
    std::vector<double> s{1.0, 0.0}, y{2.0, 1.0};
    detail::damped_bfgs(2, s, y, 0.2);
    EXPECT_DOUBLE_EQ(vmvdb.b(0, 0), 2.0);
    EXPECT_DOUBLE_EQ(vmvdb.b(1, 0), 1.0);
    EXPECT_DOUBLE_EQ(vmvdb.b(0, 1), 1.0);
    EXPECT_DOUBLE_EQ(vmvdb.b(1, 1), 1.5);  // 1 + y2^2 / s'y
    // Negative curvature, y = (-1, 0) on B = I: theta = 0.8 / 2 = 0.4 gives
    // y = 0.4 (-1, 0) + 0.6 (1, 0) = (0.2, 0), so B(0, 0) becomes 0.2.
    vmvdb = WorkData{};
    y = {-1.0, 0.0};
    detail::damped_bfgs(2, s, y, 0.2);
    EXPECT_DOUBLE_EQ(vmvdb.b(0, 0), 0.2);
    EXPECT_EQ(vmvdb.b(1, 1), 1.0);
    // A step too short for s'Bs, or a change that overflows: no update.
    const kalvor::Matrix before = vmvdb.b;
    s = {1e-7, 0.0};
    y = {1.0, 1.0};
    detail::damped_bfgs(2, s, y, 0.2);
    EXPECT_EQ(vmvdb.b, before);
    s = {1.0, 0.0};
    y = {1e300, 1e300};
    detail::damped_bfgs(2, s, y, 0.2);
    EXPECT_EQ(vmvdb.b, before);
}

// ---- quadratic subproblem ----

class Subproblem : public ConstrainedFit {
protected:
    void SetUp() override {
        ConstrainedFit::SetUp();
        common_data::pmask.fill(1);
        cnorm_.resize(25, 50);
    }
    // Bound rows of n variables: c(i) = x - lo, c(n+i) = hi - x.
    void bounds(int n, const std::vector<double>& below, const std::vector<double>& above) {
        c_.assign(2 * n, 0.0);
        cnorm_.fill(0.0);
        for (int i = 0; i < n; ++i) {
            c_[i] = below[i];
            c_[n + i] = above[i];
            cnorm_(i, i) = 1.0;
            cnorm_(i, n + i) = -1.0;
        }
    }
};

TEST_F(Subproblem, BoxStepIsTheClippedNewtonStep) {
    // B = I: minimise g'd + |d|^2/2 within -x+lo <= d <= hi-x, i.e. d = -g
    // clipped to the box; an upper bound active with multiplier -(g + d).
    const std::vector<double> g{-2.0, 1.0, 0.0};
    bounds(3, {1.0, 0.25, 1.0}, {0.5, 3.0, 1.0});
    vmvdb.lambda.fill(7.0);
    int info = 0;
    qpsub(3, 6, 0, g, c_, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_converged);
    EXPECT_NEAR(vmvdb.delta[0], 0.5, 1e-14);
    EXPECT_NEAR(vmvdb.delta[1], -0.25, 1e-14);
    EXPECT_EQ(vmvdb.delta[2], static_cast<double>(1e-24f));  // a zero step component
    EXPECT_EQ(vmvdb.delta[3], 1.0);
    EXPECT_NEAR(vmvdb.lambda[3], 1.5, 1e-12);   // upper bound of x1
    EXPECT_NEAR(vmvdb.lambda[1], 0.75, 1e-12);  // lower bound of x2: g + d = 0.75
    for (int i : {0, 2, 4, 5}) EXPECT_EQ(vmvdb.lambda[i], 0.0) << i;
    // Satisfied constraints are not relaxed.
    for (int i = 0; i < 6; ++i) EXPECT_EQ(cnorm_(3, i), 0.0);
    EXPECT_EQ(g, (std::vector<double>{-2.0, 1.0, 0.0}));

    // Every start mode finds the same minimiser, and a failure code handed
    // back in never continues an old search.
    for (int mode : {5, 7}) {
        info = info_artificial_bound;
        qpsub(3, 6, 0, g, c_, cnorm_, -1, info, mode);
        EXPECT_EQ(info, info_converged);
        EXPECT_NEAR(vmvdb.delta[0], 0.5, 1e-14) << mode;
        EXPECT_NEAR(vmvdb.delta[1], -0.25, 1e-14) << mode;
        EXPECT_NEAR(vmvdb.lambda[3], 1.5, 1e-12) << mode;
    }
}

TEST_F(Subproblem, GeneralConstraintWithCurvature) {
    // B = diag(2, 1), g = (-4, -4): the free minimiser (2, 4) violates
    // d1 + d2 <= 3 (c = 3, gradient (-1, -1)). On the line: minimise
    // -4 d1 - 4 d2 + d1^2 + d2^2/2 with d2 = 3 - d1: d1 = 1, d2 = 2, and
    // g + B d = (-2, -2) = -lambda (1, 1), lambda = 2.
    vmvdb.b(0, 0) = 2.0;
    const std::vector<double> g{-4.0, -4.0}, c{3.0};
    cnorm_(0, 0) = cnorm_(1, 0) = -1.0;
    int info = 0;
    qpsub(2, 1, 0, g, c, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_converged);
    EXPECT_NEAR(vmvdb.delta[0], 1.0, 1e-12);
    EXPECT_NEAR(vmvdb.delta[1], 2.0, 1e-12);
    EXPECT_NEAR(vmvdb.lambda[0], 2.0, 1e-12);

    // Equality d1 + d2 = 1 (c = -1) with B = I, g = 0: d = (0.5, 0.5) and
    // d = lambda (1, 1), lambda = 0.5; the factor carries c in row n.
    vmvdb = WorkData{};
    const std::vector<double> zero{0.0, 0.0}, ce{-1.0};
    cnorm_(0, 0) = cnorm_(1, 0) = 1.0;
    qpsub(2, 1, 1, zero, ce, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_converged);
    EXPECT_EQ(cnorm_(2, 0), -1.0);
    EXPECT_NEAR(vmvdb.delta[0], 0.5, 1e-12);
    EXPECT_NEAR(vmvdb.delta[1], 0.5, 1e-12);
    EXPECT_NEAR(vmvdb.lambda[0], 0.5, 1e-12);
}

TEST_F(Subproblem, ViolatedConstraintsAreRelaxedAndInconsistentOnesReported) {
    // x1 >= 1 violated by 1 (c = -1): met by d1 = 1 with the factor at 1.
    const std::vector<double> g{0.0, 0.0};
    c_ = {-1.0};
    cnorm_(0, 0) = 1.0;
    int info = 0;
    qpsub(2, 1, 0, g, c_, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_converged);
    EXPECT_EQ(cnorm_(2, 0), -1.0);
    EXPECT_NEAR(vmvdb.delta[0], 1.0, 1e-12);
    EXPECT_EQ(vmvdb.delta[2], 1.0);
    // d1 >= 1 and d1 <= -1 together: no relaxation factor above 0 is feasible.
    c_ = {-1.0, -1.0};
    cnorm_(0, 1) = -1.0;
    qpsub(2, 2, 0, g, c_, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_infeasible);
    for (int j = 0; j < 3; ++j) EXPECT_TRUE(std::isfinite(vmvdb.delta[j]));
}

TEST_F(Subproblem, SingularMatrixGivesACodeAndFiniteNumbers) {
    vmvdb.b.fill(0.0);
    const std::vector<double> g{1.0, -1.0};
    bounds(2, {1.0, 1.0}, {1.0, 1.0});
    int info = 0;
    qpsub(2, 4, 0, g, c_, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_artificial_bound);
    for (int j = 0; j < 3; ++j) EXPECT_TRUE(std::isfinite(vmvdb.delta[j])) << j;
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(vmvdb.lambda[i])) << i;
}

TEST_F(Subproblem, HeldParameterTakesAZeroStep) {
    // Held x1 sits outside its bounds: its constraints cannot be met by any
    // step and are left out; x2 moves freely.
    common_data::pmask[0] = 0;
    const std::vector<double> g{5.0, -1.0};
    bounds(2, {-3.0, 10.0}, {1.0, 10.0});
    int info = 0;
    qpsub(2, 4, 0, g, c_, cnorm_, -1, info, 0);
    EXPECT_EQ(info, info_converged);
    EXPECT_EQ(vmvdb.delta[0], 0.0);
    EXPECT_NEAR(vmvdb.delta[1], 1.0, 1e-12);
    EXPECT_EQ(vmvdb.lambda[0], 0.0);
}

TEST_F(Subproblem, SizesBeyondTheArraysThrow) {
    std::vector<double> g(25), c(50);
    int info = 0;
    EXPECT_THROW(qpsub(25, 4, 0, g, c, cnorm_, -1, info, 0), std::out_of_range);
    EXPECT_THROW(qpsub(2, 51, 0, g, c, cnorm_, -1, info, 0), std::out_of_range);
}

// ---- axial search ----

TEST_F(ConstrainedFit, AxialSearchReturnsTheValuesOfItsPoint) {
    use(rosenbrock());
    x_ = {0.3, 0.2};
    const double f0 = objective(x_);
    f_ = f0;
    // Values of x on entry; the search ends on trials it rejects.
    std::vector<double> x0 = x_;
    ASSERT_TRUE(funct::calcfg(2, x0, f_, g_, c_, cnorm_));
    ASSERT_TRUE(axialsearch(2, f_, x_, g_, c_, cnorm_));
    EXPECT_LT(f_, f0);
    std::vector<double> g(2), c(4);
    kalvor::Matrix a;
    double f = 0.0;
    std::vector<double> x = x_;
    ASSERT_TRUE(funct::calcfg(2, x, f, g, c, a));
    EXPECT_EQ(f_, f);
    EXPECT_EQ(g_, g);
    EXPECT_EQ(std::vector<double>(c_.begin(), c_.begin() + 4), c);
}

TEST_F(ConstrainedFit, AxialSearchPullsAPointOnABoundInside) {
    Problem problem = rosenbrock(0.5);
    problem.lo = {0.0, -10.0};
    problem.mask = {1, 0};
    use(problem);
    x_ = {0.5, -3.0};
    f_ = objective(x_);
    ASSERT_TRUE(axialsearch(2, f_, x_, g_, c_, cnorm_));
    EXPECT_GT(x_[0], 0.49);
    EXPECT_LT(x_[0], 0.5);
    EXPECT_EQ(x_[1], -3.0);
    EXPECT_EQ(f_, objective(x_));
}

// ---- line-search trial points ----

// 0.1 + 0.2 rounds to just above the bound 0.3: the trial point is put
// back on it, so the model is never evaluated outside the bounds; a held
// parameter keeps its value whatever the step says.
TEST_F(ConstrainedFit, TrialPointsStayInsideTheBounds) {
    Problem problem = line();
    problem.hi = {0.3, 100};
    problem.mask = {1, 0};
    use(problem);
    std::vector<double> x(2);
    detail::trial_point(2, std::vector<double>{0.1, 7.0}, std::vector<double>{0.2, 1.0}, 1.0, x);
    EXPECT_EQ(x[0], 0.3);
    EXPECT_EQ(x[1], 7.0);
}

// ---- both optimisers ----

TEST_F(ConstrainedFit, RosenbrockFromTheClassicStart) {
    for (auto optimiser : optimisers) {
        use(rosenbrock());
        const int info = run(optimiser, 500, 20);
        EXPECT_NEAR(x_[0], 1.0, 1e-4) << info;
        EXPECT_NEAR(x_[1], 1.0, 1e-4) << info;
        EXPECT_EQ(f_, objective(x_));
        EXPECT_TRUE(in_bounds());
    }
}

TEST_F(ConstrainedFit, RosenbrockWithAnActiveUpperBound) {
    // With P1 <= 0.5 the minimum is (0.5, 0.25), f = 0.25; the axial search
    // pulls a point on the bound 0.5 in to about 0.4988.
    for (auto optimiser : optimisers) {
        Problem problem = rosenbrock(0.5);
        problem.lo = {0.0, -10.0};
        problem.p = {0.1, 1.0};
        use(problem);
        run(optimiser, 100, 20);
        EXPECT_NEAR(x_[0], 0.5, 1.5e-3);
        EXPECT_NEAR(x_[1], x_[0] * x_[0], 1e-4);
        EXPECT_NEAR(f_, 0.25, 1.5e-3);
        EXPECT_TRUE(in_bounds());
    }
}

TEST_F(ConstrainedFit, StraightLineIsSolvedExactly) {
    for (auto optimiser : optimisers) {
        use(line());
        run(optimiser, 200, 10, 0, -1, 1e-20);
        EXPECT_NEAR(x_[0], 2.0, 1e-6);
        EXPECT_NEAR(x_[1], 3.0, 1e-7);
        EXPECT_LT(f_, 1e-10);
    }
}

TEST_F(ConstrainedFit, HeldParametersComeBackBitIdentical) {
    // Held intercept -0.5 (negative, below a lower bound of 0): the slope is
    // the least-squares slope through it, sum x (y + 0.5) / sum x^2.
    for (auto optimiser : optimisers) {
        Problem problem = line();
        problem.p = {-0.5, 1.0};
        problem.lo = {0.0, -100.0};
        problem.mask = {0, 1};
        use(problem);
        run(optimiser);
        EXPECT_EQ(x_[0], -0.5);
        double sxy = 0.0, sxx = 0.0;
        for (int k = 1; k <= 8; ++k) {
            sxy += k * (2.0 + 3.0 * k + 0.5);
            sxx += k * k;
        }
        EXPECT_NEAR(x_[1], sxy / sxx, 1e-6);
    }
}

TEST_F(ConstrainedFit, InvalidModelValuesGiveFiniteResultsNoWorseThanTheStart) {
    // A negative P1 has no square root (NaN); the data follow P1 = 4, P2 = 1.
    for (auto optimiser : optimisers) {
        Problem problem{"P1^0.5*X1+P2", 1, {}, {}, {0.05, 2.0}, {-5, -5}, {5, 5}, {}};
        for (int k = 1; k <= 6; ++k) {
            problem.x.push_back({double(k), 0.0});
            problem.y.push_back(1.0 + 2.0 * k);
        }
        use(problem);
        const double f0 = objective(x_);
        run(optimiser);
        EXPECT_TRUE(std::isfinite(f_) && std::isfinite(x_[0]) && std::isfinite(x_[1]));
        EXPECT_LE(f_, f0);
        EXPECT_EQ(f_, objective(x_));
        EXPECT_NEAR(x_[0], 4.0, 1e-5);
        EXPECT_TRUE(in_bounds());
    }
}

TEST_F(ConstrainedFit, RefusedCallbackEndsWithAnErrorCode) {
    for (auto optimiser : optimisers) {
        use(line());
        globals::nmdl = 3;
        EXPECT_EQ(run(optimiser), info_callback_failed);
        globals::nmdl = 0;
    }
}

TEST_F(ConstrainedFit, TooManyVariablesThrowBeforeAnyWork) {
    for (auto optimiser : optimisers) {
        use(line());
        std::vector<double> x(25, 1.0), g(25), c(50);
        const auto before = funct::evaluation_count();
        int info = 0;
        EXPECT_THROW(optimiser(25, x, f_, g, c, cnorm_, 10, 1e-6, -1, info, 5, conv_, niter_, 1, 0),
                     std::out_of_range);
        EXPECT_THROW(optimiser(2, x, f_, g, std::span<double>(c).first(3), cnorm_, 10, 1e-6, -1, info, 5, conv_,
                               niter_, 1, 0),
                     std::out_of_range);
        EXPECT_EQ(funct::evaluation_count(), before);
    }
}

// ---- vmcon ----

TEST_F(ConstrainedFit, VmconLineSearchLimitReturnsTheLineSearchStart) {
    // vmcon evaluates the start, solves the subproblem and runs the axial
    // search; that point starts the line search.
    use(rosenbrock());
    std::vector<double> expected_x = x_, g(2), c(4);
    kalvor::Matrix a;
    double expected_f = 0.0;
    ASSERT_TRUE(funct::calcfg(2, expected_x, expected_f, g, c, a));
    ASSERT_TRUE(axialsearch(2, expected_f, expected_x, g, c, a));

    EXPECT_EQ(run(vmcon, 100, 1), info_line_search);
    EXPECT_EQ(x_, expected_x);
    EXPECT_EQ(f_, expected_f);
    EXPECT_EQ(g_, g);
    EXPECT_EQ(c_, c);
}

TEST_F(ConstrainedFit, VmconIterationLimitBeforeAnySubproblem) {
    use(line());
    const std::vector<double> start = x_;
    niter_ = 5;
    EXPECT_EQ(run(vmcon, 5, 10, 0, 1), info_limit);
    EXPECT_EQ(niter_, 6);
    EXPECT_EQ(x_, start);
    const std::string text = out_.str();
    EXPECT_NE(text.find("\n           TOTAL NUMBER OF CONSTRAINTS                 =   4\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\n           ACCURACY OF THE FINAL SOLUTION              = 0.1000E-11\n"),
              std::string::npos);
    EXPECT_NE(text.find("\n     PROGRAM EXECUTION" + std::string(38, ' ') + "-- INFO = 2\n\n"), std::string::npos)
        << text;
}

TEST_F(ConstrainedFit, VmconReportsConvergence) {
    use(line());
    EXPECT_EQ(run(vmcon, 200, 10, 0, 1), info_converged);
    EXPECT_LE(conv_, 1e-12);
    EXPECT_NE(out_.str().find("COMPUTED BY VMCON.  -- INFO = 1\n"), std::string::npos);
    EXPECT_NE(out_.str().find("                       CONVERGENCE TEST VALUE = "), std::string::npos);
}

// ---- vmcwd ----

TEST_F(ConstrainedFit, VmcwdWithoutConstraints) {
    use(rosenbrock());
    EXPECT_EQ(run(vmcwd, 2000, 20, start_unconstrained), info_converged);
    EXPECT_NEAR(x_[0], 1.0, 1e-4);
    EXPECT_NEAR(x_[1], 1.0, 1e-4);
    EXPECT_EQ(a2.m, 0);
}

TEST_F(ConstrainedFit, VmcwdEvaluationLimitReturnsTheBestPoint) {
    use(rosenbrock());
    const double f0 = objective(x_);
    EXPECT_EQ(run(vmcwd, 6, 20, 0, 0), info_limit);
    EXPECT_LT(f_, f0);
    EXPECT_EQ(f_, objective(x_));
    EXPECT_TRUE(std::equal(x_.begin(), x_.end(), vmvdb.xsaved.begin()));
    EXPECT_NE(out_.str().find("\n     ERROR RETURN FROM VMCWD DUE TO    6 CALLS OF CALCFG\n"), std::string::npos)
        << out_.str();
}

TEST_F(ConstrainedFit, VmcwdIterationReport) {
    use(line());
    run(vmcwd, 200, 10, 0, 1);
    const std::string text = out_.str();
    EXPECT_NE(text.find("\n     ITERATIONS =    0     CALLS OF CALCFG =    2\n"
                        "     THE CURRENT VALUES OF F, X AND C ARE AS FOLLOWS"),
              std::string::npos)
        << text;
    // The start point, remembered: sum (1.5 + 2.5 k)^2 = 1563.
    EXPECT_NE(text.find("\n  X =    0.5000000000D+00    0.5000000000D+00\n"
                        "  F =    0.1563000000D+04\n"
                        "  c =    0.1005000000D+03    0.1005000000D+03    0.9950000000D+02    0.9950000000D+02\n"),
              std::string::npos);
    EXPECT_NE(text.find("THE FOLLOWING VALUES OF F, X AND CARE RETURNED BY VMCWD"), std::string::npos);
}

}  // namespace
