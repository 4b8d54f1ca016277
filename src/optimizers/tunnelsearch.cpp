#include "optimizers/tunnelsearch.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "foundations/nrutil_random.h"
#include "foundations/runtime.h"

namespace tunnelsearch {

namespace {
constexpr int trials_per_pass = 15;
constexpr int table_size = trials_per_pass * max_parameters;
}  // namespace

void tunnelsearch(const kalvor::Objective& f, int n, std::span<double> p, double& ssq, std::span<const double> lo,
                  std::span<const double> hi, std::span<const int> mask) {
    const std::size_t np = static_cast<std::size_t>(std::max(n, 0));
    if (n > max_parameters || p.size() < np || lo.size() < np || hi.size() < np || mask.size() < np)
        throw std::out_of_range("tunnelsearch: parameter count larger than its vectors or the table");

    std::vector<double> pt(np);
    for (std::size_t i = 0; i < np; ++i) pt[i] = std::max(lo[i], std::min(hi[i], p[i]));

    // The same table at every call: the seedable generator restarts from the
    // driver's repeatable (all-zero) seed.
    runtime::random_seed_put(std::vector<std::int32_t>(static_cast<std::size_t>(runtime::random_seed_size()), 0));
    std::vector<double> r(table_size);
    for (double& v : r) v = runtime::random_number();

    double fmin = ssq;
    double s = 1e-6;
    for (int pass = 0; pass < 3; ++pass) {
        for (int k = 1; k <= trials_per_pass; ++k) {
            const float offset = static_cast<float>(k - 8);
            for (std::size_t i = 0; i < np; ++i)
                if (mask[i] != 0) {
                    // r(k + i) of the 1-based table, i 1-based: element k + i - 1 here with i 0-based.
                    const double factor = 1.0 + offset * r[static_cast<std::size_t>(k) + i] * s;
                    pt[i] = std::max(lo[i], std::min(hi[i], factor * p[i]));
                }
            double value = 0.0;
            f(pt, n, value);
            if (value < fmin) {
                for (std::size_t i = 0; i < np; ++i)
                    if (mask[i] != 0) p[i] = pt[i];
                fmin = value;
            }
        }
        nrutil::shuffle(r, trials_per_pass * n);
        s *= 100.0;
    }
    ssq = fmin;
}

}  // namespace tunnelsearch
