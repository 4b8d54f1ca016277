#include "foundations/balance.h"

#include <cmath>
#include <stdexcept>

namespace balance_mod {

void balance(kalvor::Matrix& a, int n) {
    if (n < 1) return;
    if (a.rows() < static_cast<std::size_t>(n) || a.cols() < static_cast<std::size_t>(n))
        throw std::out_of_range("balance_mod::balance: n exceeds the matrix");
    const auto size = static_cast<std::size_t>(n);
    const double kImprovement = static_cast<double>(0.95f);

    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < size; ++i) {
            double c = 0.0, r = 0.0;
            for (std::size_t j = 0; j < size; ++j) {
                if (j == i) continue;
                c += std::fabs(a(j, i));
                r += std::fabs(a(i, j));
            }
            // Infinite or undefined sums would never settle: leave the index.
            if (c == 0.0 || r == 0.0 || !std::isfinite(c) || !std::isfinite(r)) continue;

            double f = 1.0;
            const double s = c + r;
            while (c < r / 2.0) {
                c *= 4.0;
                f *= 2.0;
            }
            while (c > r * 2.0) {
                c /= 4.0;
                f /= 2.0;
            }
            if ((c + r) / f < kImprovement * s) {
                const double g = 1.0 / f;
                if (!std::isfinite(f) || g == 0.0) continue;
                for (std::size_t j = 0; j < size; ++j) a(i, j) *= g;
                for (std::size_t j = 0; j < size; ++j) a(j, i) *= f;
                changed = true;
            }
        }
    }
}

}  // namespace balance_mod
