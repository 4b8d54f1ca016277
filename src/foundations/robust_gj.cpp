#include "foundations/robust_gj.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundations/matrixinverse.h"

namespace robust_gj_matinv {

using kalvor::Matrix;

namespace {

constexpr double kTiny = 2.441406304151293e-20;
constexpr double kHuge = 4.095999909149208e+19;
constexpr double kEps = 2.220446049250313e-16;
constexpr double kRootEps = 1.4901161193847656e-08;
constexpr double kShiftFactor = 1.5625000173284136e-10;
constexpr double kOmega = 1.2;

// Whether a needs its diagonal shifted: judged from the LU factorisation
// with partial pivoting of a copy of a.
bool needs_shift(const Matrix& a, int n) {
    Matrix f = matrixinverse::leading_block(a, n, "ssor_precondition_matrix");

    // status 0: fine; 2: some pivot below 2^-26; 1: a pivot of at most 2^-52
    // stopped the factorisation.
    int status = 0;
    for (int k = 0; k < n; ++k) {
        int r = k;
        for (int i = k + 1; i < n; ++i)
            if (std::fabs(f(i, k)) > std::fabs(f(r, k))) r = i;
        matrixinverse::swap_rows(f, r, k);
        const double pivot = std::fabs(f(k, k));
        if (pivot <= kEps) { status = 1; break; }
        if (pivot < kRootEps) status = 2;
        for (int i = k + 1; i < n; ++i) {
            f(i, k) /= f(k, k);
            for (int j = k + 1; j < n; ++j) f(i, j) -= f(i, k) * f(k, j);
        }
    }

    double umin = std::fabs(f(0, 0)), umax = umin;
    for (int i = 1; i < n; ++i) {
        umin = std::min(umin, std::fabs(f(i, i)));
        umax = std::max(umax, std::fabs(f(i, i)));
    }
    if (!(umin > 0.0)) return status == 1;

    // Reciprocal condition estimate: the pivot ratio, improved by the bound
    // 1 / (norm(a) * g) where g bounds the growth of inverse(U).
    double r = umin / umax;
    double anorm = 0.0;
    for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int i = 0; i < n; ++i) sum += std::fabs(a(i, j));
        anorm = std::max(anorm, sum);
    }
    double g = 0.0;
    for (int i = 0; i < n; ++i) {
        const double uii = std::fabs(f(i, i));
        if (!(uii > kEps)) continue;
        double sum = 0.0;
        for (int k = i + 1; k < n; ++k) sum += std::fabs(f(i, k));
        g = std::max(g, (sum / uii + 1.0) / uii);
    }
    if (g > 0.0) r = std::max(r, 1.0 / std::min(umax / umin, anorm * g));
    return r <= 0.0 || r < kEps;
}

}  // namespace

void ssor_precondition_matrix(const Matrix& a, Matrix& p, int n, [[maybe_unused]] double omega) {
    if (n < 1) return;
    matrixinverse::require_order(a, n, "ssor_precondition_matrix");
    if (p.rows() < static_cast<std::size_t>(n) || p.cols() < static_cast<std::size_t>(n)) p.resize(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) p(i, j) = a(i, j);
    if (!needs_shift(a, n)) return;
    double mean = 0.0;
    for (int i = 0; i < n; ++i) mean += a(i, i);
    const double shift = std::fabs(mean / n) * kShiftFactor;
    for (int i = 0; i < n; ++i) p(i, i) += shift;
}

void robust_gj_mat_inv(Matrix& a, int n, int& ok, int precondition) {
    ok = 0;
    if (n < 1) return;
    matrixinverse::require_order(a, n, "robust_gj_mat_inv");
    if (precondition != 0) {
        Matrix p(n, n);
        ssor_precondition_matrix(a, p, n, kOmega);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) a(i, j) = p(i, j);
    }

    Matrix g = matrixinverse::augmented(a, n);
    std::vector<double> scale(n);
    for (int i = 0; i < n; ++i) {
        double m = 0.0;
        for (int j = 0; j < n; ++j) m = std::max(m, std::fabs(g(i, j)));
        if (m < kTiny) return;
        scale[i] = 1.0 / m;
    }

    double pmax = kTiny, pmin = kHuge;
    for (int k = 0; k < n; ++k) {
        int r = k;
        double best = std::fabs(g(k, k)) * scale[k];
        for (int i = k + 1; i < n; ++i) {
            const double v = std::fabs(g(i, k)) * scale[i];
            if (v > best) { best = v; r = i; }
        }
        const double pivot = std::fabs(g(r, k));
        if (!(pivot >= kEps) || !std::isfinite(pivot)) return;
        pmax = std::max(pmax, pivot);
        pmin = std::min(pmin, pivot);
        if (r != k) {
            matrixinverse::swap_rows(g, r, k);
            std::swap(scale[r], scale[k]);
        }
        const double inv = 1.0 / g(k, k);
        for (int j = 0; j < 2 * n; ++j) g(k, j) *= inv;
        for (int i = 0; i < n; ++i) {
            if (i == k) continue;
            const double factor = g(i, k);
            for (int j = 0; j < 2 * n; ++j) g(i, j) -= factor * g(k, j);
        }
    }
    matrixinverse::store_right_half(g, a, n);
    ok = (pmax > kTiny && pmin > kTiny && pmin / pmax >= kRootEps) ? 1 : 0;
}

}  // namespace robust_gj_matinv
