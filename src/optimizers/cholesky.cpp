#include "optimizers/cholesky.h"

#include <cmath>

namespace cholesky {

bool factor(const kalvor::Matrix& a, kalvor::Matrix& l, double floor, std::optional<double> replacement) {
    const std::size_t n = a.rows();
    l.resize(n, n);
    for (std::size_t j = 0; j < n; ++j) {
        double diag = a(j, j);
        for (std::size_t k = 0; k < j; ++k) diag -= l(j, k) * l(j, k);
        if (!(diag > floor)) {
            if (!replacement) return false;
            diag = *replacement;
        }
        l(j, j) = std::sqrt(diag);
        for (std::size_t i = j + 1; i < n; ++i) {
            double v = a(i, j);
            for (std::size_t k = 0; k < j; ++k) v -= l(i, k) * l(j, k);
            l(i, j) = v / l(j, j);
        }
    }
    return true;
}

void solve(const kalvor::Matrix& l, std::span<double> x) {
    const std::size_t n = l.rows();
    for (std::size_t i = 0; i < n; ++i) {
        double v = x[i];
        for (std::size_t k = 0; k < i; ++k) v -= l(i, k) * x[k];
        x[i] = v / l(i, i);
    }
    for (std::size_t i = n; i-- > 0;) {
        double v = x[i];
        for (std::size_t k = i + 1; k < n; ++k) v -= l(k, i) * x[k];
        x[i] = v / l(i, i);
    }
}

}  // namespace cholesky
