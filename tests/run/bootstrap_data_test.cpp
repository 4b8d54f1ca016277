// The residual bootstrap band on fits at their least-squares optimum.

#include "run/bootstrap_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "run/sharc_fixture.h"

namespace {

using Vector = std::vector<double>;
using sharc_test::FitProblem;

FitProblem example1() {
    FitProblem problem;
    problem.formula = "P2*X1/(P1+X1)";
    for (int k = 1; k <= 20; ++k) problem.x.push_back(5.0 * k);
    problem.y = {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7,  80.5, 90.0,
                 87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0};
    problem.p = {32.4983202, 136.9477322};  // the least-squares optimum
    problem.lo = {1e-6, 1e-6};
    problem.hi = {1e6, 1e6};
    return problem;
}

// The shared fit data as the driver leaves them before the bootstrap.
struct Snapshot {
    Vector yd, ydf, yres, ydr;
    common_data::ParamArray pfinal;
    double fssqr;
    int ndwt;

    static Snapshot take(int n) {
        namespace cd = common_data;
        const auto rows = static_cast<std::ptrdiff_t>(n);
        const auto row_copy = [rows](const cd::RowArray& a) { return Vector(a.begin(), a.begin() + rows); };
        return {row_copy(cd::yd), row_copy(cd::ydf), row_copy(cd::yres), row_copy(cd::ydr),
                cd::pfinal,       cd::fssqr,         cd::ndwt};
    }
};

class Bootstrap : public ::testing::Test {
protected:
    void TearDown() override { globals::reset_run_state(); }

    // Sets up the fit at problem.p, with ydf, yres, ydr, fssqr as the driver
    // leaves them and weighting mode 2 recorded.
    void fit_at(const FitProblem& problem) {
        sharc::DriverState s;
        sharc_test::set_up_fit(s, problem);
        n = static_cast<int>(problem.y.size());
        double f = 0.0;
        funct::vmfun(static_cast<int>(problem.p.size()), problem.p, f);
        common_data::fssqr = f;
        for (int i = 0; i < n; ++i) common_data::ydr[static_cast<std::size_t>(i)] = 0.1 * i - 0.7;
        common_data::ndwt = 2;
        yhat.assign(common_data::ydf.begin(), common_data::ydf.begin() + n);
        Vector r(common_data::yres.begin(), common_data::yres.begin() + n);
        s0 = bootstrap_data_mod::compute_std_dev(r, n);
    }

    void run(int nboot, int method = 2) {
        mean.assign(static_cast<std::size_t>(n), -1.0);
        lcl = ucl = mean;
        bootstrap_data_mod::residual_bootstrap_regression(common_data::xd, common_data::yd, n, 0.05, nboot, method, 1,
                                                          mean, lcl, ucl);
    }

    void expect_degenerate() const {
        for (std::size_t i = 0; i < yhat.size(); ++i) {
            EXPECT_EQ(mean[i], yhat[i]) << i;
            EXPECT_EQ(lcl[i], yhat[i]) << i;
            EXPECT_EQ(ucl[i], yhat[i]) << i;
        }
    }

    sharc_test::Repeatable repeatable;
    int n = 0;
    double s0 = 0.0;
    Vector yhat, mean, lcl, ucl;
};

// The band: the mean curve follows the fitted values, the half-width is
// t(nboot - 1) times the residual spread (the replicates' own spread is a
// hundredth of it), and every borrowed shared value comes back unchanged.
TEST_F(Bootstrap, BandAroundTheFittedCurveOfExampleOneAndALine) {
    for (const FitProblem& problem : {example1(), sharc_test::line_problem()}) {
        fit_at(problem);
        const Snapshot before = Snapshot::take(n);
        run(40);
        const Snapshot after = Snapshot::take(n);
        EXPECT_EQ(after.yd, before.yd);
        EXPECT_EQ(after.ydf, before.ydf);
        EXPECT_EQ(after.yres, before.yres);
        EXPECT_EQ(after.ydr, before.ydr);
        EXPECT_EQ(after.pfinal, before.pfinal);
        EXPECT_EQ(after.fssqr, before.fssqr);
        EXPECT_EQ(after.ndwt, 2);

        const double t = bootstrap_data_mod::t_quantile(39);
        for (std::size_t i = 0; i < yhat.size(); ++i) {
            EXPECT_NEAR(mean[i], yhat[i], 0.1 * s0) << i;
            EXPECT_LT(lcl[i], yhat[i]) << i;
            EXPECT_GT(ucl[i], yhat[i]) << i;
            EXPECT_NEAR((ucl[i] - yhat[i]) / (t * s0), 1.0, 0.01) << i;
            EXPECT_NEAR(ucl[i] - yhat[i], yhat[i] - lcl[i], 1e-9 * s0) << i;
        }
    }
}

TEST_F(Bootstrap, OneRowGivesAFiniteBandAtTheFittedValue) {
    FitProblem problem;
    problem.formula = "P1+0*X1";
    problem.x = {1.0};
    problem.y = {5.0};
    problem.p = {5.0};
    fit_at(problem);
    run(10);
    EXPECT_EQ(s0, 0.0);
    expect_degenerate();
    EXPECT_EQ(lcl[0], 5.0);
}

// No replicate: the fitted curve.  One replicate: t = 0, so both limits
// sit on the fitted curve and the mean is that replicate.
TEST_F(Bootstrap, FewerThanTwoReplicatesGiveNoBandWidth) {
    fit_at(example1());
    const Snapshot before = Snapshot::take(n);
    run(0);
    expect_degenerate();
    run(1);
    EXPECT_EQ(lcl, yhat);
    EXPECT_EQ(ucl, yhat);
    for (std::size_t i = 0; i < yhat.size(); ++i) EXPECT_NEAR(mean[i], yhat[i], 0.1 * s0);
    EXPECT_EQ(Snapshot::take(n).yd, before.yd);
    EXPECT_EQ(common_data::ndwt, 2);
}

// Fitted values centred on 0 make any band "wider than the mean": after the
// second sweep the result is the fitted curve, never limits at y = 0.
TEST_F(Bootstrap, DataCentredOnZeroGiveTheFittedCurve) {
    FitProblem problem;
    problem.formula = "P1*X1";
    for (int k = 0; k < 10; ++k) {
        const double x = k - 4.5;
        problem.x.push_back(x);
        problem.y.push_back(2.0 * x + (k % 3 - 1) * 0.3);
    }
    problem.p = {2.0};
    fit_at(problem);
    run(10);
    expect_degenerate();
    for (double v : lcl) EXPECT_NE(v, 0.0);
}

// More rows or parameters than the fit data hold, or outputs shorter than
// the rows: refused before the shared data are touched.
TEST_F(Bootstrap, CountsBeyondTheArraysAreRefused) {
    fit_at(example1());
    const Snapshot before = Snapshot::take(n);
    const long long evaluations = funct::evaluation_count();
    Vector out(1001, -1.0), x(1001, 1.0);
    const auto call = [&](int rows, std::span<double> outputs) {
        bootstrap_data_mod::residual_bootstrap_regression(x, x, rows, 0.05, 10, 2, 1, outputs, outputs, outputs);
    };
    EXPECT_THROW(call(1001, out), std::out_of_range);
    EXPECT_THROW(call(n, std::span<double>(out).first(static_cast<std::size_t>(n) - 1)), std::out_of_range);
    common_data::npr = 11;
    EXPECT_THROW(call(n, out), std::out_of_range);
    common_data::npr = 2;
    EXPECT_EQ(funct::evaluation_count(), evaluations);
    EXPECT_EQ(Snapshot::take(n).yd, before.yd);
    EXPECT_EQ(common_data::ndwt, 2);
    EXPECT_EQ(out, Vector(1001, -1.0));
}

TEST(BootstrapT, FollowsStudentsTAndNeverRises) {
    const double exact[20] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                              2.201,  2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086};
    for (int df = 1; df <= 20; ++df) EXPECT_EQ(bootstrap_data_mod::t_quantile(df), exact[df - 1]);
    // Student's t, two-sided 95%, at 21, 30, 45 and 59 degrees of freedom.
    EXPECT_NEAR(bootstrap_data_mod::t_quantile(21), 2.0796, 0.01);
    EXPECT_NEAR(bootstrap_data_mod::t_quantile(30), 2.0423, 0.01);
    EXPECT_NEAR(bootstrap_data_mod::t_quantile(45), 2.0141, 0.01);
    EXPECT_NEAR(bootstrap_data_mod::t_quantile(59), 2.0010, 0.01);
    for (int df = 1; df <= 1100; ++df)
        EXPECT_LE(bootstrap_data_mod::t_quantile(df + 1), bootstrap_data_mod::t_quantile(df)) << df;
    EXPECT_EQ(bootstrap_data_mod::t_quantile(1000), 1.96);
    EXPECT_EQ(bootstrap_data_mod::t_quantile(0), 0.0);
}

TEST(BootstrapHelpers, StandardDeviationAndPermutation) {
    const Vector v = {2, 4, 4, 4, 5, 5, 7, 9};
    EXPECT_DOUBLE_EQ(bootstrap_data_mod::compute_std_dev(v, 8), std::sqrt(32.0 / 7.0));
    EXPECT_EQ(bootstrap_data_mod::compute_std_dev(v, 1), 0.0);

    sharc_test::Repeatable repeatable;
    const Vector c = {0.5, -1.0, 2.0, 3.5, -0.25, 7.0};
    Vector e(6), seen;
    bool moved = false;
    for (int k = 0; k < 20; ++k) {
        bootstrap_data_mod::random_resample_residuals(c, e, 6);
        moved = moved || e != c;
        seen = e;
        std::sort(seen.begin(), seen.end());
        Vector sorted = c;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(seen, sorted);
    }
    EXPECT_TRUE(moved);
}

}  // namespace
