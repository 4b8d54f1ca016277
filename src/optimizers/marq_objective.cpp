// The objective of the Levenberg-Marquardt optimiser and its weighting kinds.

#include <algorithm>
#include <array>
#include <cmath>

#include "foundations/nrutil.h"
#include "foundations/runtime.h"
#include "model/bounds.h"
#include "model/formula_check.h"
#include "model/globals.h"
#include "optimizers/marq.h"

namespace marq {

namespace {

constexpr double fit_floor = 2.2204460492503132e-20;  // fitted value of a NaN model value
constexpr double ssq_ceiling = 4.503599727262001e19;
constexpr double ssq_floor = 1e-30;
constexpr double relfit_floor = 2e-30;

// Andrews' sine function: tuning a, cut-off c (single-precision constants),
// their product, and the weight the denominator takes for a row beyond c.
constexpr double tuning = 1.4830000400543213;
constexpr double cutoff = 4.658999919891357;
constexpr double scale_factor = 6.909297067811963;
constexpr double cutoff_psi = -3.83961872495876e-6;
constexpr double far_weight = 1e-8;

// |v| clamped to [0.001, 1000] with the sign of v; NaN takes magnitude 0.001.
double clamp_weight(double v) {
    const double a = std::isnan(v) ? 0.001 : std::clamp(std::fabs(v), 0.001, 1000.0);
    return v < 0.0 ? -a : a;
}

// Weight of kinds 1 and 2: values within 1e-6 of zero count as 1.
double given_weight(double v) { return clamp_weight(std::fabs(v) <= 1e-6 ? 1.0 : v); }

// Weights of the robust kind: an M-estimate of the centre of the absolute
// residuals, each row weighted by its Andrews weight rw as sqrt(0.5 / rw).
void robust_weights(std::span<const double> r, std::span<double> w) {
    const auto n = r.size();
    std::vector<double> a(n), rw(n, 1.0);
    for (std::size_t i = 0; i < n; ++i) a[i] = std::fabs(r[i]);
    const double med = binmedian(a, static_cast<int>(n));
    double s = 0.0;
    for (const double v : a) s += std::fabs(v - med);
    s /= static_cast<double>(n);
    s = std::isnan(s) ? 1.0 : std::clamp(s, 1e-15, 1e15);
    if (s > 1e-8) {
        double centre = med;
        for (int pass = 0; pass <= 10; ++pass) {
            const double step = andrews_pass(a, centre, s, rw);
            if (!std::isfinite(step)) break;
            centre += step;
            if (std::fabs(step) <= 1e-8) break;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double v = std::isnan(rw[i]) ? 1.0 : rw[i];
        w[i] = clamp_weight(std::sqrt(0.5 / v));
    }
}

// Kind 4: the root of each residual scaled by the residuals' deviation.
void residual_weights(std::span<const double> r, std::span<double> w) {
    double s = 0.0;
    nrutil::rvec_stdev1(static_cast<int>(r.size()), r, s);
    if (std::fabs(s) < 1e-6 || std::fabs(s) > 1e6) s = 1.0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        double v = std::sqrt(std::fabs(r[i]) / s);
        if (v < 1e-6 || v > 1e6) v = 1.0;
        w[i] = clamp_weight(v);
    }
}

}  // namespace

double binmedian(std::span<const double> x, int n) { return robustwt::binmedian(x, n); }

double andrews_pass(std::span<const double> a, double centre, double s, std::span<double> rw) {
    double numerator = 0.0, denominator = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = a[i] - centre;
        const double u = d / (scale_factor * s);
        // sin(u/a) a/u tends to 1 at the centre.
        const double psi = u == 0.0 ? 1.0 : std::sin(u / tuning) * tuning / u;
        if (std::fabs(u) < 1e-8) {
            rw[i] = 1.0;
            numerator += d;
            denominator += psi;
        } else if (std::fabs(u) <= cutoff && psi > 0.0) {
            rw[i] = psi;
            numerator += d * psi;
            denominator += psi;
        } else {
            // Beyond the cut-off, and the thin band below it where the sine
            // has already turned negative.
            rw[i] = far_weight;
            numerator += far_weight * d;
            denominator += cutoff_psi;
        }
    }
    return numerator / denominator;
}

void funy(const Data& d, std::span<const double> p, int np, Eval& e) {
    const auto rows = static_cast<std::size_t>(std::max(d.nd, 0));
    e.yfit.assign(rows, 0.0);
    e.w.assign(rows, 1.0);
    const std::vector<double> params(p.begin(), p.begin() + np);
    std::vector<double> r(rows);
    std::array<double, common_data::max_x> xrow{};
    for (std::size_t i = 0; i < rows; ++i) {
        for (int j = 0; j < d.nxd; ++j) xrow[static_cast<std::size_t>(j)] = d.x(i, static_cast<std::size_t>(j));
        const double y = d.ycol > 0 ? d.ymat(i, static_cast<std::size_t>(d.ycol - 1)) : 0.0;
        double f = 0.0;
        my_func::eval_func(params, np, xrow, d.nxd, common_udf::cudf, f);
        if (std::isnan(f))
            f = fit_floor;
        else if (f - 1.0 == f)
            f = 0.0;
        e.yfit[i] = f;
        if (i < common_data::ydf.size()) common_data::ydf[i] = f;
        r[i] = y - f;
    }
    if (rows == 0) {
        e.ssq = ssq_floor;
        e.relfit = relfit_floor;
        return;
    }

    // A perfect fit is jittered by up to 1% so that its steps stay defined.
    double mean_abs = 0.0;
    for (const double v : r) mean_abs += std::fabs(v);
    if (mean_abs / static_cast<double>(rows) < fit_floor)
        for (double& v : r) v *= (static_cast<float>(runtime::simple_uniform()) - 0.5) * 0.02 + 1.0;

    double rel = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        const double y = d.ycol > 0 ? d.ymat(i, static_cast<std::size_t>(d.ycol - 1)) : 0.0;
        rel += (r[i] / y) * (r[i] / y);
    }
    const double q = std::sqrt(rel / static_cast<double>(rows));
    if (q - 1.0 == q)
        e.relfit = 0.5;
    else if (std::isnan(q))
        e.relfit = relfit_floor;
    else
        e.relfit = std::max(1.0 - 1.0 / (q + 1.0), relfit_floor);

    if (globals::nmdl <= 0) {
        switch (d.kind) {
        case kind_sigma:
            for (std::size_t i = 0; i < rows; ++i) e.w[i] = given_weight(d.sigma[i]);
            break;
        case kind_fitted:
            for (std::size_t i = 0; i < rows; ++i) e.w[i] = given_weight(e.yfit[i]);
            break;
        case kind_robust:
            robust_weights(r, e.w);
            break;
        case kind_residual:
            residual_weights(r, e.w);
            break;
        default:
            break;
        }
    }
    for (double& w : e.w) {
        if (w == 0.0) w = 1.0;
        if (std::fabs(w) < 1e-15) w = 1e-8;
    }

    const bool weighted = d.kind == kind_sigma || d.kind == kind_fitted || d.kind == kind_robust;
    double ssq = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        const double v = weighted ? r[i] / e.w[i] : r[i];
        ssq += v * v;
    }
    ssq = std::clamp(ssq, ssq_floor, 1e30);
    if (std::isnan(ssq) || ssq - 1.0 == ssq) ssq = ssq_ceiling;
    e.ssq = ssq;
}

}  // namespace marq
