#include "optimizers/adam.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace adam {

namespace {

constexpr double beta1 = 0.9;
constexpr double beta2 = 0.999;
constexpr double rate = 0.001;
constexpr double epsilon = 1e-8;
constexpr double gradient_floor = 1.002001e-14;
constexpr double floor_value = 1.001e-7;
constexpr double tolerance = 1e-6;
constexpr int last_step = 30;
constexpr int quiet_steps = 10;  // no stopping test before step 11

constexpr int table = 10;
constexpr double step_divisor = 2.001;
constexpr double divisor_squared = 4.004001;
constexpr double stop_factor = 2.001;
constexpr double stop_absolute = 2.001e-8;
constexpr double flat = 1e-8;
constexpr double zero_step = 4e-8;
constexpr double small = 1e-8;
constexpr double nudge = 4e-8;
constexpr double largest = 1.7976931348623158e307;

std::size_t checked(int n, std::size_t a, std::size_t b, std::size_t c) {
    const auto np = static_cast<std::size_t>(std::max(n, 0));
    if (a < np || b < np || c < np) throw std::out_of_range("adam: parameter count larger than its vectors");
    return np;
}

// One finished gradient component: never NaN, never 0, never beyond a tenth
// of the largest double.
double finish(double g) {
    if (std::isnan(g)) return nudge;
    if (std::fabs(g) < small) return g + std::copysign(nudge, g);
    return std::clamp(g, -largest, largest);
}

}  // namespace

void gradient(const kalvor::Objective& f, int n, std::span<const double> x, std::span<const int> mask,
              std::span<double> g) {
    const std::size_t np = checked(n, x.size(), mask.size(), g.size());
    std::vector<double> w(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(np));
    const int count = n;
    // The quotient of one probe pair c -/+ h; a flat pair gets h added to f+.
    const auto quotient = [&](std::size_t i, double c, double h) {
        double fm = 0.0, fp = 0.0;
        w[i] = c - h;
        f(w, count, fm);
        w[i] = c + h;
        f(w, count, fp);
        if (std::fabs(fp - fm) < flat) fp += h;
        return (fp - fm) / (2.0 * h);
    };
    for (std::size_t i = 0; i < np; ++i) {
        if (mask[i] == 0) {
            g[i] = 0.0;
            continue;
        }
        std::array<std::array<double, table>, table> a{};  // a[j][k]: level j of the k-th step
        const double c = x[i];
        double h = 0.0002 * (std::fabs(c) + 1e-8);
        a[0][0] = quotient(i, c, h);
        double gi = a[0][0];
        double err = 1e8;
        for (int k = 1; k < table; ++k) {
            h /= step_divisor;
            if (h == 0.0) h = zero_step;
            a[0][k] = quotient(i, c, h);
            double fac = divisor_squared;
            for (int j = 1; j <= k; ++j) {
                a[j][k] = (a[j - 1][k] * fac - a[j - 1][k - 1]) / (fac - 1.0);
                fac *= divisor_squared;
                const double errt =
                    std::max(std::fabs(a[j][k] - a[j - 1][k]), std::fabs(a[j][k] - a[j - 1][k - 1]));
                if (errt <= err) {
                    err = errt;
                    gi = a[j][k];
                }
            }
            const double change = std::fabs(a[k][k] - a[k - 1][k - 1]);
            if (change >= stop_factor * err || change < stop_absolute) break;
        }
        g[i] = finish(gi);
        w[i] = c;
    }
}

void adam(const kalvor::Objective& f, int n, int m, std::span<double> p, std::span<const int> mask,
          std::span<const double> lo, std::span<const double> hi, int& iter, double& ssq) {
    const std::size_t np = checked(n, p.size(), mask.size(), std::min(lo.size(), hi.size()));
    const int count = n;
    std::vector<double> x(np), g(np), mom1(np, 0.0), mom2(np, 0.0);
    for (std::size_t i = 0; i < np; ++i) x[i] = std::max(lo[i], std::min(hi[i], p[i]));

    double fold = 0.0;
    f(x, count, fold);
    int t = 1;
    for (;;) {
        gradient(f, count, x, mask, g);
        for (double& gi : g)
            if (std::fabs(gi) < gradient_floor) gi = std::copysign(floor_value, gi);
        for (std::size_t i = 0; i < np; ++i) {
            mom1[i] = beta1 * mom1[i] + (1.0 - beta1) * g[i];
            mom2[i] = beta2 * mom2[i] + (1.0 - beta2) * g[i] * g[i];
        }
        const double bias1 = 1.0 - std::pow(beta1, t);
        const double bias2 = 1.0 - std::pow(beta2, t);
        for (std::size_t i = 0; i < np; ++i) {
            if (mask[i] == 0) continue;
            const double mhat = mom1[i] / bias1;
            const double vhat = mom2[i] / bias2;
            x[i] = std::max(lo[i], std::min(hi[i], x[i] - rate * mhat / (std::sqrt(vhat) + epsilon)));
        }
        double fnew = 0.0;
        f(x, count, fnew);
        ssq = fnew;
        if (t <= quiet_steps) {
            ++t;
            fold = fnew;
            continue;
        }
        if (std::fabs(1.0 - fnew / fold) < tolerance) break;
        if (++t == last_step + 1) break;
        fold = fnew;
    }
    f(x, count, ssq);
    iter = t;
    for (std::size_t i = 0; i < np; ++i)
        if (mask[i] != 0) p[i] = x[i];
}

}  // namespace adam
