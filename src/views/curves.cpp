#include "views/curves.h"

#include <algorithm>

namespace curves {

std::vector<Curve> split(std::span<const int> id, int nd) {
    const int n = std::clamp(nd, 0, static_cast<int>(id.size()));
    std::vector<Curve> out;
    for (int i = 0; i < n; ++i) {
        if (i == 0 || id[static_cast<std::size_t>(i)] != id[static_cast<std::size_t>(i - 1)]) {
            if (static_cast<int>(out.size()) == max_curves) break;
            out.push_back({i, 0});
        }
        ++out.back().rows;
    }
    return out;
}

int longest(const std::vector<Curve>& c) {
    int m = 0;
    for (const auto& k : c) m = std::max(m, k.rows);
    return m;
}

}  // namespace curves
