// Objective, bound constraints and finite differences of the
// sequential-quadratic optimiser.

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/vmsqp.h"

namespace {

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

// A difference of magnitude at most 2e-12 becomes 1.02e-10 with its sign.
double floored_difference(double diff) { return std::fabs(diff) <= 2e-12 ? std::copysign(1.02e-10, diff) : diff; }

// The shared X columns as an nd-row matrix: X1 for nx = 1, X1 and X2 for
// nx = 2, all three otherwise.
void shared_columns(kalvor::Matrix& x, int nd, int nx) {
    const std::array<const common_data::RowArray*, common_data::max_x> columns = {
        &common_data::xd, &common_data::xd2, &common_data::xd3};
    const std::size_t cols = nx == 1 ? 1 : nx == 2 ? 2 : 3;
    const std::size_t rows = std::min(count_of(nd), static_cast<std::size_t>(common_data::max_rows));
    x.resize(rows, cols);
    for (std::size_t j = 0; j < cols; ++j) std::copy_n(columns[j]->begin(), rows, x.column(j));
}

}  // namespace

namespace initialize_vmsqp {

void model_function(int nd, int np, int nx, int& wmode, std::span<const double> b, std::span<double> w,
                    std::span<const double>, std::span<const double> y, std::span<double> yfit,
                    std::span<double> res, double& f) {
    thread_local kalvor::Matrix x;
    thread_local std::vector<double> ones;
    shared_columns(x, nd, nx);
    const std::size_t rows = count_of(nd);
    ones.assign(std::max<std::size_t>(rows, 1), 1.0);
    double weighted = 0.0;
    funct::fun(x, y, b, np, static_cast<int>(x.cols()), nd, wmode, yfit, ones, weighted);
    wmode = common_data::ndwt;
    f = 0.0;
    for (std::size_t k = 0; k < rows; ++k) {
        w[k] = 1.0;
        res[k] = y[k] - yfit[k];
        f += res[k] * res[k];
    }
}

void evaluate_constraints(std::span<const double> x, int n, std::span<double> c, int m, std::span<const double> lo,
                          std::span<const double> hi) {
    std::fill_n(c.begin(), count_of(m), 0.0);
    for (std::size_t i = 0; i < count_of(n); ++i) {
        c[i] = lo[i] - x[i];
        c[count_of(n) + i] = x[i] - hi[i];
    }
}

void compute_constraint_gradients(kalvor::Matrix& a, int m, int n, std::span<const int> mask) {
    a.resize(count_of(m), count_of(n));
    for (std::size_t j = 0; j < count_of(n); ++j) {
        if (mask[j] == 0) continue;
        a(j, j) = -1.0;
        a(count_of(n) + j, j) = 1.0;
    }
}

}  // namespace initialize_vmsqp

namespace vmsqp_mod {

double difference_step(double b) { return std::max((std::fabs(b) + 1.0000002e-5) * 1.0000002e-5, 1.0000002e-5); }

int central_differences(std::span<double> b, std::span<const double> y, int nd, int np, int nx, int wmode,
                        std::span<const int> mask, std::span<double> g, kalvor::Matrix* jac) {
    const std::size_t rows = count_of(nd);
    std::vector<double> w(std::max<std::size_t>(rows, 1)), res(w.size()), fit_plus(w.size()), fit_minus(w.size());
    if (jac != nullptr) jac->resize(rows, count_of(np));
    int evaluations = 0;
    for (std::size_t j = 0; j < count_of(np); ++j) {
        g[j] = 0.0;
        if (mask[j] == 0) continue;
        const double h = difference_step(b[j]);
        const double saved = b[j];
        double f_plus = 0.0, f_minus = 0.0;
        b[j] = saved + h;
        initialize_vmsqp::model_function(nd, np, nx, wmode, b, w, {}, y, fit_plus, res, f_plus);
        b[j] = saved - h;
        initialize_vmsqp::model_function(nd, np, nx, wmode, b, w, {}, y, fit_minus, res, f_minus);
        b[j] = saved;
        evaluations += 2;
        g[j] = floored_difference(f_plus - f_minus) / (2.0 * h);
        if (jac != nullptr)
            for (std::size_t k = 0; k < rows; ++k)
                (*jac)(k, j) = -floored_difference(fit_plus[k] - fit_minus[k]) / (2.0 * h);
    }
    return evaluations;
}

void compute_gradient_numerical(std::span<double> b, std::span<const double>, std::span<const double> y,
                                std::span<double> w, std::span<double> g, int nd, int np, int nx, int wmode,
                                int& nfev, std::span<const int> mask) {
    nfev += central_differences(b, y, nd, np, nx, wmode, mask, g, nullptr);
    std::fill_n(w.begin(), count_of(nd), 1.0);
}

}  // namespace vmsqp_mod
