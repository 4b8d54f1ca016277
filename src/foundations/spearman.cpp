#include "foundations/spearman.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace spearcorr_mod {
namespace {

// Ascending order with not-a-number after every number, so that sorting and
// searching stay well defined whatever the data hold.
bool before(double a, double b) {
    if (std::isnan(a)) return false;
    return std::isnan(b) || a < b;
}

}  // namespace

void rank(std::span<const double> x, int n, std::span<double> r) {
    if (n < 1) return;
    const auto count = static_cast<std::size_t>(n);
    if (x.size() < count || r.size() < count) throw std::out_of_range("spearcorr_mod::rank: n exceeds a vector");
    std::fill_n(r.begin(), count, 0.0);
    if (n > max_count) return;
    if (n == 1) {
        r[0] = 1.0;
        return;
    }

    const double shifted_first = x[0] + static_cast<double>(1e-15f);
    if (std::all_of(x.begin() + 1, x.begin() + n, [&](double v) { return v == shifted_first; })) {
        std::fill_n(r.begin(), count, (n + 1) / 2.0);
        return;
    }

    std::vector<double> sorted(x.begin(), x.begin() + n);
    std::sort(sorted.begin(), sorted.end(), before);
    for (std::size_t i = 0; i < count; ++i) {
        const auto [first, last] = std::equal_range(sorted.begin(), sorted.end(), x[i], before);
        const double first_position = static_cast<double>(first - sorted.begin()) + 1.0;
        const double last_position = static_cast<double>(last - sorted.begin());
        r[i] = (first_position + last_position) / 2.0;
    }
}

void spcorr(std::span<const double> x, std::span<const double> y, int n, std::span<const double>, double& rho) {
    rho = 0.0;
    if (n < 2 || n > max_count) return;
    const auto count = static_cast<std::size_t>(n);
    std::vector<double> rank_x(count), rank_y(count);
    rank(x, n, rank_x);
    rank(y, n, rank_y);
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) sum += (rank_x[i] - rank_y[i]) * (rank_x[i] - rank_y[i]);
    // In double: (n - 1) n (n + 1) passes the 32-bit range from n = 1291 on.
    const double nd = n;
    rho = 1.0 - 6.0 * sum / ((nd - 1.0) * nd * (nd + 1.0));
    if (std::fabs(rho) < 1e-5) rho = 0.0;
}

}  // namespace spearcorr_mod
