// Step routines of the Gauss-Newton iteration: the shifted Cholesky solve,
// the Cauchy step length and the nearby search.

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "model/globals.h"
#include "optimizers/cholesky.h"
#include "optimizers/gn_main.h"
#include "optimizers/gn_mod.h"

namespace gn_main {

namespace {

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

// h + mu I over the first n rows and columns (lower triangle of h read).
kalvor::Matrix shifted(std::size_t n, const kalvor::Matrix& h, double mu) {
    kalvor::Matrix a(n, n);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = j; i < n; ++i) a(i, j) = h(i, j);
    for (std::size_t j = 0; j < n; ++j) a(j, j) += mu;
    return a;
}

}  // namespace

void gn_chol(int nact, double& mu, const kalvor::Matrix& h, std::span<const double> g, kalvor::Matrix& l,
             std::span<double> s) {
    if (nact < 1) return;
    const std::size_t n = count_of(nact);
    bool factored = false;
    for (int attempt = 0; attempt < nact && !factored; ++attempt) {
        factored = cholesky::factor(shifted(n, h, mu), l, 0.0);
        if (!factored) mu += gn_mod::hnorm;
    }
    // A radicand that is not positive becomes mu (at least the smallest
    // normal number).
    if (!factored) {
        mu = kalvor::norm1(h, n);
        cholesky::factor(shifted(n, h, mu), l, 0.0, std::max(mu, std::numeric_limits<double>::min()));
    }
    for (std::size_t k = 0; k < n; ++k) s[k] = -g[k];
    cholesky::solve(l, s);
}

void gn_cauchy(int nact, const kalvor::Matrix& l, std::span<const double> g, double gnorm, double& length) {
    if (gnorm == 0.0) return;
    const std::size_t n = count_of(nact);
    double t = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        double v = 0.0;
        for (std::size_t i = k; i < n; ++i) v += l(i, k) * g[i];
        v /= gnorm;
        t += v * v;
    }
    length = std::max(std::min(nact * gn_mod::zcpmax, gn_mod::zcp * gnorm / t), gn_mod::zcpmin);
}

void nearbysearch(const Residuals& residuals, int m, int nact, int n, std::span<double> xt,
                  std::span<const double> tmpl, std::span<const double> w, double f, double& fmin) {
    fmin = f;
    if (nact < 1) return;
    constexpr double probe = 0.000122;
    constexpr int passes = 10;
    constexpr int enough = 5;
    std::vector<double> full(count_of(n)), r(count_of(m));
    const auto sum_at = [&](std::span<const double> trial) {
        xmaskedarray(n, nact, common_data::pmask, trial, tmpl, full);
        double weighted = 0.0;
        residuals(m, n, full, r, weighted);
        double sum = 0.0;
        for (double v : r) sum += v * v;
        return sum;
    };
    // Keeps trial value t of entry j when it lowers the lowest sum.
    int improvements = 0;
    const auto kept = [&](std::size_t j, double t) {
        xt[j] = t;
        const double sum = sum_at(xt);
        if (!(fmin > sum)) return false;
        fmin = sum;
        ++improvements;
        return true;
    };
    for (int pass = 0; pass < passes && improvements <= enough; ++pass) {
        for (std::size_t j = 0; j < count_of(nact); ++j) {
            const double c = xt[j];
            const double d = probe * std::fabs(w[j] + c);
            double up = c + 2.0 * d, down = c - 2.0 * d;
            if (std::isnan(up)) up = 1.1 * c;
            if (std::isnan(down)) down = 0.9 * c;
            if (!kept(j, up) && !kept(j, down)) xt[j] = c;
        }
    }
}

}  // namespace gn_main
