// The statistics behind the residuals window's tests and trend lines,
// checked against tables, closed forms and independent calculations.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "model/globals.h"
#include "run/main_sub.h"
#include "run/run_files_fixture.h"

#include "views/dwesd.h"
#include "views/ks.h"
#include "views/kuiper.h"
#include "views/reinsch.h"
#include "views/residual_reports.h"
#include "views/t2_outliers.h"

namespace {

std::vector<double> normal_sample(int n, unsigned seed, double mean = 0.0) {
    std::mt19937 engine(seed);
    std::normal_distribution<double> normal(mean, 1.0);
    std::vector<double> v(static_cast<std::size_t>(n));
    for (double& x : v) x = normal(engine);
    return v;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The runs dialog of rows whose residuals (observed minus fitted) are r.
std::string runs_of(const std::vector<double>& r) { return residual_reports::runs(r, std::vector<double>(r.size(), 0.0)); }

// The number after label in text.
double value_after(const std::string& text, const std::string& label) {
    const auto at = text.find(label);
    EXPECT_NE(at, std::string::npos) << label;
    return std::stod(text.substr(at + label.size()));
}

}  // namespace

TEST(Smoothing, MovingAverageAndItsBounds) {
    const std::vector<float> y = {1, 3, 5, 7};
    std::vector<float> ys(4);
    int npass = 1;
    reinsch::bestsmooth(ys, y, 4, 2, npass, 1);
    EXPECT_EQ(ys, (std::vector<float>{2, 4, 6, 6}));
    npass = 7;
    reinsch::bestsmooth(ys, y, 4, 2, npass, 1);
    EXPECT_EQ(npass, 4);
    const std::vector<float> zeros(5, 0.0f);
    std::vector<float> zs(5);
    npass = 2;
    reinsch::bestsmooth(zs, zeros, 5, 2, npass, 1);
    for (const float v : zs) EXPECT_EQ(v, 1e-16f);
    // Fewer values than the window: the input comes back.
    reinsch::bestsmooth(ys, y, 1, 2, npass, 1);
    EXPECT_EQ(ys[0], 1.0f);
}

TEST(Smoothing, QuarticKeepsAQuarticAndSplineKeepsALine) {
    std::vector<float> q(15);
    for (int i = 0; i < 15; ++i) q[static_cast<std::size_t>(i)] = static_cast<float>(std::pow(i - 7.0, 4) / 100.0 + 5.0);
    const std::vector<float> before = q;
    reinsch::quarticsmooth(q, 15);
    for (std::size_t i = 0; i < q.size(); ++i) EXPECT_NEAR(q[i], before[i], 1e-4f * before[i]);

    const int n = 12;
    std::vector<double> xy(static_cast<std::size_t>(n) * 7);
    for (int i = 0; i < n; ++i) {
        xy[static_cast<std::size_t>(i)] = i;
        xy[static_cast<std::size_t>(n + i)] = 2.0 - 0.5 * i;
    }
    reinsch::reinschsmoothing(n, xy, 1, 1.0f);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(xy[static_cast<std::size_t>(n + i)], 2.0 - 0.5 * i, 1e-12);
    for (int i = 0; i + 1 < n; ++i) EXPECT_NEAR(xy[static_cast<std::size_t>(2 * n + i)], -0.5, 1e-12);  // slope
    // Equal x: the input is handed back, nothing divides by zero.
    std::vector<double> tied = {1, 1, 2, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    reinsch::reinschsmoothing(3, tied, 1, 1.0f);
    EXPECT_EQ(tied[3], 5.0);
}

TEST(Smoothing, SplineMeetsItsResidualBound) {
    // The smoothing parameter is searched until the weighted residual sum of
    // squares reaches the bound n; points of weight 0 are interpolated.
    const int n = 40;
    const auto noise = normal_sample(n, 7);
    std::vector<double> xy(static_cast<std::size_t>(n) * 7);
    for (int i = 0; i < n; ++i) {
        xy[static_cast<std::size_t>(i)] = i;
        xy[static_cast<std::size_t>(n + i)] = std::sin(0.3 * i) + 0.5 * noise[static_cast<std::size_t>(i)];
    }
    reinsch::reinschsmoothing(n, xy, 1, 0.05f);
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double residual = xy[static_cast<std::size_t>(3 * n + i)], weight = xy[static_cast<std::size_t>(6 * n + i)];
        ASSERT_TRUE(std::isfinite(xy[static_cast<std::size_t>(n + i)]));
        if (weight == 0.0)
            EXPECT_EQ(residual, 0.0);
        else
            sum += (residual / weight) * (residual / weight);
    }
    EXPECT_NEAR(sum, n, 1e-3 * n);
}

TEST(ResidualTests, RunsTestCountsRunsUpAndDown) {
    std::vector<double> alternating(20);
    for (std::size_t i = 0; i < 20; ++i) alternating[i] = i % 2 == 0 ? 1.0 : -1.0;
    const std::string a = runs_of(alternating);
    // 19 runs of length 1 against Levene's 8.42 +- 2.83: z = 3.24 fails.
    EXPECT_TRUE(contains(a, "\n 1" + std::string(18, ' ') + "19" + std::string(11, ' ') + "TEST FAILS\n ")) << a;
    EXPECT_FALSE(contains(a, "\n 2   "));

    const std::string c = runs_of(std::vector<double>(10, 0.5));
    EXPECT_EQ(value_after(c, "Length of longest Runs up = "), 9);
    EXPECT_EQ(value_after(c, "Length of longest Runs down = "), 0);
    EXPECT_EQ(value_after(c, "Number of zero residual differences = "), 9);

    // A rise of 15 steps: Levene's variance of such a run is about 1e-13, so
    // its row fails and never reads "15 or greater".
    std::vector<double> rise(16);
    for (std::size_t i = 0; i < rise.size(); ++i) rise[i] = 0.1 * static_cast<double>(i);
    const std::string r15 = runs_of(rise);
    EXPECT_EQ(value_after(r15, "Length of longest Runs up = "), 15);
    EXPECT_TRUE(contains(r15, "\n 15" + std::string(16, ' ') + "1" + std::string(13, ' ') + "TEST FAILS")) << r15;

    // Runs longer than 15 are counted in the last row, as in the results file.
    std::vector<double> long_rise(21);
    for (std::size_t i = 0; i < long_rise.size(); ++i) long_rise[i] = 0.1 * static_cast<double>(i);
    EXPECT_TRUE(contains(runs_of(long_rise), "\n 15 or greater" + std::string(16, ' ') + "1" + std::string(13, ' ') +
                                                 "TEST PASSES"))
        << runs_of(long_rise);

    const std::string one = runs_of({0.3});
    EXPECT_TRUE(contains(one, "Length       Runs          Outcome\n ")) << one;
    EXPECT_EQ(one.substr(one.size() - 2), "\n ");

    const std::string noise = runs_of(normal_sample(300, 11));
    EXPECT_FALSE(contains(noise, "TEST FAILS")) << noise;
}

TEST(ResidualTests, FTestIsTheOneSampleTTestAndScaleFree) {
    // Two-sided p-values of the one-sample t test in percent, from the
    // regularised incomplete beta function I(nu / (nu + t^2); nu / 2, 1 / 2)
    // evaluated to 40 digits.
    struct Case {
        std::vector<double> r;
        double mean, percent;
        const char* verdict;
    };
    const std::vector<Case> cases = {
        {{0.3, -0.1, 0.4, 0.2, -0.2, 0.5, 0.1, 0.3}, 0.1875, 6.42357707156964, "INCONCLUSIVE"},
        {{1.2, -0.7, 0.4, 2.1, -0.3, 0.9, 0.6, -1.1, 1.5, 0.2, 0.8}, 0.509090909091, 10.6292987607791, "PASSED"},
        {{2.0, 1.0, -0.5, 1.5, 0.5, -1.0, 1.0, 0.0, 2.5}, 0.777777777778, 7.66983956684519, "INCONCLUSIVE"},
        {{0.9, 0.4, 1.3, 0.2, 0.8, -0.3, 1.1, 0.6, 0.5, 0.7}, 0.62, 0.207532726777664, "FAILED"},
    };
    for (const auto& c : cases) {
        // Observed minus fitted: observed r over fitted 0 gives the mean +m.
        const std::string text = residual_reports::f_test(c.r, std::vector<double>(c.r.size(), 0.0));
        EXPECT_NEAR(value_after(text, "Residual Mean = "), c.mean, 5e-5) << text;
        EXPECT_NEAR(value_after(text, "Percent Confidence Level = "), c.percent, 0.0051) << text;
        EXPECT_TRUE(contains(text, std::string("*** ") + c.verdict + " residuals F-test ***")) << text;
    }

    // Mean-zero normal residuals fail at about the test's 5% level.
    std::mt19937 engine(17);
    std::normal_distribution<double> normal;
    std::vector<double> r(20);
    const std::vector<double> fitted(20, 0.0);
    int failed = 0;
    for (int set = 0; set < 2000; ++set) {
        for (double& v : r) v = normal(engine);
        failed += contains(residual_reports::f_test(r, fitted), "*** FAILED");
    }
    EXPECT_GE(failed, 60);
    EXPECT_LE(failed, 140);

    const std::vector<double> yd(20, 0.0);
    const std::string text = residual_reports::f_test(yd, r);
    std::vector<double> scaled = r;
    for (double& v : scaled) v *= 1000.0;
    const std::string big = residual_reports::f_test(yd, scaled);
    EXPECT_EQ(value_after(big, "Percent Confidence Level = "), value_after(text, "Percent Confidence Level = "));

    // Two rows (fewer than the parameters of most models) still give a level.
    const std::vector<double> two_yd = {0.0, 0.0}, two_ydf = {0.1, -0.3};
    EXPECT_TRUE(contains(residual_reports::f_test(two_yd, two_ydf), "Percent Confidence Level"));
    // Residuals all zero: no verdict.
    const std::string zero = residual_reports::f_test(fitted, fitted);
    EXPECT_TRUE(contains(zero, "cannot be computed"));
    EXPECT_FALSE(contains(zero, "PASSED") || contains(zero, "FAILED"));
}

TEST(ResidualTests, FDistributionTailAgainstTables) {
    EXPECT_NEAR(t2_outlier::pval_f(4.965, 1, 10), 0.05, 2e-4);
    EXPECT_NEAR(t2_outlier::pval_f(4.103, 2, 10), 0.05, 2e-4);
    EXPECT_NEAR(t2_outlier::pval_f(5.117, 1, 9), 0.05, 2e-4);
    EXPECT_NEAR(t2_outlier::pval_f(5.409, 3, 5), 0.05, 2e-4);
    EXPECT_NEAR(t2_outlier::pval_f(161.45, 1, 1), 0.05, 2e-4);
    EXPECT_NEAR(t2_outlier::pval_f(3.326, 5, 10), 0.05, 2e-4);
    EXPECT_EQ(t2_outlier::pval_f(0.0, 1, 10), 1.0);
}

TEST(ResidualTests, DurbinWatsonVerdicts) {
    auto verdict = [](std::vector<double> r) { return residual_reports::durbin_watson(r); };
    std::mt19937 engine(5);
    std::normal_distribution<double> normal;
    std::vector<double> ar(200), alternating(200);
    double previous = 0.0;
    for (std::size_t i = 0; i < 200; ++i) {
        previous = 0.9 * previous + normal(engine);
        ar[i] = previous;
        alternating[i] = (i % 2 == 0 ? 1.0 : -1.0) + 0.1 * normal(engine);
    }
    EXPECT_TRUE(contains(verdict(ar), "Positive Serial Correlation of Residuals"));
    EXPECT_TRUE(contains(verdict(alternating), "negative serial correlation"));
    const std::string white = verdict(normal_sample(200, 21));
    EXPECT_TRUE(contains(white, "No Serial Correlation of Residuals")) << white;

    // The band is the mean of D plus and minus the 2.5% t point times its sd.
    std::vector<float> x(40);
    const auto noise = normal_sample(40, 8);
    std::copy(noise.begin(), noise.end(), x.begin());
    float d, e, s, dl, du, rho;
    int ierr;
    dwesd_mod::dwesd(x, 40, 1, d, e, s, dl, du, rho, ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_NEAR((du - e) / s, 2.024, 0.01);  // t(0.975, 39)
    double num = 0.0, den = 0.0;
    for (std::size_t t = 0; t < 40; ++t) {
        den += noise[t] * noise[t];
        if (t > 0) num += (noise[t] - noise[t - 1]) * (noise[t] - noise[t - 1]);
    }
    EXPECT_NEAR(d, num / den, 1e-5);

    EXPECT_TRUE(contains(verdict({1, 2, 3, 4}), "needs at least 5 rows"));
    const std::string five = verdict({0.5, -1.0, 0.2, 0.9, -0.4});
    EXPECT_TRUE(contains(five, "(rho) = n/a")) << five;
    EXPECT_TRUE(contains(verdict(std::vector<double>(10, 0.0)), "cannot be computed"));
}

TEST(ResidualTests, UnimodalEstimateIsADistributionFunction) {
    std::vector<double> x = normal_sample(30, 4);
    x[3] = x[4] = x[5] = x[10];  // ties
    std::vector<double> f(30);
    double mode = 0.0;
    unimodalecdf_mod::ecdf(30, x, mode, f);
    EXPECT_EQ(f[0], 0.0);
    for (std::size_t i = 1; i < f.size(); ++i) {
        EXPECT_GE(f[i], f[i - 1]);
        EXPECT_LE(f[i], 1.0);
    }
    EXPECT_GT(f.back(), 0.8);
}

TEST(ResidualTests, KuiperPassesNormalAndFailsTwoClusters) {
    const std::vector<double> zero(60, 0.0);
    EXPECT_TRUE(contains(residual_reports::kuiper(zero, normal_sample(60, 2)), "*** PASSED"));
    std::vector<double> clusters = normal_sample(60, 9);
    for (std::size_t i = 0; i < clusters.size(); ++i) clusters[i] = 0.1 * clusters[i] + (i % 2 == 0 ? -5.0 : 5.0);
    const std::string two = residual_reports::kuiper(zero, clusters);
    EXPECT_TRUE(contains(two, "*** FAILED")) << two;
    EXPECT_FALSE(contains(two, "INCONCLUSIVE"));
    EXPECT_TRUE(contains(residual_reports::kuiper(std::vector<double>(8, 0.0), normal_sample(8, 1)),
                         "* INCONCLUSIVE: Not enough data!"));
}

TEST(ResidualTests, KuiperRejectsSkewedResidualsAndKeepsItsLevel) {
    std::mt19937 engine(31);
    std::exponential_distribution<double> exponential(1.0);
    std::vector<double> skewed(200);
    for (double& v : skewed) v = exponential(engine);
    double lambda = 0.0, p = 1.0;
    kuiper_main_mod::kuiper_wrapper(200, skewed, lambda, p);
    EXPECT_LT(p, 0.001) << lambda;

    int rejected = 0;
    for (unsigned set = 0; set < 500; ++set) {
        kuiper_main_mod::kuiper_wrapper(50, normal_sample(50, 1000 + set), lambda, p);
        rejected += p < 0.05;
    }
    EXPECT_LE(rejected, 50);
}

TEST(ResidualTests, KolmogorovSmirnovParts) {
    int n1 = 0, n2 = 0;
    double dcrit = 0.0, d = 0.0, prob = 0.0;
    std::vector<double> r(40);
    for (std::size_t i = 0; i < 40; ++i) r[i] = i < 10 ? 3.0 + 0.1 * i : -1.0 - 0.01 * i;
    ks2_mod::ks2(r, 40, 1, n1, n2, dcrit, d, prob);
    EXPECT_EQ(n1, 10);
    EXPECT_EQ(n2, 30);
    EXPECT_NEAR(dcrit, 0.925 * 1.3581015157 * std::sqrt(1.0 / 10 + 1.0 / 30), 1e-9);

    const std::vector<double> xx = {0.5, 1.0, 0.25}, yy = {2.0, 1.0, 3.0};
    double fa, fb, fc, fd;
    ks2d2s::quadct(0.5, 2.0, xx, yy, fa, fb, fc, fd);
    EXPECT_DOUBLE_EQ(fa, 0.0);        // above right: none
    EXPECT_DOUBLE_EQ(fb, 1.0 / 3.0);  // above, left or on: (0.25, 3)
    EXPECT_DOUBLE_EQ(fc, 1.0 / 3.0);  // the point itself
    EXPECT_DOUBLE_EQ(fd, 1.0 / 3.0);

    // Equal residuals centre to +1e-6 each: no negative group.
    std::vector<double> yd(6, 0.0), ydf(6, 2.0);
    const std::string one_sign = residual_reports::kolmogorov_smirnov(yd, ydf);
    EXPECT_FALSE(contains(one_sign, "PASSED")) << one_sign;
    EXPECT_TRUE(contains(one_sign, "cannot be made"));
}

TEST(ResidualTests, TSquaredListsOutliers) {
    std::vector<double> ydf = normal_sample(20, 6), yd(20), xd(20);
    for (std::size_t i = 0; i < 20; ++i) {
        xd[i] = 0.5 * static_cast<double>(i);
        yd[i] = -123.456 - static_cast<double>(i);
        ydf[i] = yd[i] + 0.1 * ydf[i];
    }
    ydf[13] = yd[13] + 50.0;
    const std::string text = residual_reports::t_squared(xd, yd, ydf);
    EXPECT_TRUE(contains(text, "\n 14          6.5000E+00     -1.3646E+02     0.0")) << text;
    EXPECT_FALSE(contains(text, "*"));

    const auto many = normal_sample(1000, 12);
    const std::vector<double> zeros(1000, 0.0);
    const std::string list = residual_reports::t_squared(zeros, zeros, many);
    EXPECT_EQ(list.substr(list.size() - 48), "The number of outliers exceeded the limit of 25!");

    EXPECT_TRUE(contains(residual_reports::t_squared(xd, yd, yd), "No potential outliers found!"));
}

// Example 1 fitted by the run: the reports give the residuals the sign of the
// results file and its runs counts.
class Example1Reports : public RunFilesTest {};

TEST_F(Example1Reports, SignAndCountsAgreeWithTheResultsFile) {
    std::filesystem::copy_file(std::filesystem::path(KALVOR_SOURCE_DIR) / "data" / "examples" / "Michaelis-Menten.dat",
                               dir / "MM.DAT");
    globals::input_file_name = (dir / "MM.DAT").string();
    main_sub();
    ASSERT_TRUE(errors().empty());
    const std::string results = file_text("MM.TXT");
    ASSERT_FALSE(results.empty());

    // Y - Ycalc from the rows of the results file.
    std::istringstream rows(results.substr(results.find("X, Y, Ycalc, Residual Results:")));
    std::string line;
    std::getline(rows, line);
    std::getline(rows, line);
    const int n = common_data::nd;
    ASSERT_EQ(n, 20);
    double mean = 0.0;
    for (int i = 0; i < n && std::getline(rows, line); ++i) {
        std::istringstream row(line);
        double x = 0.0, y = 0.0, ycalc = 0.0;
        row >> x >> y >> ycalc;
        mean += (y - ycalc) / n;
    }
    // Independent least squares: P1 = 32.4983202, P2 = 136.9477322 give a
    // mean residual of -0.87687.
    EXPECT_NEAR(mean, -0.87687, 2e-3);
    const std::vector<double> yd(common_data::yd.begin(), common_data::yd.begin() + n),
        ydf(common_data::ydf.begin(), common_data::ydf.begin() + n);
    const std::string f = residual_reports::f_test(yd, ydf);
    EXPECT_NEAR(value_after(f, "Residual Mean = "), mean, 2e-3) << f;
    EXPECT_NEAR(value_after(f, "Percent Confidence Level = "), 64.17, 0.01);  // t test of those residuals
    EXPECT_TRUE(contains(f, "*** PASSED residuals F-test ***"));

    const std::string runs = residual_reports::runs(yd, ydf);
    const std::vector<std::pair<std::string, std::string>> same = {
        {"Number of positive residual differences = ", "NUMBER OF POSITIVE RESIDUALS   = "},
        {"Number of negative residual differences = ", "NUMBER OF NEGATIVE RESIDUALS   = "},
        {"Number of zero residual differences = ", "NUMBER OF ZERO RESIDUALS       = "},
        {"Length of longest Runs up = ", "LENGTH OF THE LONGEST RUN UP   = "},
        {"Length of longest Runs down = ", "LENGTH OF THE LONGEST RUN DOWN = "}};
    for (const auto& [dialog, file] : same) EXPECT_EQ(value_after(runs, dialog), value_after(results, file)) << file;
    EXPECT_EQ(value_after(runs, "Number of positive residual differences = "), 11);
    EXPECT_EQ(value_after(runs, "Number of negative residual differences = "), 8);
}
