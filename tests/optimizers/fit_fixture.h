#pragma once
// Test helpers for the optimisers: compile a model formula, put one fit's
// data into the shared fit data, and fix the run time's random draws.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundations/runtime.h"
#include "model/formula_check.h"
#include "model/globals.h"

namespace optimizer_test {

struct Fit {
    std::string formula;         // right-hand side of "Y="
    std::vector<double> x, y;    // X1 and Y per row
    std::vector<double> p;       // parameters
    std::vector<int> mask;       // empty: all active
    std::vector<double> lo, hi;  // empty: -1e6 and 1e6
    std::vector<double> sig;     // empty: 1 per row
    int mode = 0;                // weighting mode
};

// Fresh run state with fit's model compiled and its data in common_data.
inline void set_up(Fit fit) {
    globals::reset_run_state();
    const auto np = fit.p.size();
    kalvor::Text<512> text(fit.formula);
    double y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(std::vector<double>(np, 1.0), std::vector<double>(1, 1.0), static_cast<int>(np), 1, 1,
                         text.view(), y))
        << fit.formula;
    common_udf::cudf = fit.formula;
    if (fit.mask.empty()) fit.mask.assign(np, 1);
    if (fit.lo.empty()) fit.lo.assign(np, -1e6);
    if (fit.hi.empty()) fit.hi.assign(np, 1e6);
    if (fit.sig.empty()) fit.sig.assign(fit.y.size(), 1.0);
    using namespace common_data;
    nd = static_cast<int>(fit.y.size());
    nxd = 1;
    npr = static_cast<int>(np);
    ndwt = fit.mode;
    for (std::size_t i = 0; i < fit.y.size(); ++i) {
        xd[i] = fit.x[i];
        yd[i] = fit.y[i];
        ysig[i] = fit.sig[i];
    }
    for (std::size_t k = 0; k < np; ++k) {
        pmask[k] = fit.mask[k];
        pboundlo[k] = fit.lo[k];
        pboundhi[k] = fit.hi[k];
        pfinal[k] = fit.p[k];
    }
}

// Unweighted sum of squares of model(x) against the rows of fit.
template <class Model>
double plain_ssq(const Fit& fit, Model model) {
    double sum = 0.0;
    for (std::size_t i = 0; i < fit.y.size(); ++i) {
        const double r = fit.y[i] - model(fit.x[i]);
        sum += r * r;
    }
    return sum;
}

// Repeatable draws of the run time's generators while it lives (a fixed
// linear congruential sequence) and a run clock that stands still.
class FixedDraws {
public:
    explicit FixedDraws(unsigned long long seed = 1) {
        auto state = std::make_shared<unsigned long long>(seed);
        runtime::Hooks hooks;
        const auto next = [state] {
            *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
            return static_cast<double>(*state >> 11) / 9007199254740992.0;
        };
        hooks.random_number = next;
        hooks.simple_uniform = next;
        hooks.monotonic_seconds = [] { return 1000.0; };
        runtime::set_hooks(hooks);
    }
    ~FixedDraws() { runtime::reset_hooks(); }
    FixedDraws(const FixedDraws&) = delete;
    FixedDraws& operator=(const FixedDraws&) = delete;
};

// The Michaelis-Menten rows of Example 1 (X1, Y).
inline Fit michaelis_menten(std::vector<double> start) {
    Fit fit;
    fit.formula = "P2*X1/(P1+X1)";
    fit.x = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100};
    fit.y = {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7, 80.5, 90.0,
             87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0};
    fit.p = std::move(start);
    fit.lo = {1e-6, 1e-6};
    fit.hi = {1e6, 1e6};
    return fit;
}

}  // namespace optimizer_test
