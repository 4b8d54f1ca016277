#include "foundations/pbounds.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace pbounds4_mod {
namespace {

constexpr double kEps = 2.220446049250313e-16;

// The band edges: the lower edge lies at or below lo, the upper edge inside hi.
double lower_edge(double lo) { return lo > 0.0 ? 0.95 * lo : (lo < 0.0 ? lo / 0.95 : 0.0); }
double upper_edge(double hi) { return hi > 0.0 ? 0.95 * hi : hi / 0.95; }

}  // namespace

void pbounds4(std::span<double> p, int n, std::span<const double> lo, std::span<const double> hi,
              std::span<const int> mask, double& s, int& status) {
    if (n < 1) {
        status = 1;
        return;
    }
    const auto count = static_cast<std::size_t>(n);
    if (p.size() < count || lo.size() < count || hi.size() < count || mask.size() < count)
        throw std::out_of_range("pbounds4_mod::pbounds4: n exceeds a vector");

    status = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (!(lo[i] < hi[i])) status = 2;
    if (status == 0)
        for (std::size_t i = 0; i < count; ++i)
            if (std::fabs(hi[i] - lo[i]) < 1e-12) status = 3;
    if (status != 0) return;

    bool outside = false;
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (mask[i] == 0) continue;
        const double x = p[i], l = lo[i], h = hi[i];
        const double le = lower_edge(l), ue = upper_edge(h);
        if (x >= le && x <= ue) continue;
        outside = true;

        const double range = h - l;
        const double step = 0.1 * range;
        double moved;
        if (x > ue)
            moved = x > h ? h - step : ue - std::fabs(x - ue) / std::fabs(h - ue + kEps) * step;
        else
            moved = x < l ? l + step : le + std::fabs(le - x) / std::fabs(le - l + kEps) * step;
        sum += std::fabs(x - moved) / range;

        if (std::fabs(moved) < 1e-12 && std::fabs(l) > 1e-12)
            moved = l > 0.0 ? l + step : std::copysign(0.1 * std::min(std::fabs(h), std::fabs(l)), (l + h) / 2.0);

        if (range >= 1e12) {
            const double f = 0.1 * std::pow(10.0, 0.95 * std::log10(range));
            moved = moved > 0.0 ? moved / f : moved * f;
            sum += std::fabs(x - moved) / range + 1.0;
        }
        p[i] = std::clamp(moved, l + kEps, h - kEps);
    }
    if (outside) s = (2.0 * sum + 1.0) * s;
}

}  // namespace pbounds4_mod
