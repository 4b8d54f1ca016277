// Axial search of the constrained optimisers: tiny coordinate moves that
// keep every improvement, then a pull back inside the bounds.

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/bounds.h"
#include "model/globals.h"
#include "optimizers/vmcwd_vmcon.h"
#include "optimizers/vmcwd_vmcon_detail.h"

namespace vmcwd_vmcon_mod {

bool axialsearch(int n, double& f, std::span<double> x, std::span<double> g, std::span<double> c,
                 kalvor::Matrix& cnorm) {
    using namespace common_data;
    detail::check_sizes(n, x, g, c, cnorm, "axialsearch");
    const auto count = static_cast<std::size_t>(n);
    const std::span<double> xs = x.first(count), gs = g.first(count), cs = c.first(2 * count);
    detail::Point kept;  // the point of the lowest value, with its values
    kept.save(xs, f, gs, cs, cnorm);
    std::vector<double> xt(kept.x);
    double fraction = 2.22e-5;
    int accepted = 0;

    // One trial of coordinate i at value v: kept when strictly lower.
    const auto trial = [&](std::size_t i, double v, bool& ok) {
        xt[i] = v;
        std::copy(xt.begin(), xt.end(), xs.begin());
        if (!detail::evaluate(n, xs, f, gs, cs, cnorm)) return false;
        ok = kept.f > f;
        if (ok) {
            ++accepted;
            kept.save(xs, f, gs, cs, cnorm);
        }
        return true;
    };

    bool failed = false;
    for (int pass = 1; pass <= 20 && accepted <= 10 * n && !failed; ++pass) {
        fraction *= 0.5;
        for (std::size_t i = 0; i < count && !failed; ++i) {
            if (detail::held(static_cast<int>(i))) continue;
            const double base = kept.x[i];
            const double h = std::fabs(base) * fraction + 2.22e-15;
            bool ok = false;
            const double up = std::isnan(base + h) ? 1.1 * base : base + h;
            failed = !trial(i, up, ok);
            if (!ok && !failed) {
                const double down = std::isnan(base - h) ? base / 1.1 : base - h;
                failed = !trial(i, down, ok);
            }
            if (!ok) xt[i] = base;
        }
    }
    kept.restore(xs, f, gs, cs, cnorm);
    if (failed) return false;

    bool on_bound = false;
    for (std::size_t i = 0; i < count && i < pboundlo.size(); ++i)
        if (!(x[i] > pboundlo[i] && x[i] < pboundhi[i])) on_bound = true;
    if (!on_bound) return true;
    int status = 0;
    check_parameter_bounds::tanh_bounds5(xs, n, pboundlo, pboundhi, pmask, f, status);
    return detail::evaluate(n, xs, f, gs, cs, cnorm);
}

}  // namespace vmcwd_vmcon_mod
