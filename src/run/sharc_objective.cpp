#include "run/sharc_objective.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "foundations/nrutil.h"
#include "foundations/runtime.h"
#include "model/bounds.h"
#include "model/funct.h"
#include "model/globals.h"

namespace sharc_mod {

namespace {

constexpr double vanishing_residual = 2.2204460492503132e-20;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

// to[0..rows-1] = from[0..rows-1]; nothing to do when they are one array.
void copy_rows(const double* from, double* to, std::size_t rows) {
    if (from != to && rows > 0) std::memmove(to, from, rows * sizeof(double));
}

// The objective clamped to +-vmax, NaN and huge values replaced by vmax.
double guarded(double f) {
    f = std::clamp(f, -sharc::vmax, sharc::vmax);
    nrutil::rval_nan(f, sharc::vmax);
    return f;
}

// No model: the least observed value stands for the first row, 0 for the rest.
void no_model(std::span<const double> y, std::span<double> ycalc, int nrow, double& f) {
    const std::size_t rows = count_of(nrow);
    if (rows == 0) {
        f = 0.0;
        return;
    }
    double least = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t i = 0; i < rows; ++i)
        if (!std::isnan(y[i]) && (std::isnan(least) || y[i] < least)) least = y[i];
    ycalc[0] = least;
    std::vector<double> r(rows);
    double mean_abs = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        ycalc[i] = std::clamp(ycalc[i], -sharc::vmax, sharc::vmax);
        r[i] = y[i] - ycalc[i];
        mean_abs += std::fabs(r[i]);
    }
    // A perfect match is shaken by a common factor within 1%, so that the
    // searches never see a flat objective.
    if (mean_abs / static_cast<double>(rows) < vanishing_residual) {
        const float u = static_cast<float>(runtime::simple_uniform());
        for (double& v : r) v *= 1.0 + 0.02 * (u - 0.5);
    }
    double sum = 0.0;
    for (double v : r) sum += v * v;
    f = guarded(sum);
}

}  // namespace

void funcs(const kalvor::Matrix& x, std::span<const double> y, std::span<double> ycalc,
           std::span<const double> sig, int ncol, int nrow, int mode, std::span<double> p, int np,
           double& f) {
    using namespace common_data;
    const auto pw = p.first(count_of(np));
    if (globals::nmdl >= no_model_selector) {
        std::fill(ycalc.begin(), ycalc.begin() + static_cast<std::ptrdiff_t>(count_of(nrow)), 0.0);
        no_model(y, ycalc, nrow, f);
        return;
    }

    funct::fun(x, y, pw, np, ncol, nrow, mode, ycalc, sig, f);  // writes every row of ycalc
    fssqr = f;

    // funct::fun leaves the row count in common_data::nd.
    const std::size_t rows = nrow > 0 ? count_of(std::min(nd, nrow)) : 0;
    const std::size_t columns = std::min(count_of(ncol), std::min(x.cols(), count_of(max_x)));
    for (std::size_t j = 0; j < columns; ++j) copy_rows(x.column(j), xnx.column(j), rows);
    copy_rows(x.column(0), xd.data(), rows);
    copy_rows(y.data(), yd.data(), rows);
    copy_rows(ycalc.data(), ydf.data(), rows);
    copy_rows(sig.data(), ysig.data(), rows);
    std::copy_n(pw.begin(), std::min(pw.size(), pfinal.size()), pfinal.begin());
    f = guarded(f);
}

}  // namespace sharc_mod

namespace sharc {

void func(DriverState& s, std::span<double> p, int np, double& f) {
    const std::size_t n = static_cast<std::size_t>(std::max(np, 0));
    // Work arrays of the state: no allocation once they have their size.
    std::vector<double>& yw = s.y_guarded;
    yw.assign(s.y.begin(), s.y.end());
    nrutil::rvec_nan(yw, vmax);
    std::vector<double>& pw = s.p_mapped;
    pw.assign(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n));
    f = 0.0;
    int status = 0;
    check_parameter_bounds::tanh_bounds5(pw, np, s.alobnd, s.ahibnd, common_data::pmask, f, status);
    sharc_mod::funcs(s.x, yw, s.ycalc, s.sig, s.ncol, s.nrow, s.mode, pw, np, f);
    nrutil::rvec_nan(std::span<double>(s.ycalc).first(static_cast<std::size_t>(std::max(s.nrow, 0))), vmax);
    nrutil::rval_nan(f, vmax);
    std::copy(pw.begin(), pw.end(), p.begin());
}

void f1dim(DriverState& s, std::span<const double> p, int np, double& f) {
    s.p_trial.assign(p.begin(), p.begin() + std::max(np, 0));
    func(s, s.p_trial, np, f);
}

void f1dim2(DriverState& s, int i, std::span<const double> p, double& yi, double& f, int np) {
    f1dim(s, p, np, f);
    yi = s.ycalc[static_cast<std::size_t>(i)];
}

kalvor::Objective f1dim_objective(DriverState& s) {
    return [&s](std::span<const double> p, int n, double& f) { f1dim(s, p, n, f); };
}

double minmax(double x) {
    if (std::isnan(x)) return 1e-15;
    if (std::fabs(x) < 1e-30) return std::copysign(1e-30, x);
    if (std::fabs(x) > 1e30) x = std::copysign(1e30, x);
    if (x - 1.0 == x) return 1e15;
    return x;
}

}  // namespace sharc
