#include "views/kuiper.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace unimodalecdf_mod {

void ecdf(int n, std::span<const double> x, double& mode, std::span<double> f) {
    if (n < 1) return;
    std::vector<double> xs(x.begin(), x.begin() + n);
    std::sort(xs.begin(), xs.end());
    const int m = n - 1;
    f[0] = 0.0;
    if (m < 1) {
        mode = xs[0];
        return;
    }
    const double alpha = std::pow(static_cast<double>(m), -0.6000000238418579);
    auto width = [&](int t) { return xs[static_cast<std::size_t>(t)] - xs[static_cast<std::size_t>(t - 1)]; };

    // d[t], t = 1..m, is the density on the interval from x[t-1] to x[t].
    std::vector<double> d(static_cast<std::size_t>(m + 1), 0.0), kept(d.size(), 0.0);
    int kept_lo = 0, kept_hi = 0;
    double best = -1e10;
    // The pooled density of intervals s..t.
    auto pooled = [&](int s, int t, double h) {
        return (t - s + 1) / ((xs[static_cast<std::size_t>(t)] - xs[static_cast<std::size_t>(s - 1)]) * m * h);
    };
    for (int k = 1; k <= m; ++k) {
        double h = 1e5;
        for (int i = 0; i <= k - 1; ++i)
            for (int j = k; j <= m; ++j) {
                const double span = xs[static_cast<std::size_t>(j)] - xs[static_cast<std::size_t>(i)];
                if (!(span > 0.0)) continue;
                const double a = alpha / (2.0 * span);
                const double g = std::sqrt(0.25 + (1.0 - 2.0 * (j - i) / static_cast<double>(m)) * a + a * a) + 0.5 - a;
                h = std::min(h, g);
            }
        double c = 0.0;
        int lo = 0, hi = 0;
        for (int i = 0; i <= k - 1; ++i)
            for (int j = k; j <= m; ++j) {
                const double rho = ((j - i) / static_cast<double>(m)) /
                                   ((xs[static_cast<std::size_t>(j)] - xs[static_cast<std::size_t>(i)]) * h + alpha);
                if (rho > c) {
                    c = rho;
                    lo = i;
                    hi = j;
                }
            }
        std::fill(d.begin(), d.end(), 0.0);
        for (int t = lo + 1; t <= hi && lo < hi; ++t) d[static_cast<std::size_t>(t)] = c;

        // Right of the mode: densities that do not rise to the right.
        for (int t = hi + 1; t <= m; ++t) d[static_cast<std::size_t>(t)] = 1.0 / (width(t) * m * h);
        for (int s = hi, t = hi + 1; t <= m;) {
            if (s < 1 || d[static_cast<std::size_t>(t)] <= d[static_cast<std::size_t>(s)]) {
                s = t;
                ++t;
                continue;
            }
            const double value = pooled(s, t, h);
            for (int q = s; q <= t; ++q) d[static_cast<std::size_t>(q)] = value;
            --s;
        }
        // Left of the mode: densities that do not fall towards the mode.
        if (lo >= 1) {
            for (int t = 1; t <= lo; ++t) d[static_cast<std::size_t>(t)] = 1.0 / (width(t) * m * h);
            for (int s = lo - 1, t = lo; lo >= 2 && t <= m;) {
                if (d[static_cast<std::size_t>(s)] <= d[static_cast<std::size_t>(t)]) {
                    if (s == 1) break;
                    t = s;
                    --s;
                    continue;
                }
                const double value = pooled(s, t, h);
                for (int q = s; q <= t; ++q) d[static_cast<std::size_t>(q)] = value;
                ++t;
            }
        }
        double likelihood = 0.0;
        for (int t = 1; t <= m; ++t) likelihood += std::log(d[static_cast<std::size_t>(t)]);
        if (likelihood > best) {
            best = likelihood;
            kept = d;
            kept_lo = lo;
            kept_hi = hi;
        }
    }
    mode = (xs[static_cast<std::size_t>(kept_hi)] + xs[static_cast<std::size_t>(kept_lo)]) / 2.0;
    // Tied values (intervals of no width) add nothing; the estimate never
    // passes 1.
    for (int t = 1; t <= m; ++t) {
        const double mass = width(t) > 0.0 ? width(t) * kept[static_cast<std::size_t>(t)] : 0.0;
        f[static_cast<std::size_t>(t)] = std::min(1.0, f[static_cast<std::size_t>(t - 1)] + mass);
    }
}

}  // namespace unimodalecdf_mod

namespace kuiper_mod {
namespace {

constexpr double floor_value = 9.999999747378752e-6;  // 1e-5 in single precision

// The standard normal distribution function by its power series, kept
// within the single-precision 1e-5 and 0.99999.
double normal_cdf(double z) {
    if (z == 0.0) return 0.5;
    const double phi = std::exp(-z * z / 2.0 - 0.9189385332046728);
    double sum = z, term = z;
    for (int k = 1; k < 2000; ) {
        k += 2;
        term = term * z * z / k;
        const double next = sum + term;
        if (next == sum) break;
        sum = next;
    }
    const double p = sum * phi + 0.5;
    if (!(p > 0.0)) return floor_value;
    if (p >= 1.0) return 0.9999899864196777;
    return p;
}

}  // namespace

void kuiper(std::span<const double> x, int n, std::span<double> f, double& v, double& prob) {
    const auto un = static_cast<std::size_t>(n);
    std::vector<double> w(x.begin(), x.begin() + n);
    double lowest = std::numeric_limits<double>::quiet_NaN();
    for (const double value : w)
        if (!std::isnan(value) && (std::isnan(lowest) || value < lowest)) lowest = value;
    for (double& value : w) value -= lowest;

    double mean = 0.0;
    for (const double value : w) mean += value;
    mean /= n;
    double s = floor_value;
    if (n > 1) {
        double ss = 0.0;
        for (const double value : w) ss += (value - mean) * (value - mean);
        s = std::max(floor_value, std::sqrt(ss / (n - 1)));
    }
    const double mu = std::max(floor_value, mean);
    std::vector<double> z(un);
    for (std::size_t i = 0; i < un; ++i) z[i] = (w[i] - mu) / s;
    std::sort(z.begin(), z.end(), [](double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); });
    for (double& value : z)
        if (std::isnan(value)) value = floor_value;

    double mode = 0.0;
    unimodalecdf_mod::ecdf(n, z, mode, f);
    double above = 0.0, below = 0.0;
    for (std::size_t i = 0; i < un; ++i) {
        const double cdf = normal_cdf(z[i]);
        const double previous = i == 0 ? 0.0 : f[i - 1];
        above = std::max(above, std::sqrt(std::max(floor_value, (f[i] - cdf) * (f[i] - cdf))));
        below = std::max(below, std::sqrt(std::max(floor_value, (cdf - previous) * (cdf - previous))));
    }
    // Stephens' scaling: lambda follows the asymptotic Kuiper distribution
    // already for small samples, and grows with sqrt(n) for a fixed V.
    const double root_n = std::sqrt(static_cast<double>(n));
    const double lambda = (root_n + 0.155 + 0.24 / root_n) * (above + below);
    double q = 0.0;
    for (int j = 1; j <= 50; ++j) {
        const double jl = static_cast<double>(j) * j * lambda * lambda;
        q += (4.0 * jl - 1.0) * std::exp(-2.0 * jl);
    }
    q *= 2.0;
    prob = lambda < 0.58 ? 1.0 : lambda > 2.6 ? 0.0 : q;
    v = lambda;
    if (n <= 8) std::printf("\n  * INCONCLUSIVE: Not enough data! %4d\n", n);
}

}  // namespace kuiper_mod

namespace kuiper_main_mod {

void kuiper_wrapper(int n, std::span<const double> x, double& v, double& prob) {
    std::vector<double> copy(x.begin(), x.begin() + n), f(static_cast<std::size_t>(n), 0.0);
    kuiper_mod::kuiper(copy, n, f, v, prob);
}

}  // namespace kuiper_main_mod
