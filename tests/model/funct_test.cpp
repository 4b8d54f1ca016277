#include "model/funct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "model/formula_check.h"
#include "model/globals.h"

namespace {

constexpr double floor_value = funct::objective_floor;
constexpr double ceiling_value = funct::objective_ceiling;

// Compiles text as the model of the shared fit data.
void use_model(const char* text, int np, int nx) {
    common_udf::cudf.assign(text);
    const std::vector<double> p(static_cast<std::size_t>(np), 1.0), x(static_cast<std::size_t>(nx), 1.0);
    double y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(p, x, np, nx, 1, common_udf::cudf.view(), y));
}

// Puts rows of one X variable into the shared fit data.
void use_rows(const std::vector<double>& x, const std::vector<double>& y) {
    common_data::nd = static_cast<int>(x.size());
    common_data::nxd = 1;
    for (std::size_t i = 0; i < x.size(); ++i) {
        common_data::xd[i] = x[i];
        common_data::xnx(i, 0) = x[i];
        common_data::yd[i] = y[i];
        common_data::ysig[i] = 1.0;
    }
}

kalvor::Matrix column(const std::vector<double>& x) {
    kalvor::Matrix m(x.size(), 1);
    for (std::size_t i = 0; i < x.size(); ++i) m(i, 0) = x[i];
    return m;
}

// The straight line P1 + P2*X1 at P = (1, 2) on X = 1..5, Y = 3, 5, 7, 9, 12:
// fitted 3, 5, 7, 9, 11 and residuals 0, 0, 0, 0, 1.
class LineFit : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        funct::set_jitter_source({});
        use_model("P1+P2*X1", 2, 1);
    }
    void TearDown() override {
        funct::set_jitter_source({});
        globals::reset_run_state();
    }

    double objective(int mode, const std::vector<double>& sig = std::vector<double>(5, 1.0)) {
        double f = -1.0;
        funct::fun(x_, y_, p_, 2, 1, 5, mode, ycalc_, sig, f);
        return f;
    }

    kalvor::Matrix x_ = column({1, 2, 3, 4, 5});
    std::vector<double> y_{3, 5, 7, 9, 12};
    std::vector<double> p_{1.0, 2.0};
    std::vector<double> ycalc_ = std::vector<double>(5, 0.0);
};

TEST_F(LineFit, UnweightedSum) {
    EXPECT_EQ(objective(0), 1.0);
    EXPECT_EQ(ycalc_, (std::vector<double>{3, 5, 7, 9, 11}));
    EXPECT_EQ(common_data::nd, 5);
    EXPECT_EQ(common_data::ndwt, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(common_data::ydf[i], ycalc_[i]);
        EXPECT_EQ(common_data::ysig[i], 1.0);
    }
}

TEST_F(LineFit, ResidualScaleMode) {
    EXPECT_DOUBLE_EQ(objective(4), 0.4472135954999579);
    EXPECT_EQ(common_data::ndwt, 4);
    EXPECT_EQ(common_data::ysig[0], 1.0);  // zero residual: weight 1
    EXPECT_DOUBLE_EQ(common_data::ysig[4], std::sqrt(1.0 / 0.4472135954999579));
}

TEST_F(LineFit, SigmaMode) {
    EXPECT_DOUBLE_EQ(objective(1, {1, 1, 1, 1, 2}), 0.25);
    // A zero sigma uses weight 1.
    EXPECT_EQ(objective(1, {1, 1, 1, 1, 0}), 1.0);
    // Tiny and huge sigmas are clamped to 0.001 and 1000.
    EXPECT_DOUBLE_EQ(objective(1, {1, 1, 1, 1, 5000}), 1e-6);
    EXPECT_EQ(common_data::ysig[4], 1000.0);
}

TEST_F(LineFit, SigmaModeWithSharedSigmas) {
    // The caller may pass common_data::ysig itself.
    for (int i = 0; i < 5; ++i) common_data::ysig[i] = i == 4 ? 2.0 : 1.0;
    double f = 0.0;
    funct::fun(x_, y_, p_, 2, 1, 5, 1, ycalc_, common_data::ysig, f);
    EXPECT_DOUBLE_EQ(f, 0.25);
    EXPECT_EQ(common_data::ysig[4], 2.0);
}

TEST_F(LineFit, FittedValueMode) {
    EXPECT_DOUBLE_EQ(objective(2), 0.008264462809917356);  // (1/11)^2
    EXPECT_EQ(common_data::ysig[4], 11.0);
    // A fitted value of 0.0005 is weighted 0.001.
    p_ = {-1.9995, 2.0};
    objective(2);
    EXPECT_EQ(common_data::ysig[0], 0.001);
}

TEST_F(LineFit, RobustMode) {
    EXPECT_NEAR(objective(3), 1.1859124206905862, 1e-12);
    EXPECT_EQ(common_data::ndwt, 3);
}

TEST_F(LineFit, ModesOutsideTheRange) {
    EXPECT_EQ(objective(7), 1.0);
    EXPECT_EQ(common_data::ndwt, 0);
    EXPECT_EQ(objective(-2), 1.0);
    EXPECT_EQ(common_data::ndwt, -2);
}

TEST_F(LineFit, BuiltInModelUsesUnitWeights) {
    globals::nmdl = 1;  // the built-in model slot gives 0 for every row
    EXPECT_EQ(objective(4), 9.0 + 25 + 49 + 81 + 144);
    EXPECT_EQ(common_data::ndwt, 4);
    EXPECT_EQ(common_data::ysig[4], 1.0);
}

TEST_F(LineFit, NaNSumGoesToTheCeiling) {
    y_[2] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(objective(0), ceiling_value);
    EXPECT_EQ(objective(1), ceiling_value);
}

TEST_F(LineFit, HugeSumGoesToTheCeiling) {
    y_ = {1.5e8, 1.5e8, 1.5e8, 1.5e8, 1.5e8};  // about 1.1e17 >= 2^54
    EXPECT_EQ(objective(0), ceiling_value);
}

TEST_F(LineFit, PerfectFitIsJitteredAndFloored) {
    y_ = {3, 5, 7, 9, 11};
    int draws = 0;
    funct::set_jitter_source([&draws] {
        ++draws;
        return 0.75;
    });
    EXPECT_EQ(objective(0), floor_value);
    EXPECT_EQ(draws, 5);
    // An imperfect fit draws nothing.
    y_[4] = 12;
    objective(0);
    EXPECT_EQ(draws, 5);
}

TEST_F(LineFit, NoRowsGiveTheFloor) {
    double f = 0.0;
    common_data::nd = 9;
    funct::fun(x_, y_, p_, 2, 1, 0, 3, ycalc_, y_, f);
    EXPECT_EQ(f, floor_value);
    EXPECT_EQ(common_data::ndwt, 3);
    EXPECT_EQ(common_data::nd, 9);
}

TEST(FunGuards, InvalidModelValueUsesReplacement) {
    // 6^1000 overflows: that row's fitted value is the replacement 4.44e-16.
    globals::reset_run_state();
    use_model("P1*X1^1000", 1, 1);
    const kalvor::Matrix x = column({1.0, 6.0});
    const std::vector<double> y{1.0, 2.0}, p{1.0};
    std::vector<double> ycalc(2);
    double f = 0.0;
    funct::fun(x, y, p, 1, 1, 2, 0, ycalc, y, f);
    EXPECT_EQ(ycalc[0], 1.0);
    EXPECT_EQ(ycalc[1], 4.440892098500626e-16);
    EXPECT_EQ(f, (2.0 - 4.440892098500626e-16) * (2.0 - 4.440892098500626e-16));
    globals::reset_run_state();
}

// ---- shared-data entries ----

class SharedFit : public ::testing::Test {
protected:
    void SetUp() override {
        globals::reset_run_state();
        use_model("P1+P2*X1", 2, 1);
        use_rows({1, 2, 3, 4, 5}, {3, 5, 7, 9, 12});
        common_data::pmask[0] = common_data::pmask[1] = 1;
    }
    void TearDown() override { globals::reset_run_state(); }
};

TEST_F(SharedFit, VmfunStoresFittedValuesAndResiduals) {
    common_data::ysig[2] = 0.0;
    const std::vector<double> p{1.0, 2.0};
    double f = 0.0;
    funct::vmfun(2, p, f);
    EXPECT_EQ(f, 1.0);
    EXPECT_EQ(common_data::ydf[4], 11.0);
    EXPECT_EQ(common_data::yres[4], 1.0);
    EXPECT_EQ(common_data::yres[0], 0.0);
    EXPECT_EQ(common_data::ysig[2], 1.0);
}

TEST_F(SharedFit, DerivatMatchesAnalyticGradient) {
    // S = sum (y - p1 - p2 x)^2: dS/dp1 = -2 sum r = -2, dS/dp2 = -2 sum r x = -10.
    std::vector<double> p{1.0, 2.0}, g(2);
    double f = 0.0;
    funct::derivat(g, f, p, 2);
    EXPECT_EQ(f, 1.0);
    EXPECT_NEAR(g[0], -2.0, 1e-7);
    EXPECT_NEAR(g[1], -10.0, 1e-7);
    EXPECT_EQ(p, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(common_data::npr, 2);
    EXPECT_EQ(common_data::pfinal[1], 2.0);
    EXPECT_EQ(common_data::ydf[4], 11.0);  // base point restored

    funct::derivatv(g, f, p, 2);
    EXPECT_NEAR(g[0], -2.0, 1e-6);
    EXPECT_NEAR(g[1], -10.0, 1e-6);
}

TEST_F(SharedFit, HeldParameterGetsZeroGradient) {
    common_data::pmask[0] = 0;
    std::vector<double> p{1.0, 2.0}, g(2, 5.0);
    double f = 0.0;
    funct::derivat(g, f, p, 2);
    EXPECT_EQ(g[0], 0.0);
    EXPECT_NEAR(g[1], -10.0, 1e-7);
}

TEST_F(SharedFit, ZeroGradientKeepsTinyMagnitude) {
    // At the least-squares line the gradient vanishes: each component becomes
    // 8.88e-16 with its sign, or stays a rounding-sized value.
    use_rows({1, 2, 3}, {3, 5, 7});
    std::vector<double> p{1.0, 2.0}, g(2);
    double f = 0.0;
    funct::derivat(g, f, p, 2);
    EXPECT_EQ(f, floor_value);
    for (double v : g) {
        EXPECT_GE(std::fabs(v), 8.8800002646180425e-16);
        EXPECT_LT(std::fabs(v), 1e-6);
    }
}

TEST(Derivat, NonlinearModelMatchesAnalyticGradient) {
    globals::reset_run_state();
    use_model("P2*X1/(P1+X1)", 2, 1);
    use_rows({5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100},
             {3.2, 15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7, 80.5, 90.0, 87.2, 94.3, 99.0, 90.7, 88.6, 97.0,
              101.9, 90.8, 90.5, 105.0});
    common_data::pmask[0] = common_data::pmask[1] = 1;
    std::vector<double> p{10.0, 100.0}, g(2);
    double f = 0.0;
    funct::derivat(g, f, p, 2);
    EXPECT_NEAR(f, 3850.9069234631493, 1e-9);
    EXPECT_NEAR(g[0], -373.10988290929805, 1e-5);
    EXPECT_NEAR(g[1], -9.10395752761939, 1e-6);
    globals::reset_run_state();
}

TEST_F(SharedFit, CalcfgConstraints) {
    common_data::pmask = {1, 0, 1};
    common_data::pboundlo = {0.0, -1.0, 0.5};
    common_data::pboundhi = {4.0, 3.0, 2.5};
    use_model("P1+P2*X1+P3", 3, 1);
    std::vector<double> x{1.0, 2.0, 0.0}, g(3), c(9, -7.0);
    kalvor::Matrix a;
    double f = 0.0;
    ASSERT_TRUE(funct::calcfg(3, x, f, g, c, a));
    EXPECT_EQ(a.rows(), 25u);
    EXPECT_EQ(a.cols(), 50u);
    EXPECT_EQ(common_data::ieqcns, 1);
    EXPECT_EQ(common_data::icnstr, 7);
    EXPECT_EQ(common_data::nmod, 0);
    // Held P2 equals its value; then x - lower and upper - x.
    EXPECT_EQ(c, (std::vector<double>{2.0, 1.0, 3.0, -0.5, 3.0, 1.0, 2.5, 0.0, 0.0}));
    EXPECT_EQ(a(1, 0), 1.0);
    EXPECT_EQ(a(0, 1), 1.0);
    EXPECT_EQ(a(2, 3), 1.0);
    EXPECT_EQ(a(0, 4), -1.0);
    EXPECT_EQ(a(2, 6), -1.0);
    EXPECT_EQ(a(0, 0), 0.0);
    EXPECT_EQ(f, 1.0);
    EXPECT_EQ(g[1], 0.0);
    EXPECT_NEAR(g[0], -2.0, 1e-7);
    EXPECT_NE(iinout::units[0], 0);
}

TEST_F(SharedFit, CalcfgWithBuiltInModelReturnsAnError) {
    globals::nmdl = 2;
    std::vector<double> x{1.0, 2.0}, g(2), c(4);
    kalvor::Matrix a;
    double f = 0.0;
    EXPECT_FALSE(funct::calcfg(2, x, f, g, c, a));
    EXPECT_EQ(f, 999999.0);
}

// ---- curve and vector routines ----

TEST(FunCurve, PointsPerInterval) {
    globals::reset_run_state();
    use_model("P1+P2*X1", 2, 1);
    const kalvor::Matrix x = column({1, 2, 3});
    const std::vector<double> p{1.0, 2.0};
    std::vector<double> xc(5), yc(5);
    int count = 0;
    funct::funcurve(x, 3, 2, p, 1, xc, yc, count, 2);
    EXPECT_EQ(count, 5);
    const std::vector<double> expected{1.0 * 0.99, 1.5 * 0.99, 2.0 * 1.01, 2.5 * 1.01, 3.0 * 1.01};
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(xc[i], expected[i]);
        EXPECT_DOUBLE_EQ(yc[i], 1.0 + 2.0 * expected[i]);
    }
    // One interval: all m + 1 points, scaled by 0.99.
    funct::funcurve(column({1, 3}), 2, 2, p, 1, xc, yc, count, 2);
    EXPECT_EQ(count, 3);
    EXPECT_DOUBLE_EQ(xc[2], 3.0 * 0.99);
    funct::funcurve(column({1}), 1, 2, p, 1, xc, yc, count, 2);
    EXPECT_EQ(count, 0);
    // X columns the table does not hold are refused, never read.
    EXPECT_THROW(funct::funcurve(column({1, 3}), 2, 2, p, 2, xc, yc, count, 2), std::out_of_range);
    globals::reset_run_state();
}

TEST(VectorRoutines, Linspace) {
    std::vector<double> x(4);
    funct::r8vec_linspace(1, 2.0, 5.0, x);
    EXPECT_EQ(x[0], 3.5);
    funct::r8vec_linspace(4, 0.0, 3.0, x);
    EXPECT_EQ(x, (std::vector<double>{0.0, 1.0, 2.0, 3.0}));
}

TEST(VectorRoutines, SavitzkyGolay) {
    std::vector<double> y{1, 2, 3, 4, 5, 6, 7}, ys(7);
    funct::savitzkygolay(y, 7, ys);
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(ys[i], y[i], 1e-12);  // a line is kept
    std::vector<double> q{1, 4, 9, 16, 25, 36}, qs(6);
    funct::savitzkygolay(q, 6, qs);
    EXPECT_NEAR(qs[2], 9.0, 1e-12);  // interior quadratic kept
    EXPECT_NEAR(qs[0], (207.0 + 48 - 162 + 192 - 75) / 210.0, 1e-12);
    funct::savitzkygolay(y, 4, ys);
    EXPECT_EQ(ys[0], 0.0);
    EXPECT_EQ(ys[3], 0.0);
}

TEST(VectorRoutines, MovingAverage) {
    std::vector<double> y{1, 4, 9, 16, 25}, ys(5);
    funct::movingaver(y, 5, ys, 3);
    EXPECT_NEAR(ys[0], 4.0 / 6.0, 1e-12);
    EXPECT_NEAR(ys[1], 14.0 / 3.0, 1e-12);
    EXPECT_NEAR(ys[2], 29.0 / 3.0, 1e-12);
    EXPECT_NEAR(ys[3], 50.0 / 3.0, 1e-12);
    EXPECT_NEAR(ys[4], 148.0 / 6.0, 1e-12);
    funct::movingaver(y, 5, ys, 7);
    EXPECT_EQ(ys, std::vector<double>(5, 0.0));
}

TEST(VectorRoutines, MovingAverageEvenWindowAveragesWValues) {
    std::vector<double> y{1, 2, 3, 4, 5, 6, 7, 8}, ys(8);
    funct::movingaver(y, 8, ys, 4);
    const std::vector<double> expected{1.0, 2.0, 3.5, 4.5, 5.5, 6.5, 7.0, 8.0};
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(ys[i], expected[i], 1e-12) << i;
}

TEST(VectorRoutines, MovingAverageTooFewValues) {
    std::vector<double> y{1, 2}, ys{9, 9};
    funct::movingaver(y, 2, ys, 1);
    EXPECT_EQ(ys, (std::vector<double>{0, 0}));
}


TEST(FunGuards, RowsWithoutAModelValueAreCounted) {
    // Each model has no value where X1 > 2: ASIN outside [-1, 1], SINH
    // overflowing to infinity, and infinity minus infinity (NaN).
    globals::reset_run_state();
    const kalvor::Matrix x = column({0.5, 1.0, 2.0, 3.0, 4.0});
    const std::vector<double> p{1.0};
    for (const char* model : {"P1*ASIN(X1/2)", "P1*SINH(X1^9)", "SINH(X1^9)-SINH(X1^9)+P1"}) {
        SCOPED_TRACE(model);
        use_model(model, 1, 1);
        EXPECT_EQ(funct::unevaluable_rows(x, p, 1, 1, 5), 2);
        EXPECT_EQ(funct::unevaluable_rows(x, p, 1, 1, 3), 0);
    }
    // A huge finite value is clamped, not counted.
    use_model("P1*EXP(X1*100)", 1, 1);
    EXPECT_EQ(funct::unevaluable_rows(x, p, 1, 1, 5), 0);
    globals::reset_run_state();
}

}  // namespace
