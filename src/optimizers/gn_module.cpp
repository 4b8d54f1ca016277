#include "optimizers/gn_module.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "optimizers/gn_main.h"

namespace gn_module {

void gn_main(int m, int n, std::span<double> p, double& ssq, int& info) {
    const auto count = static_cast<std::size_t>(std::max(n, 0));
    std::vector<double> x(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(count));
    std::vector<double> r(static_cast<std::size_t>(std::max(m, 0)));
    info = 0;
    double weighted = 0.0;
    ::gn_main::gnfun(m, n, x, r, weighted);
    double f0 = 0.0;
    if (m >= 1)
        for (double v : r) f0 += v * v;
    // The iteration starts from a finite number.
    if (std::isnan(f0) || f0 - 1.0 == f0) f0 = 1e14;
    ::gn_main::gnm(m, n, info, x, f0);
    double fnew = 0.0;
    ::gn_main::gnfun(m, n, x, r, fnew);
    // The start coming back keeps the caller's value.
    if (fnew < ssq && !std::equal(x.begin(), x.end(), p.begin())) {
        std::copy(x.begin(), x.end(), p.begin());
        ssq = fnew;
    }
}

}  // namespace gn_module
