#pragma once
// Bounds and mask of one call of the variable-metric least-squares optimiser.

#include <cstddef>
#include <vector>

namespace va10b_optimizer {

struct Box {
    std::vector<double> lo, hi;
    std::vector<int> mask;  // 0 held, nonzero active

    // Copies of common_data::pboundlo, pboundhi and pmask, entries 1..n.
    static Box shared(int n);

    bool active(std::size_t i) const { return mask[i] != 0; }
    int active_count() const;
    double clamp(std::size_t i, double v) const { return v < lo[i] ? lo[i] : (v > hi[i] ? hi[i] : v); }
};

}  // namespace va10b_optimizer
