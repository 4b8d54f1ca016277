#include "optimizers/va10b_derivatives.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "optimizers/va10b.h"

namespace va10b_optimizer {
namespace {

double evaluate(std::span<const double> b) {
    double f = 0.0;
    va10b_mod::objective_function(static_cast<int>(b.size()), b, f);
    return f;
}

// f with parameter i moved to v.
double evaluate_at(std::span<double> b, std::size_t i, double v) {
    const double saved = b[i];
    b[i] = v;
    const double f = evaluate(b);
    b[i] = saved;
    return f;
}

// The lower and upper points of a difference of step h around b(i), each
// inside the box.
struct Span {
    double minus, plus;
};
Span clamped_span(std::span<const double> b, std::size_t i, double h, const Box& box) {
    return {std::max(b[i] - h, box.lo[i]), std::min(b[i] + h, box.hi[i])};
}

// Second derivative along parameter i from three distinct points of the box
// around b(i) (f0 the value at b): central where there is room, one-sided
// inwards at a bound; 0 when the box leaves no room for three points.
double second_difference(std::span<double> b, std::size_t i, double f0, const Box& box) {
    const double x = b[i];
    const double h = std::fabs(difference_step(x));
    const Span near = clamped_span(b, i, h, box);
    double xa = near.minus, xb = x, xc = near.plus;
    if (near.plus <= x) {  // on the upper bound: two points below
        xa = std::max(x - 2.0 * h, box.lo[i]);
        xb = near.minus;
        xc = x;
    } else if (near.minus >= x) {  // on the lower bound: two points above
        xa = x;
        xb = near.plus;
        xc = std::min(x + 2.0 * h, box.hi[i]);
    }
    if (!(xa < xb && xb < xc)) return 0.0;
    const auto value = [&](double v) { return v == x ? f0 : evaluate_at(b, i, v); };
    const double fa = value(xa), fc = value(xc), fb = value(xb);
    return 2.0 * ((fc - fb) / (xc - xb) - (fb - fa) / (xb - xa)) / (xc - xa);
}

// diff / dist, or tol with the sign opposite to an invalid quotient's
// (which also sets flag).
double checked_quotient(double diff, double dist, double tol, int& flag) {
    const double q = diff / dist;
    if (!std::isnan(q)) return q;
    flag = invalid_quotient;
    return -std::copysign(tol, q);
}

}  // namespace

double difference_step(double v) {
    double h = std::max(std::fabs(v), 1.0e-7) * 1.0e-5;
    if (h <= 1.0e-15) h = (std::fabs(v) + 1.0) * 1.0e-7;
    return std::copysign(h, v);
}

std::size_t packed_size(int n) { return n > 0 ? static_cast<std::size_t>(n * (n + 1) / 2) : 0; }

std::size_t diagonal_position(int n, int j) { return static_cast<std::size_t>(j * n - j * (j - 1) / 2); }

void compute_gradient_forward(std::span<double> b, double f, std::span<double> g, double tol,
                              std::span<const double> s_typ, int& ifn, int& flag, const Box& box) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        g[i] = 0.0;
        if (!box.active(i)) continue;
        // Forward where the box allows, else backward, else to the farther
        // bound of a narrow box: never outside it.
        const double h = difference_step(s_typ[i]);
        double to = b[i] + h;
        if (to > box.hi[i])
            to = b[i] - h >= box.lo[i] ? b[i] - h : (box.hi[i] - b[i] >= b[i] - box.lo[i] ? box.hi[i] : box.lo[i]);
        g[i] = checked_quotient(evaluate_at(b, i, to) - f, to - b[i], tol, flag);
    }
    ifn += box.active_count();
}

void compute_gradient_central(std::span<double> b, std::span<double> g, double tol, std::span<const double> s_typ,
                              int& flag, const Box& box) {
    for (std::size_t i = 0; i < b.size(); ++i) {
        g[i] = 0.0;
        if (!box.active(i)) continue;
        const Span around = clamped_span(b, i, std::fabs(difference_step(s_typ[i])), box);
        const double f_plus = evaluate_at(b, i, around.plus);
        const double f_minus = evaluate_at(b, i, around.minus);
        g[i] = checked_quotient(f_plus - f_minus, around.plus - around.minus, tol, flag);
    }
}

int update_hessian(std::span<double> h, std::span<const double> s, std::span<const double> g0,
                   std::span<const double> g1, double alpha, double gs, double& d_min, const Box& box) {
    const std::size_t n = s.size();
    const int order = static_cast<int>(n);
    double dg = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        if (box.active(i)) dg += s[i] * (g1[i] - g0[i]);
    if (dg <= 0.0) return update_skipped;

    std::vector<double> v(n, 0.0);
    double sigma;
    if (dg + alpha * gs > 0.0) {
        const double c = alpha / (dg - alpha * gs);
        for (std::size_t i = 0; i < n; ++i)
            if (box.active(i)) v[i] = g0[i] * (c * dg - 1.0) + g1[i];
        sigma = 1.0 / (c * dg * dg);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            if (box.active(i)) v[i] = g1[i] - g0[i];
        sigma = 1.0 / (alpha * dg);
    }

    // Rank-one modification L D L' + sigma v v' of the factors.
    const auto diag = [&](std::size_t j) -> double& { return h[diagonal_position(order, static_cast<int>(j))]; };
    const auto lower = [&](std::size_t k, std::size_t j) -> double& {
        return h[diagonal_position(order, static_cast<int>(j)) + (k - j)];
    };
    std::vector<double> z(v), beta(n, 0.0);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t j = 0; j < k; ++j) z[k] -= lower(k, j) * z[j];
    for (std::size_t j = 0; j < n; ++j) {
        const double d = diag(j) + sigma * z[j] * z[j];
        if (d > 0.0) {
            diag(j) = d;
            d_min = std::min(d_min, d);
        } else {
            diag(j) = d_min;
        }
        beta[j] = sigma * z[j] / diag(j);
        sigma -= beta[j] * beta[j] * diag(j);
    }
    std::vector<double> u(v);
    for (std::size_t j = 0; j + 1 < n; ++j)
        for (std::size_t k = j + 1; k < n; ++k) {
            u[k] -= z[j] * lower(k, j);
            lower(k, j) += beta[j] * u[k];
        }
    return update_made;
}

void compute_numerical_hessian(std::span<double> b, kalvor::Matrix& H, const Box& box) {
    const std::size_t n = b.size();
    H.resize(n, n);
    const double f0 = evaluate(b);
    for (std::size_t i = 0; i < n; ++i)
        if (box.active(i)) H(i, i) = second_difference(b, i, f0, box);
    for (std::size_t i = 0; i < n; ++i) {
        if (!box.active(i)) continue;
        for (std::size_t j = i + 1; j < n; ++j) {
            if (!box.active(j)) continue;
            const Span si = clamped_span(b, i, std::fabs(difference_step(b[i])), box);
            const Span sj = clamped_span(b, j, std::fabs(difference_step(b[j])), box);
            const double area = (si.plus - si.minus) * (sj.plus - sj.minus);
            if (!(area > 0.0)) continue;
            const double bi = b[i], bj = b[j];
            const auto at = [&](double vi, double vj) {
                b[i] = vi;
                b[j] = vj;
                const double f = evaluate(b);
                b[i] = bi;
                b[j] = bj;
                return f;
            };
            const double fpp = at(si.plus, sj.plus), fmp = at(si.minus, sj.plus);
            const double fpm = at(si.plus, sj.minus), fmm = at(si.minus, sj.minus);
            H(i, j) = H(j, i) = (fpp - fpm - fmp + fmm) / area;
        }
    }
}

}  // namespace va10b_optimizer
