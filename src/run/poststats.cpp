#include "run/poststats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "foundations/balance.h"
#include "foundations/eigen.h"
#include "foundations/error_handler.h"
#include "foundations/matrixinverse.h"
#include "foundations/nrutil.h"
#include "foundations/runtime.h"
#include "model/funct.h"
#include "run/outlines.h"
#include "run/sharc_state.h"

namespace sharc_mod {

namespace {

// Variance coefficients of the count of runs of length k: a(k) n + b(k).
constexpr std::array<float, 15> variance_a = {
    0.4236111f,      0.112667546f,    0.04191689f,     0.010769125f,   0.0020039591f,
    0.00030232358f,  3.9115555e-05f,  4.459039e-06f,   4.5511052e-07f, 4.2074667e-08f,
    3.5559309e-09f,  2.7682734e-10f,  1.9978215e-11f,  1.3438766e-12f, 8.4656105e-14f};
constexpr std::array<float, 15> variance_b = {
    -0.48194444f,    -0.16282849f,    -0.09690697f,    -0.037781067f,  -0.009289228f,
    -0.0017244292f,  -0.0002638558f,  -3.466965e-05f,  -4.004129e-06f, -4.1303826e-07f,
    -3.851876e-08f,  -3.2791039e-09f, -2.5684913e-10f, -1.8634339e-11f, -1.2592205e-12f};

constexpr int longest_counted = 15;

// Two-sided probability P(|T| <= t) of the t distribution with nu degrees of
// freedom (integer nu), by its finite series.
double central_probability(double t, int nu) {
    constexpr double two_over_pi = 0.6366197466850281;
    const double c = nu / (t * t + nu);
    double sum = 1.0;
    double term = 1.0;
    if (nu % 2 == 0) {
        for (int k = 2; k <= nu - 2; k += 2) {
            term *= static_cast<double>(k - 1) / k;
            sum += term * std::pow(c, k / 2);
        }
        return t / std::sqrt(t * t + nu) * sum;
    }
    for (int k = 3; k <= nu - 2; k += 2) {
        term *= static_cast<double>(k - 1) / k;
        sum += term * std::pow(c, (k - 1) / 2);
    }
    const double root = std::sqrt(static_cast<double>(nu));
    return two_over_pi * (std::atan(t / root) + root * t / (t * t + nu) * sum);
}

double factorial(int k) {
    double f = 1.0;
    for (int i = 2; i <= k; ++i) f *= i;
    return f;
}

}  // namespace

void runs_statistic(std::span<const double> r, int n, RunsTest& out) {
    out = RunsTest{};
    std::array<int, longest_counted> up{}, down{};
    int long_up = 0, long_down = 0;
    const auto count = [&](bool rising, int length) {
        if (length < 1) return;
        if (length <= longest_counted)
            ++(rising ? up : down)[static_cast<std::size_t>(length - 1)];
        else
            ++(rising ? long_up : long_down);
    };

    int u = 0, d = 0;
    for (int k = 0; k + 1 < n; ++k) {
        double diff = r[static_cast<std::size_t>(k + 1)] - r[static_cast<std::size_t>(k)];
        if (std::isnan(diff)) diff = 2.2204460492503132e-20;  // counts as a rise
        if (diff > 0.0) {
            ++out.npos;
            count(false, d);
            ++u;
            d = 0;
        } else if (diff < 0.0) {
            ++out.nneg;
            count(true, u);
            ++d;
            u = 0;
        } else {
            ++out.nzero;
            if (d >= 1)
                ++d;
            else
                ++u;
        }
        out.lup = std::max(out.lup, u);
        out.ldown = std::max(out.ldown, d);
    }
    count(true, u);
    count(false, d);

    for (int k = 0; k < longest_counted; ++k)
        out.table[static_cast<std::size_t>(k)] = up[static_cast<std::size_t>(k)] + down[static_cast<std::size_t>(k)];
    out.table[15] = long_up + long_down;

    for (int k = 1; k <= longest_counted; ++k) {
        const std::size_t i = static_cast<std::size_t>(k - 1);
        const double expected =
            2.0 * ((k * k + 3.0 * k + 1.0) * n - (k * k * k + 3.0 * k * k - k - 4.0)) / factorial(k + 3);
        const double variance = static_cast<double>(variance_a[i]) * n + static_cast<double>(variance_b[i]);
        double z = 0.0;
        if (variance > 0.0) {
            z = (out.table[i] - expected) / std::sqrt(variance);
            if (z > 0.0)
                z -= 0.5;
            else if (z < 0.0)
                z += 0.5;
        }
        out.z[i] = z;
    }
    // Nothing but runs of length 1: the sequence alternates.
    if (n >= 2 && out.table[0] >= n - 1) out.z[0] = std::copysign(2.57, out.z[0]);
    out.table[14] += out.table[15];
}

double tval95(int ndf) {
    const double step = 0.01f;
    const double half_step = 0.005f;
    const double p = 1.0 - 2.0 * static_cast<double>(0.025f);
    std::vector<double> t(static_cast<std::size_t>(std::max(ndf, 2)) + 1, 0.0);
    t[1] = std::tan(p * std::numbers::pi / 2.0) + half_step;
    t[2] = std::sqrt(2.0 * p * p / (1.0 - p * p)) + half_step;
    for (int nu = 3; nu <= ndf; ++nu) {
        const double s = nu == 3 ? (100.0 * t[2] + static_cast<double>(0.001f)) / 100.0 + static_cast<double>(0.02f)
                                 : t[static_cast<std::size_t>(nu - 1)] + half_step;
        double t1 = s;
        double a1 = 0.0;
        for (int k = 1;; ++k) {
            t1 = s - k * step;
            a1 = central_probability(t1, nu);
            if (a1 <= p) break;
        }
        const double t0 = t1 + step;
        const double a0 = central_probability(t0, nu);
        t[static_cast<std::size_t>(nu)] = ((a0 + a1) / 2.0 >= p ? t1 : t0) + half_step;
    }
    const double value = t[static_cast<std::size_t>(std::max(ndf, 1))];
    return static_cast<float>(std::trunc(1000.0 * value + 0.5) / 1000.0);
}

}  // namespace sharc_mod

namespace sharc {

namespace {

constexpr double tiny = 2.2204460492503132e-20;

// Reciprocal condition number (1-norm) below which the information matrix,
// scaled to unit diagonal, counts as singular.
constexpr double singular_rcond = 1e-13;

bool all_finite(const kalvor::Matrix& a, std::size_t n) {
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < n; ++i)
            if (!std::isfinite(a(i, j))) return false;
    return true;
}

// Inverse of the leading n x n block of c in place: LU first, the
// regularised Jacobi inverse when that fails.  False when both fail.
bool invert(kalvor::Matrix& c, std::size_t n) {
    const kalvor::Matrix original = c;
    int info = 0;
    matrixinverse::lumatinv(static_cast<int>(n), c, info);
    if (info == 0 && all_finite(c, n)) return true;
    c = original;
    const std::vector<double> scale(n, 1.0);
    int ifault = 0;
    matrixinverse::kaiser(c, static_cast<int>(n), scale, 1e-6, ifault);
    return ifault != 1 && all_finite(c, n);
}

// Correlations of the estimates from a covariance c, with their eigen
// analysis.  Without a covariance they are those of unrelated estimates.
struct Correlations {
    explicit Correlations(std::size_t na)
        : d(na, 1.0), corr(kalvor::Matrix::identity(na)), eigenvalues(na, 0.0), influence(na, na) {}
    std::vector<double> d;  // sqrt of the variances (1 where one is 0)
    kalvor::Matrix corr;
    std::vector<double> eigenvalues;  // of corr, descending
    kalvor::Matrix influence;
};

void correlate(kalvor::Matrix& c, std::size_t na, Correlations& out) {
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t i = 0; i < na; ++i)
            if (std::fabs(c(i, j)) < tiny) c(i, j) = tiny;
    for (std::size_t k = 0; k < na; ++k) {
        out.d[k] = std::sqrt(c(k, k));
        if (out.d[k] == 0.0) out.d[k] = 1.0;
    }
    kalvor::Matrix& corr = out.corr;
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t i = 0; i < na; ++i) corr(i, j) = c(i, j) / (out.d[i] * out.d[j]);
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t i = 0; i < j; ++i) corr(i, j) = corr(j, i) = (corr(i, j) + corr(j, i)) / 2.0;
    for (std::size_t k = 0; k < na; ++k) corr(k, k) = 1.0;
    if (na == 0) return;
    std::vector<double> pct(na, 0.0);
    kalvor::Matrix evec, evec2;
    eigenvlvc::eigenvv(static_cast<int>(na), static_cast<int>(na), corr, out.eigenvalues, pct, evec, evec2,
                       out.influence);
}

// The inverse of the information matrix c (na x na, in place): c scaled to
// unit diagonal, inverted without a ridge and scaled back.  False when a
// parameter carries no information or the scaled matrix is singular to
// working precision (c is then left in any state).
bool unridged_inverse(kalvor::Matrix& c, std::size_t na) {
    std::vector<double> scale(na);
    for (std::size_t k = 0; k < na; ++k) {
        if (!(c(k, k) > 0.0) || !std::isfinite(c(k, k))) return false;
        scale[k] = 1.0 / std::sqrt(c(k, k));
    }
    kalvor::Matrix s(na, na);
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t i = 0; i < na; ++i) s(i, j) = i == j ? 1.0 : c(i, j) * scale[i] * scale[j];
    const double size = kalvor::norm1(s, na);
    int info = 0;
    matrixinverse::lumatinv(static_cast<int>(na), s, info);
    if (info != 0 || !all_finite(s, na)) return false;
    const double rcond = na == 0 ? 1.0 : 1.0 / (size * kalvor::norm1(s, na));
    if (!(rcond > singular_rcond)) return false;
    for (std::size_t k = 0; k < na; ++k)
        if (!(s(k, k) > 0.0)) return false;
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t i = 0; i < na; ++i) c(i, j) = s(i, j) * scale[i] * scale[j];
    return true;
}

// The covariance of a ridged information matrix a, in two passes: the
// second takes its ridge from the largest eigenvalue of the first pass's
// correlations.  It hides redundancy in the standard errors but still shows
// it in the correlations and their eigenvalues.
void ridged_covariance(const kalvor::Matrix& a, std::size_t na, kalvor::Matrix& c, Correlations& out) {
    double lmax = 0.0;
    for (int pass = 1; pass <= 2; ++pass) {
        const double ridge = pass == 1 ? 1e-6 : std::max(1e-6 * lmax, 1e-6);
        c = a;
        for (std::size_t k = 0; k < na; ++k) c(k, k) = c(k, k) * (1.0 + ridge) + ridge;
        if (!invert(c, na)) {
            std::fputs("\nMATRIX INVERSE 2 - Fatal error!\n", stdout);
            std::fflush(stdout);
            c.fill(0.0);
            out = Correlations(na);
            lmax = 0.0;
            continue;
        }
        correlate(c, na, out);
        lmax = na > 0 ? out.eigenvalues[0] : 0.0;
    }
}

// A derivative kept finite and away from 0.
double guarded_derivative(double v) {
    if (std::isnan(v)) return 1e-8;
    if (std::fabs(v) <= 4.4408920985006264e-20) return std::copysign(1e-8, v);
    return std::clamp(v, -vmax, vmax);
}

// Normalised Studentized residuals t (nd) from the residuals r, the leverages
// h and the scale s.  The nudges of 1e-6 keep a vanishing value away from 0;
// they are left out for an exact fit.
void studentize(std::span<const double> r, std::span<const double> h, double s, bool nudge, std::vector<double>& t) {
    const std::size_t nd = r.size();
    if (nd == 1) {
        t[0] = 1e-6;
        return;
    }
    for (std::size_t i = 0; i < nd; ++i) {
        const double lever = std::fabs(1.0 - h[i]);
        const double denominator = lever <= 1e-8 ? 0.9999999949999999 * s : s * std::sqrt(lever);
        if (nudge)
            t[i] = (std::fabs(r[i]) > 1.1e-6 ? r[i] : r[i] + 1e-6) / denominator;
        else
            t[i] = std::fabs(r[i]) <= 1.1e-6 ? 1e-6 : r[i] / denominator;
    }
    const double spread = std::sqrt(1.0 - 1.0 / static_cast<double>(nd));
    for (std::size_t i = 0; i < nd; ++i) {
        double mean = 0.0;
        nrutil::rvec_mean(1, static_cast<int>(nd), t, mean);
        if (std::fabs(t[i]) > 1.1e-6) {
            t[i] = t[i] / spread - mean;
            if (nudge && std::fabs(t[i]) <= 1e-6) t[i] += 1e-6;
        }
        if (std::isnan(t[i])) t[i] = 1e-6;
        t[i] = std::clamp(t[i], -5.9, 5.9);
    }
}

}  // namespace

void jacobian_statistics(const kalvor::Matrix& jac, std::span<const double> r, int nd, int np,
                         std::span<const int> mask, double sse, FitStatistics& out) {
    const std::size_t rows = static_cast<std::size_t>(std::max(nd, 0));
    const std::size_t params = static_cast<std::size_t>(std::max(np, 0));
    std::vector<std::size_t> free;
    for (std::size_t k = 0; k < params; ++k)
        if (mask[k] != 0) free.push_back(k);
    const std::size_t na = free.size();

    out.se.assign(params, 0.0);
    out.work.resize(params, params);
    out.corr.resize(params, params);
    out.influence.resize(params, params);
    out.eigenvalues.assign(params, 0.0);
    out.studentized.assign(rows, 0.0);

    // Information matrix with unit weights.
    kalvor::Matrix a(na, na);
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t k = 0; k <= j; ++k) {
            double sum = 0.0;
            for (std::size_t i = 0; i < rows; ++i) sum += jac(i, j) * jac(i, k);
            a(j, k) = a(k, j) = sum;
        }

    // The balanced, slightly regularised inverse handed back as the working matrix.
    if (na > 0) {
        kalvor::Matrix b = a;
        balance_mod::balance(b, static_cast<int>(na));
        for (std::size_t k = 0; k < na; ++k) b(k, k) = b(k, k) * 1.000000001 + 1e-9;
        int info = 0;
        matrixinverse::lumatinv(static_cast<int>(na), b, info);
        if (info == 0 && all_finite(b, na))
            for (std::size_t j = 0; j < na; ++j)
                for (std::size_t i = 0; i < na; ++i) out.work(i, j) = b(i, j);
    }

    // The covariance itself, without any ridge; only when the parameters are
    // redundant does the ridged covariance show the report which ones.
    Correlations cr(na);
    kalvor::Matrix c = a;
    out.inverse_failed = !unridged_inverse(c, na);
    if (out.inverse_failed)
        ridged_covariance(a, na, c, cr);
    else
        correlate(c, na, cr);

    // Standard errors; an uncomputable one is marked, never guessed.
    const int dof = nd - static_cast<int>(na);
    for (std::size_t k = 0; k < na; ++k)
        out.se[free[k]] = out.inverse_failed || dof < 1 ? se_unknown : cr.d[k] * std::sqrt(sse / dof);
    if (out.inverse_failed)
        outlines::log_event("stderr_corr",
                            "Covariance matrix singular (parameters redundant): standard errors marked 9999.0",
                            error_handler::warning);
    for (std::size_t j = 0; j < na; ++j)
        for (std::size_t i = 0; i < na; ++i) {
            out.corr(i, j) = cr.corr(i, j);
            out.influence(i, j) = cr.influence(i, j);
        }
    std::copy(cr.eigenvalues.begin(), cr.eigenvalues.end(), out.eigenvalues.begin());

    // Residuals, shaken within 1% by a common factor when they all but vanish.
    std::vector<double> res(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(rows));
    double mean_abs = 0.0;
    for (double v : res) mean_abs += std::fabs(v);
    if (rows > 0 && mean_abs / static_cast<double>(rows) < tiny) {
        const float u = static_cast<float>(runtime::simple_uniform());
        for (double& v : res) v *= 1.0 + 0.02 * (u - 0.5);
    }
    sharc_mod::runs_statistic(res, nd, out.runs);
    if (rows == 0) return;

    // Leverages h(i) = J(i,.) C J(i,.)' and the Studentized residuals.
    const int df = nd - static_cast<int>(na) > 1 ? nd - static_cast<int>(na) - 1 : 1;
    const double s = std::sqrt(sse / df);
    std::vector<double> h(rows, 1e-8);
    for (std::size_t i = 0; i < rows; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < na; ++j)
            for (std::size_t k = 0; k < na; ++k) sum += jac(i, j) * c(j, k) * jac(i, k);
        h[i] = std::max(std::fabs(sum), 1e-8);
    }
    studentize(res, h, s, sse > 1e-8 && nd > 2, out.studentized);
}

void stderr_corr(const kalvor::Matrix& x, std::span<const double> y, std::span<double> ycalc,
                 std::span<const double> sig, int ncol, int nd, std::span<const double> p, int np,
                 std::span<const int> mask, double sse, FitStatistics& out) {
    const std::size_t rows = static_cast<std::size_t>(std::max(nd, 0));
    std::vector<double> pw(p.begin(), p.begin() + std::max(np, 0));
    std::vector<std::size_t> free;
    for (std::size_t k = 0; k < pw.size(); ++k)
        if (mask[k] != 0) free.push_back(k);

    // Central differences of the model values, one evaluation per shift.
    kalvor::Matrix jac(rows, free.size());
    std::vector<double> plus(rows), minus(rows);
    double f = 0.0;
    for (std::size_t c = 0; c < free.size(); ++c) {
        const std::size_t k = free[c];
        const double saved = pw[k];
        const double h = std::copysign(std::max(std::fabs(saved), 1e-8) * 1e-5, saved < 0.0 ? -1.0 : 1.0);
        pw[k] = saved - h;
        funct::fun(x, y, pw, np, ncol, nd, funct::mode_none, minus, sig, f);
        pw[k] = saved + h;
        funct::fun(x, y, pw, np, ncol, nd, funct::mode_none, plus, sig, f);
        pw[k] = saved;
        for (std::size_t i = 0; i < rows; ++i) jac(i, c) = guarded_derivative((plus[i] - minus[i]) / (2.0 * h));
    }
    funct::fun(x, y, pw, np, ncol, nd, funct::mode_none, ycalc, sig, f);

    std::vector<double> r(rows);
    for (std::size_t i = 0; i < rows; ++i) r[i] = y[i] - ycalc[i];
    jacobian_statistics(jac, r, nd, np, mask, sse, out);
}

}  // namespace sharc
