#include "views/residual_reports.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "foundations/stringconv.h"
#include "foundations/stringlib.h"
#include "run/poststats.h"
#include "views/dwesd.h"
#include "views/ks.h"
#include "views/kuiper.h"
#include "views/t2_outliers.h"

namespace residual_reports {
namespace {

constexpr std::string_view br = "\n ";

std::string trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// x written with the edit descriptor fmt, left-adjusted, without blanks.
std::string real(double x, std::string_view fmt) {
    std::string s(30, ' ');
    stringlib::write_dr(x, s, fmt);
    return trimmed(s);
}

std::string integer(int i, std::string_view fmt) {
    std::string s(30, ' ');
    stringlib::write_di(i, s, fmt);
    return trimmed(s);
}

// The text lines joined, each followed by a break.
std::string lines(std::initializer_list<std::string_view> items) {
    std::string text;
    for (const std::string_view line : items) {
        text += line;
        text += br;
    }
    return text;
}

std::string not_computable(std::string_view what) {
    return std::string("The ") + std::string(what) + " cannot be computed for these residuals" + std::string(br) +
           "(a value is not a finite number): no verdict." + std::string(br);
}

std::vector<double> residuals(std::span<const double> yd, std::span<const double> ydf) {
    std::vector<double> r(yd.size());
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = yd[i] - ydf[i];
    return r;
}

// The runs test's standard deviations: the variance of the number of runs of
// length k among n values is c1(k) n + c2(k).
constexpr double runs_c1[15] = {0.4236111044883728,     0.11266754567623138,   0.04191688820719719,
                                0.010769125074148178,   0.002003959147259593,  0.00030232357676140964,
                                3.911555540980771e-05,  4.4590387915377505e-06, 4.551105234895658e-07,
                                4.207466730576925e-08,  3.5559308830812597e-09, 2.7682733882983257e-10,
                                1.9978215262672627e-11, 1.3438766158918591e-12, 8.46561048258726e-14};
constexpr double runs_c2[15] = {-0.4819444417953491,     -0.1628284901380539,     -0.09690696746110916,
                                -0.037781067192554474,   -0.009289228357374668,   -0.0017244291957467794,
                                -0.00026385579258203506, -3.4669650631258264e-05, -4.00412909584702e-06,
                                -4.130382649236708e-07,  -3.851875973737151e-08,  -3.2791038773183345e-09,
                                -2.568491253018834e-10,  -1.8634338863621203e-11, -1.2592204839609322e-12};

double factorial(int k) {
    double f = 1.0;
    for (int i = 2; i <= k; ++i) f *= i;
    return f;
}

}  // namespace

std::string runs(std::span<const double> yd, std::span<const double> ydf) {
    const int n = static_cast<int>(yd.size());
    sharc_mod::RunsTest counts;
    sharc_mod::runs_statistic(residuals(yd, ydf), n, counts);

    std::string text = "Runs Test of Residual Randomness (p = 1%)" + std::string(br) + std::string(br);
    text += lines({"The runs analysis of residual data is a", "distribution-free test of the randomness",
                   "of the residual data set.", "", "Bradley (1968). Distribution-Free Statistical",
                   "Tests, Chapter 12, pg. 271-282.", ""});
    text += "Length of longest Runs up = " + integer(counts.lup, "I4") + std::string(br);
    text += "Length of longest Runs down = " + integer(counts.ldown, "I4") + std::string(br);
    text += "Number of positive residual differences = " + integer(counts.npos, "I4") + std::string(br);
    text += "Number of negative residual differences = " + integer(counts.nneg, "I4") + std::string(br);
    text += "Number of zero residual differences = " + integer(counts.nzero, "I4") + std::string(br) + std::string(br);
    text += "Residual Runs Pattern:" + std::string(br);
    text += "Length       Runs          Outcome" + std::string(br);
    const int rows = std::min(15, std::max(counts.lup, counts.ldown));
    for (int k = 1; k <= rows; ++k) {
        // The last row counts the longer runs too; its score is that of the
        // runs of exactly 15.
        const double shown = counts.table[static_cast<std::size_t>(k - 1)];
        if (!(shown > 1e-6)) continue;
        const double observed = k == 15 ? shown - counts.table[15] : shown;
        const double expected = 2.0 * (n * (k * k + 3.0 * k + 1.0) - (k * k * k + 3.0 * k * k - k - 4.0)) / factorial(k + 3);
        const double sd = std::sqrt(runs_c1[k - 1] * n + runs_c2[k - 1]);
        double z = (observed - expected) / sd;
        z = z >= 0.0 ? z - 0.5 : z + 0.5;
        std::string outcome;
        if (!std::isfinite(z))
            outcome = "cannot be computed";
        else
            outcome = z < -2.569999933242798 || z > 2.569999933242798 ? "TEST FAILS" : "TEST PASSES";
        std::string length = integer(k, "I4");
        const auto length_chars = static_cast<int>(length.size());
        if (k == 15 && outcome == "TEST PASSES") length += " or greater";
        const std::string count = integer(static_cast<int>(shown), "I4");
        text += length + std::string(static_cast<std::size_t>(std::max(0, 20 - 2 * length_chars)), ' ') + count +
                std::string(static_cast<std::size_t>(std::max(0, 15 - 2 * static_cast<int>(count.size()))), ' ') +
                outcome + std::string(br);
    }
    return text;
}

std::string f_test(std::span<const double> yd, std::span<const double> ydf) {
    const std::vector<double> r = residuals(yd, ydf);
    const int n = static_cast<int>(r.size());
    double mean = 0.0, sd = 0.0;
    for (const double v : r) mean += v;
    mean /= n;
    split_array_mod::rvec_stdev(n, r, sd);
    const double f = n * mean * mean / (sd * sd);

    std::string text = lines({"F-test of the residuals determines if the", "mean of the residuals is significantly",
                              "different than zero.", "", "A high percent level (e.g., % > 10) suggests that",
                              "there is a relatively high confidence that the",
                              "residual errors have a mean close to zero and",
                              "(the fitted curve passes through the center of", "the data).", "",
                              "Bard, Y. (1974). Nonlinear Parameter Estimation.",
                              "Academic Press, New York, p. 200, Section 7-16.", ""});
    text += "Residual Mean = " + real(mean, "F15.4") + std::string(br);
    text += "Residual Std. Dev. = " + real(sd, "F15.4") + std::string(br);
    text += "Numerator = " + integer(1, "I3") + std::string(br);
    text += "Denominator = " + integer(n - 1, "I5") + std::string(br);
    if (n < 2 || !std::isfinite(f)) return text + std::string(br) + not_computable("F-test of the residual mean");
    const double percent = 100.0 * t2_outlier::pval_f(f, 1.0, n - 1.0);
    text += "F-value = " + real(f, "ES12.3") + std::string(br);
    text += "Percent Confidence Level = " + real(percent, "F10.2") + "%" + std::string(br) + std::string(br);
    // The level is the two-sided p-value in percent: below 5 the mean
    // differs from zero at the 5% level, from 10 on it does not at 10%.
    if (percent >= 10.0)
        text += lines({"*** PASSED residuals F-test ***", "The residuals are not significantly", "different from zero."});
    else if (percent >= 5.0)
        text += lines({"*** INCONCLUSIVE residuals F-test ***", "The significance of the residuals",
                       "could not be determined."});
    else
        text += lines({"*** FAILED residuals F-test ***", "The residuals are significantly", "different from zero."});
    return text;
}

std::string kuiper(std::span<const double> yd, std::span<const double> ydf) {
    const std::vector<double> r = residuals(yd, ydf);
    const int n = static_cast<int>(r.size());
    double lambda = 0.0, p = 0.0;
    kuiper_main_mod::kuiper_wrapper(n, r, lambda, p);

    std::string text = lines({"The Kuiper V (KV) test is a non-parametric test",
                              "that is based on the vertical difference between",
                              "the empirical distribution function (EDF) and the",
                              "normal cumulative distribution function (CDF). The",
                              "KV tests the null hypothesis that the sample was", "drawn from a normal distribution.",
                              " ", "KV tests for violations of the null hypothesis;",
                              "a small p-value concludes that the residuals",
                              "were not sampled from a normal distribution.", "",
                              "Kuiper, N. H. (1960). Tests concerning random points",
                              "on a circle. Proceedings of the Koninklijke",
                              "Nederlandse Akademie van Wetenschappen, Series A,", "63, pages 38-47.", ""});
    if (n < 1 || !std::isfinite(lambda) || !std::isfinite(p)) return text + not_computable("Kuiper V test");
    const std::string probability = "Probability = " + real(p, "F10.5") + std::string(br) + std::string(br);
    if (p < 0.05000000074505806)
        text += "p-value < 0.05:" + std::string(br) + std::string(br) + probability +
                lines({"*** FAILED residuals Kuiper V test ***", "The null hypothesis is rejected since the",
                       "residuals appear not to be from a normal", "cumulative distribution."});
    else
        text += "p-value > 0.05:" + std::string(br) + std::string(br) + probability +
                lines({"*** PASSED residuals Kuiper V test ***", "The null hypothesis is accepted since the",
                       "residuals appear to be from a normal", "cumulative distribution."});
    if (n <= 8) text += "* INCONCLUSIVE: Not enough data!" + std::string(br);
    return text;
}

std::string kolmogorov_smirnov(std::span<const double> yd, std::span<const double> ydf) {
    const std::vector<double> r = residuals(yd, ydf);
    const int n = static_cast<int>(r.size());
    int n1 = 0, n2 = 0;
    double dcrit = 0.0, d = 0.0, prob = 0.0;
    if (n >= 1) ks2_mod::ks2(r, n, 1, n1, n2, dcrit, d, prob);

    std::string text = lines({"The Kolmogorov-Smirnov (KS) test is a non-parametric",
                              "and distribution-free test that makes no assumption",
                              "about the distribution of data. The KS D statistic",
                              "tests whether two independent samples come from",
                              "equivalent populations. The null hypothesis is when",
                              "the two groups are sampled from populations with",
                              "identical distributions. The KS tests for violations",
                              "of the null hypothesis such that a small D-value",
                              "concludes that two groups of positive and negative",
                              "residuals were sampled from different distributions.", "",
                              "Accept the null hypothesis:   D < Dcritical",
                              "Reject the null hypothesis:    D > Dcritical", "",
                              "Peacock, J. A. (1983). Two-dimensional goodness-of-",
                              "fit testing in astronomy. Monthly Notices of the",
                              "Royal Astronomical Society, volume 202, pages 615-627.", ""});
    if (n1 == 0 || n2 == 0)
        return text + lines({"The KS test cannot be made: every centred residual",
                             "has the same sign, so there is no second group."});
    if (!std::isfinite(d) || !std::isfinite(dcrit)) return text + not_computable("KS test");
    const std::string dtext = real(d, "F10.3"), ctext = real(dcrit, "F10.3");
    if (d > dcrit)
        text += "D > Dcrit:  " + dtext + " > " + ctext + std::string(br) + std::string(br) +
                lines({"*** FAILED residuals KS test ***", "The null hypothesis is rejected since the",
                       "positive and negative residuals appear to", "be from different distributions and are",
                       "significantly different."});
    else
        text += "D < Dcrit:  " + dtext + " < " + ctext + std::string(br) + std::string(br) +
                lines({"*** PASSED residuals KS test ***", "The null hypothesis is accepted since the",
                       "positive and negative residuals appear to", "be from the same distribution."});
    return text;
}

std::string durbin_watson(std::span<const double> ydr) {
    const int n = static_cast<int>(ydr.size());
    std::vector<float> x(ydr.begin(), ydr.end());
    float d = 0.0f, e = 0.0f, s = 0.0f, dl = 0.0f, du = 0.0f, rho = 0.0f;
    int ierr = 0;
    if (n > 4) dwesd_mod::dwesd(x, n, 1, d, e, s, dl, du, rho, ierr);

    std::string text = lines({"Durbin-Watson (DW) statistic is a test for first-order",
                              "serial correlation. The DW test measures the association",
                              "between adjacent residuals from a regression model.", "",
                              "No Serial Correlation: rho = 0 and the probability of",
                              "a \"+\" residual error is independent of residual history.", "",
                              "Positive Serial Correlation: rho > 0 indicates",
                              "that the residual error terms will tend to have the",
                              "same sign from one period to the next.", "",
                              "Negative Serial Correlation: rho < 0 indicates",
                              "that the residual error terms will tend to have a",
                              "different sign from one period to the next", "",
                              "Durbin, J. and Watson, G. S. (1950). \"Testing for",
                              "Serial Correlation in Least Squares Regression, I\".",
                              "Biometrika 37, 409-428.", ""});
    text += "Durbin-Watson D Statistic (p = 5%)" + std::string(br) + std::string(br);
    if (n <= 4) return text + lines({"The Durbin-Watson test needs at least 5 rows."});
    if (ierr != 0 || !std::isfinite(d) || !std::isfinite(dl) || !std::isfinite(du))
        return text + not_computable("Durbin-Watson test");
    const bool rho_defined = n - 1 - 4 > 0 && std::isfinite(rho);
    text += "Serial correlation coefficient (rho) = " + (rho_defined ? real(rho, "F12.3") : std::string("n/a")) +
            std::string(br) + std::string(br);
    const std::string dtext = real(d, "F12.3"), ltext = real(dl, "F12.3"), utext = real(du, "F12.3");
    text += "D value = " + dtext + std::string(br) + std::string(br);
    if (d < dl)
        text += "D < DL:  " + dtext + " < " + ltext + std::string(br) + std::string(br) +
                lines({"Positive Serial Correlation of Residuals"});
    else if (d > du)
        text += "D > DU:  " + dtext + " > " + utext + std::string(br) + std::string(br) +
                lines({"Fluctuation of Residuals (negative serial correlation)"});
    else
        text += "DL < D < DU:  " + ltext + " < " + dtext + " < " + utext + std::string(br) + std::string(br) +
                lines({"No Serial Correlation of Residuals"});
    return text;
}

std::string t_squared(std::span<const double> xd, std::span<const double> yd, std::span<const double> ydf) {
    const std::vector<double> r = residuals(yd, ydf);
    const int n = static_cast<int>(r.size());
    std::string text = lines({"Hotelling's T-squared distribution (T\u00b2) is a",
                              "multivariate distribution proportional to the",
                              "F-distribution. The distribution is used in",
                              "multivariate statistics to test the differences",
                              "between the means of populations. T\u00b2 is used",
                              "here as a dissimilarity measure for outlier",
                              "detection in the data set. The number of",
                              "outliers in a data set is limited to 25. The",
                              "statistic is named after Harold Hotelling.", "",
                              "Outlier data point: Fdist( T\u00b2,df1,df2 ) < 0.05", "",
                              "Hotelling, H. (1931). The generalization of",
                              "Student's ratio. The Annals of Mathematical",
                              "Statistics, volume 2, number 3, pages 360-378.", ""});
    const bool all_equal = std::all_of(r.begin(), r.end(), [&](double v) { return v == r.front(); });
    if (n < 2 || all_equal) return text + lines({"No potential outliers found!"});
    std::vector<double> out(static_cast<std::size_t>(n) * 4);
    tt_outlier::t2_outlier(r, n, 1, out);

    std::string list = "Potential Outliers:" + std::string(br) + "Index     X-value           Y-value            p-value" +
                       std::string(br);
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const double p = out[2 * static_cast<std::size_t>(n) + static_cast<std::size_t>(i)];
        if (!(p <= 0.05)) continue;
        if (++count > 25) {
            list += "The number of outliers exceeded the limit of 25!";
            break;
        }
        const auto row = static_cast<std::size_t>(i);
        list += integer(i + 1, "I3") + std::string(10, ' ') + real(xd[row], "1PE11.4") + std::string(5, ' ') +
                real(yd[row], "1PE11.4") + std::string(5, ' ') + real(p, "F8.5") + std::string(br);
    }
    return text + (count == 0 ? lines({"No potential outliers found!"}) : list);
}

}  // namespace residual_reports
