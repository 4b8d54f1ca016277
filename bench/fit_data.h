#pragma once
// The benchmarks' fits: a compiled model and its rows in the shared fit data.

#include <cstdlib>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/timeit.h"
#include "model/formula_check.h"
#include "model/globals.h"

namespace bench_fit {

// Fresh run state and formula compiled with np parameters and one X variable
// as the fit's model, every parameter free inside [-bound, bound]; the run
// clock restarted with a budget no benchmark reaches.  Aborts when the
// formula does not compile.
inline void use_model(std::string_view formula, int np, double bound) {
    globals::reset_run_state();
    const kalvor::Text<512> text(formula);
    const std::vector<double> p(static_cast<std::size_t>(np), 1.0), x(1, 1.0);
    double y = fnparse2_recompile;
    if (!fnparse2(p, x, np, 1, 1, text.view(), y)) std::abort();
    common_udf::cudf = formula;
    using namespace common_data;
    npr = np;
    for (std::size_t k = 0; k < static_cast<std::size_t>(np); ++k) {
        pmask[k] = 1;
        pboundlo[k] = -bound;
        pboundhi[k] = bound;
    }
    globals::timemax = 600000.0;
    int restart = 1;
    timeit_mod::timeclock(restart);
}

// use_model, and the rows (x, y) unweighted as the fit data.
inline void use_fit(std::string_view formula, int np, double bound, const std::vector<double>& x,
                    const std::vector<double>& y) {
    use_model(formula, np, bound);
    using namespace common_data;
    nd = static_cast<int>(y.size());
    nxd = 1;
    ndwt = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        xd[i] = x[i];
        yd[i] = y[i];
        ysig[i] = 1.0;
    }
}

}  // namespace bench_fit
