#include "foundations/peirce.h"

#include <cmath>

void peirce_criterion(int N, int n, int m, double& ratio) {
    ratio = 0.0;
    // No doubtful observation, or no observation left to compare with.
    if (N <= 1 || n < 1 || n >= N) return;

    const double big_n = static_cast<float>(N);
    const double small_n = static_cast<float>(n);
    const double quantities = static_cast<float>(m);

    const double q = std::pow(small_n, small_n / big_n) *
                     std::pow(big_n - small_n, (big_n - small_n) / big_n) / big_n;
    const double tolerance = big_n * static_cast<double>(2.22e-16f);
    if (tolerance >= 1.0) return;

    double r = 1.0, x2 = 0.0;
    for (int iteration = 0; iteration < 30; ++iteration) {
        double l = std::pow(r, small_n);
        if (l == 0.0) l = static_cast<double>(1e-6f);
        const double lambda = std::pow(std::pow(q, big_n) / l, 1.0 / (big_n - small_n));
        x2 = 1.0 + (big_n - quantities - small_n) / small_n * (1.0 - lambda * lambda);
        if (x2 < 0.0) {
            x2 = 0.0;
            break;
        }
        const double r_new = std::exp((x2 - 1.0) / 2.0) * std::erfc(std::sqrt(x2) / static_cast<double>(1.4142135f));
        const bool settled = std::fabs(r_new - r) <= tolerance;
        r = r_new;
        if (settled) break;
    }
    ratio = std::sqrt(x2);
}
