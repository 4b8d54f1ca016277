#include "foundations/condindex.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "foundations/eigen.h"
#include "foundations/matrixinverse.h"

namespace condindex {

using kalvor::Matrix;

namespace {

// Proportions pi(i, k) of parameter k over the components i, from the
// eigenvectors v (columns) and the eigenvalue magnitudes lambda.  Components
// with a zero eigenvalue take the whole share of a parameter they touch.
Matrix variance_proportions(const Matrix& v, const std::vector<double>& lambda, int n) {
    Matrix share(n, n);
    std::vector<double> phi(n);
    for (int k = 0; k < n; ++k) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            phi[j] = v(k, j) * v(k, j) / lambda[j];
            sum += phi[j];
        }
        if (std::isinf(sum)) {
            sum = 0.0;
            for (int j = 0; j < n; ++j) {
                phi[j] = std::isinf(phi[j]) ? v(k, j) * v(k, j) : 0.0;
                sum += phi[j];
            }
        }
        for (int j = 0; j < n; ++j) share(j, k) = phi[j] / sum;
    }
    return share;
}

}  // namespace

void eigen_cond_index(const Matrix& a, Matrix& c, int n, double tol, int& maxit) {
    if (n < 1) {
        maxit = 0;
        return;
    }
    matrixinverse::require_order(a, n, "eigen_cond_index");
    if (maxit < 51) maxit = 100;
    tol = std::max(1e-12, tol);

    // Work on the matrix divided by its largest finite magnitude: condition
    // indices and proportions do not depend on the scale, and the small
    // shifts that keep every entry away from zero (and the convergence
    // threshold) then never swamp a matrix of tiny entries.
    double amax = 0.0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (std::isfinite(a(i, j))) amax = std::max(amax, std::fabs(a(i, j)));
    if (amax == 0.0) amax = 1.0;
    Matrix w(n, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double v = a(i, j) / amax;
            w(i, j) = v == 0.0 ? 1e-6 : v + std::copysign(1e-6, v);
        }
    for (int i = 0; i < n; ++i) w(i, i) += 1e-12;
    for (int j = 0; j < n; ++j)
        for (int i = j + 1; i < n; ++i) w(j, i) = w(i, j);

    Matrix v;
    maxit = eigenvlvc::largest_pivot_jacobi(w, v, n, tol, maxit, 1000);

    std::vector<double> lambda(n);
    for (int i = 0; i < n; ++i) lambda[i] = std::fabs(w(i, i));
    const Matrix share = variance_proportions(v, lambda, n);
    double lmax = std::nan("");
    for (double l : lambda)
        if (std::isnan(lmax) || l > lmax) lmax = l;

    if (c.rows() < static_cast<std::size_t>(n + 1) || c.cols() < static_cast<std::size_t>(n + 1))
        c.resize(n + 1, n + 1);
    c(0, 0) = 0.0;
    for (int k = 1; k <= n; ++k) c(0, k) = k;
    for (int i = 1; i <= n; ++i) {
        c(i, 0) = std::sqrt(lmax / lambda[i - 1]);
        for (int k = 1; k <= n; ++k) c(i, k) = share(i - 1, k - 1);
    }

    // Rows by ascending condition index, whole rows moving.
    for (int k = 1; k < n; ++k) {
        int best = k;
        for (int i = k + 1; i <= n; ++i)
            if (c(i, 0) < c(best, 0)) best = i;
        if (best != k)
            for (int j = 0; j <= n; ++j) std::swap(c(k, j), c(best, j));
    }
}

}  // namespace condindex
