#include "run/gnsearch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "foundations/matrix.h"
#include "foundations/matrixinverse.h"
#include "foundations/nrutil.h"
#include "model/globals.h"
#include "run/sharc_objective.h"

namespace sharc {

namespace {

constexpr double step_floor = 1.220703125e-05;
constexpr double step_factor = 0.00010009765625;
constexpr double ridge = 1.000001;

// The guarded model values of every row at p.
std::vector<double> model_values(DriverState& s, std::span<const double> p, int n) {
    double f = 0.0;
    f1dim(s, p, n, f);
    std::vector<double> y(s.ycalc.begin(), s.ycalc.begin() + s.nrow);
    nrutil::rvec_nan(y, vmax);
    return y;
}

}  // namespace

double calcch2(DriverState& s, std::span<const double> p, int n) {
    if (s.nrow < 1) return minmax(0.0);
    double f = 0.0;
    f1dim(s, p, n, f);
    return minmax(f);
}

void gnllsqr(DriverState& s, int n, std::span<double> p, double& f) {
    const std::size_t rows = static_cast<std::size_t>(std::max(s.nrow, 0));
    std::vector<std::size_t> free;
    for (std::size_t j = 0; j < static_cast<std::size_t>(std::max(n, 0)); ++j)
        if (common_data::pmask[j] != 0) free.push_back(j);
    if (rows == 0 || free.empty()) return;
    const std::size_t na = free.size();

    std::vector<double> base(p.begin(), p.begin() + n);
    const std::vector<double> y0 = model_values(s, base, n);
    std::vector<double> yobs(s.y.begin(), s.y.begin() + static_cast<std::ptrdiff_t>(rows));
    nrutil::rvec_nan(yobs, vmax);

    // Jacobian of the model values: the mean of the central differences with
    // steps h and 2h, one evaluation of all rows per shifted vector.
    kalvor::Matrix jac(rows, na);
    for (std::size_t c = 0; c < na; ++c) {
        const std::size_t j = free[c];
        const double h = std::max((std::fabs(base[j]) + step_floor) * step_factor, step_floor);
        const double saved = base[j];
        const std::array<double, 4> shifts = {2.0 * h, h, -2.0 * h, -h};
        std::array<std::vector<double>, 4> shifted;
        for (std::size_t k = 0; k < shifts.size(); ++k) {
            base[j] = saved + shifts[k];
            shifted[k] = model_values(s, base, n);
        }
        base[j] = saved;
        for (std::size_t i = 0; i < rows; ++i)
            jac(i, c) = minmax(((shifted[0][i] - shifted[2][i]) / (2.0 * h) + (shifted[1][i] - shifted[3][i]) / h) / 4.0);
    }

    // Weighted normal equations A d = g with weights 1 / sigma^2 (a zero or
    // invalid sigma counts as 1).
    kalvor::Matrix a(na, na);
    std::vector<double> g(na, 0.0);
    for (std::size_t i = 0; i < rows; ++i) {
        const double sigma = s.sig[i];
        const double w = std::isfinite(sigma) && sigma != 0.0 ? 1.0 / (sigma * sigma) : 1.0;
        const double r = yobs[i] - y0[i];
        for (std::size_t c = 0; c < na; ++c) {
            g[c] += jac(i, c) * r * w;
            for (std::size_t k = 0; k < na; ++k) a(c, k) += jac(i, c) * jac(i, k) * w;
        }
    }
    for (std::size_t c = 0; c < na; ++c) a(c, c) *= ridge;
    int info = 0;
    matrixinverse::lumatinv(static_cast<int>(na), a, info);
    if (info != 0) return;

    std::vector<double> trial = base;
    for (std::size_t c = 0; c < na; ++c) {
        double d = 0.0;
        for (std::size_t k = 0; k < na; ++k) d += a(c, k) * g[k];
        if (!std::isfinite(d)) return;
        const std::size_t j = free[c];
        trial[j] = std::max(s.alobnd[j], std::min(s.ahibnd[j], base[j] + d));
    }
    const double value = calcch2(s, trial, n);
    if (!(value < f)) return;
    std::copy(trial.begin(), trial.end(), p.begin());
    f = std::max(value, 1e-20);
}

}  // namespace sharc
