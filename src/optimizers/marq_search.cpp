// Random scaling search of the Levenberg-Marquardt optimiser.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "foundations/runtime.h"
#include "optimizers/marq.h"

namespace marq {

namespace {

// A pool of 30 uniform numbers from the seedable generator, of which the
// fifteenth is used.
double pool_draw() {
    std::array<double, 30> pool{};
    for (double& u : pool) u = runtime::random_number();
    return pool[14];
}

}  // namespace

bool search(const Data& d, int npr, std::span<const int> mask, std::span<const double> lo,
            std::span<const double> hi, std::span<double> p, Eval& best, double& last) {
    runtime::random_seed_put(std::vector<std::int32_t>(static_cast<std::size_t>(runtime::random_seed_size()), 0));
    pool_draw();
    const auto n = static_cast<std::size_t>(std::max(npr, 0));
    std::vector<double> trial(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n));
    Eval e;
    bool moved = false;
    last = best.ssq;
    for (int k = -5; k <= 5; ++k) {
        for (std::size_t j = 0; j < n; ++j) {
            trial[j] = p[j];
            if (mask[j] == 0) continue;
            const double u = pool_draw();
            trial[j] = std::max(lo[j], std::min(hi[j], (k * u * 0.0001 + 1.0) * p[j]));
        }
        funy(d, trial, npr, e);
        last = e.ssq;
        if (e.ssq < best.ssq) {
            std::copy(trial.begin(), trial.end(), p.begin());
            best = e;
            moved = true;
        }
    }
    return moved;
}

}  // namespace marq
