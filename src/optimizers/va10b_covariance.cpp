#include "optimizers/va10b_covariance.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundations/fortran_io.h"
#include "optimizers/va10b_report.h"

namespace va10b_optimizer {
namespace {

constexpr double ill_conditioned = 1.0e12;
constexpr double light_ridge = 0.01;
constexpr double strong_ridge = 0.1;

std::size_t count_of(int n) { return static_cast<std::size_t>(std::max(n, 0)); }

void add_ridge(kalvor::Matrix& a, double lambda) {
    for (std::size_t i = 0; i < a.rows(); ++i) a(i, i) += lambda * std::fabs(a(i, i));
}

// cov = 2 s2 a^-1 through the packed inversion; returns its status.
int invert(const kalvor::Matrix& a, double s2, kalvor::Matrix& cov) {
    const std::size_t m = a.rows();
    std::vector<double> packed;
    packed.reserve(m * (m + 1) / 2);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j <= i; ++j) packed.push_back(a(i, j));
    return compute_covariance_matrix(packed, static_cast<int>(m), s2, cov);
}

}  // namespace

int compute_covariance_matrix(std::vector<double>& packed, int n, double s2, kalvor::Matrix& cov) {
    // Bauer-Reinsch in-place inversion; A(k) is packed element k (1-based).
    const auto A = [&](int k) -> double& { return packed[count_of(k - 1)]; };
    std::vector<double> x(count_of(n) + 1, 0.0);
    int status = 0;
    for (int k = n; k >= 1; --k) {
        double s = A(1);
        if (std::fabs(s) < pivot_floor) {
            s = std::copysign(pivot_floor, s);
            status = 1;
        }
        int m = 1, q = 1;
        for (int i = 2; i <= n; ++i) {
            q = m;
            m += i;
            const double t = A(q + 1);
            double& xi = x[count_of(i)];
            xi = -t / s;
            if (i > k) xi = -xi;
            for (int j = q + 2; j <= m; ++j) A(j - i) = A(j) + t * x[count_of(j - q)];
        }
        q -= 1;
        A(m) = 1.0 / s;
        for (int i = 2; i <= n; ++i) A(q + i) = x[count_of(i)];
    }
    cov.resize(count_of(n), count_of(n));
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= i; ++j)
            cov(count_of(i - 1), count_of(j - 1)) = cov(count_of(j - 1), count_of(i - 1)) =
                2.0 * s2 * A(i * (i - 1) / 2 + j);
    return status;
}

void extract_active_submatrix(const kalvor::Matrix& H, std::span<const int> mask, int n, kalvor::Matrix& sub,
                              std::vector<int>& index) {
    index.clear();
    for (int i = 0; i < n; ++i)
        if (mask[count_of(i)] != 0) index.push_back(i);
    const std::size_t m = index.size();
    sub.resize(m, m);
    for (std::size_t k = 0; k < m; ++k)
        for (std::size_t l = 0; l < m; ++l) sub(k, l) = H(count_of(index[k]), count_of(index[l]));
}

void extract_standard_errors(const kalvor::Matrix& cov, std::span<const int> mask, int n, std::vector<double>& se) {
    se.assign(count_of(n), 0.0);
    for (std::size_t i = 0; i < se.size(); ++i)
        if (mask[i] != 0 && cov(i, i) > 0.0) se[i] = std::sqrt(cov(i, i));
}

void compute_correlation_matrix(const kalvor::Matrix& cov, int n, std::span<const int> mask, kalvor::Matrix& corr,
                                std::vector<double>& se) {
    extract_standard_errors(cov, mask, n, se);
    const std::size_t size = count_of(n);
    corr.resize(size, size);
    for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j)
            if (se[i] > 0.0 && se[j] > 0.0) corr(i, j) = cov(i, j) / (se[i] * se[j]);
    for (std::size_t i = 0; i < size; ++i)
        if (se[i] == 0.0) corr(i, i) = 1.0;
}

int compute_robust_covariance(const kalvor::Matrix& H, std::span<const int> mask, int n, double s2,
                              kalvor::Matrix& cov, std::vector<double>& se) {
    cov.resize(count_of(n), count_of(n));
    se.assign(count_of(n), 0.0);
    kalvor::Matrix sub;
    std::vector<int> index;
    extract_active_submatrix(H, mask, n, sub, index);
    const std::size_t m = index.size();
    if (m == 0) {
        report("Warning: No active parameters for covariance");
        return 0;
    }
    const bool all_active = m == count_of(n);

    double d_min = std::numeric_limits<double>::max(), d_max = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        d_min = std::min(d_min, sub(i, i));
        d_max = std::max(d_max, std::fabs(sub(i, i)));
    }
    const double kappa = d_min > 0.0 ? d_max / d_min : std::numeric_limits<double>::max();
    report(fortran_io::write("(a,es12.4,a,es12.4)", {"Hessian diagonal range: ", d_min, " to ", d_max}));
    report(fortran_io::write("(a,es12.4)", {"Condition estimate: ", kappa}));

    kalvor::Matrix a = sub, inverse;
    if (kappa > ill_conditioned || d_min <= 0.0) {
        report("Warning: Hessian is severely ill-conditioned or non-positive");
        report(all_active ? "Applying preemptive regularization (lambda = 0.01)"
                          : "Increasing regularization to lambda = 0.01");
        add_ridge(a, light_ridge);
    }
    int status = invert(a, s2, inverse);
    if (status != 0) {
        report(all_active ? "Warning: Numerical Hessian is ill-conditioned"
                          : "Warning: Active Hessian submatrix is ill-conditioned");
        report("Applying stronger Tikhonov regularization (lambda = 0.1)...");
        if (!all_active) a = sub;
        add_ridge(a, strong_ridge);
        status = invert(a, s2, inverse);
        if (status != 0) {
            report("ERROR: Cannot invert Hessian even with strong regularization");
            report("Covariance matrix set to zero - standard errors unavailable");
            return status;
        }
        report("Strong regularization successful");
    }
    for (std::size_t k = 0; k < m; ++k)
        for (std::size_t l = 0; l < m; ++l) cov(count_of(index[k]), count_of(index[l])) = inverse(k, l);
    extract_standard_errors(cov, mask, n, se);
    return status;
}

}  // namespace va10b_optimizer
