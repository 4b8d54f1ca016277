#pragma once
// Test helpers for the fitting driver's routines: compile a model formula and
// set up one fit in the shared fit data and in a DriverState.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "foundations/random.h"
#include "foundations/runtime.h"
#include "model/formula_check.h"
#include "model/globals.h"
#include "run/sharc_state.h"

namespace sharc_test {

struct FitProblem {
    std::string formula;           // right-hand side of "Y=", e.g. "P1+P2*X1"
    std::vector<double> x;         // X1 per row (one X variable)
    std::vector<double> y;         // observed values
    std::vector<double> p;         // start parameters
    std::vector<int> mask;         // empty: all active
    std::vector<double> lo, hi;    // empty: -1e6 and 1e6
    int mode = 0;                  // weighting mode
    int bounded = 0;
    std::vector<double> sig;       // empty: 1 per row
};

// Compile formula with np parameters and nx X variables as the model of the fit.
inline void compile_model(const std::string& formula, int np, int nx = 1) {
    kalvor::Text<512> text(formula);
    const std::vector<double> p(static_cast<std::size_t>(np), 1.0);
    const std::vector<double> x(static_cast<std::size_t>(nx), 1.0);
    double y = fnparse2_recompile;
    ASSERT_TRUE(fnparse2(p, x, np, nx, 1, text.view(), y)) << formula;
    common_udf::cudf = formula;
}

// Fresh run state, the model compiled, the data in common_data; returns
// problem with its defaults filled in.
inline FitProblem set_up_data(FitProblem problem) {
    globals::reset_run_state();
    const auto np = problem.p.size();
    compile_model(problem.formula, static_cast<int>(np));
    if (problem.mask.empty()) problem.mask.assign(np, 1);
    if (problem.lo.empty()) problem.lo.assign(np, -1e6);
    if (problem.hi.empty()) problem.hi.assign(np, 1e6);
    if (problem.sig.empty()) problem.sig.assign(problem.y.size(), 1.0);

    using namespace common_data;
    nd = static_cast<int>(problem.y.size());
    nxd = 1;
    npr = static_cast<int>(np);
    ndwt = problem.mode;
    for (std::size_t i = 0; i < problem.y.size(); ++i) {
        xd[i] = problem.x[i];
        yd[i] = problem.y[i];
        ysig[i] = problem.sig[i];
    }
    for (std::size_t k = 0; k < np; ++k) {
        pmask[k] = problem.mask[k];
        pboundlo[k] = problem.lo[k];
        pboundhi[k] = problem.hi[k];
        pfinal[k] = problem.p[k];
    }
    return problem;
}

// The same, and the data in s.
inline void set_up_fit(sharc::DriverState& s, const FitProblem& given) {
    const FitProblem problem = set_up_data(given);
    const int rows = static_cast<int>(problem.y.size());
    kalvor::Matrix x(static_cast<std::size_t>(rows), 1);
    for (int i = 0; i < rows; ++i) x(static_cast<std::size_t>(i), 0) = problem.x[static_cast<std::size_t>(i)];
    s.set_data(x, problem.y, problem.sig, 1, rows);
    s.mode = problem.mode;
    s.bounded = problem.bounded;
    s.set_parameters(problem.p, problem.mask, problem.lo, problem.hi, static_cast<int>(problem.p.size()));
}

// Repeatable random numbers while it lives: the simple and the seedable
// generator from a fixed linear congruential sequence, a clock that stands
// still, and the lagged generator back at its start state.
class Repeatable {
public:
    explicit Repeatable(unsigned seed = 1) : state_(std::make_shared<unsigned long long>(seed)) {
        runtime::Hooks hooks;
        const auto next = [state = state_] {
            *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
            return static_cast<double>(*state >> 11) / 9007199254740992.0;
        };
        hooks.simple_uniform = next;
        hooks.random_number = next;
        hooks.monotonic_seconds = [] { return 1000.0; };
        hooks.now = [] { return runtime::Clock::time_point(std::chrono::seconds(1700000000)); };
        runtime::set_hooks(hooks);
        randomize::reset();
    }
    ~Repeatable() { runtime::reset_hooks(); }
    Repeatable(const Repeatable&) = delete;
    Repeatable& operator=(const Repeatable&) = delete;

private:
    std::shared_ptr<unsigned long long> state_;
};

// Every entry of p within [lo, hi].
inline bool inside(const std::vector<double>& p, const std::vector<double>& lo, const std::vector<double>& hi) {
    for (std::size_t k = 0; k < p.size(); ++k)
        if (!(p[k] >= lo[k] && p[k] <= hi[k])) return false;
    return true;
}

// Least squares of a straight line y = a + b x, in closed form: the line,
// its residual sum, the standard errors and the correlation of a and b.
struct Line {
    double a, b, ssq, se_a, se_b, corr;
};
inline Line least_squares_line(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double det = n * sxx - sx * sx;
    Line l{};
    l.b = (n * sxy - sx * sy) / det;
    l.a = (sy - l.b * sx) / n;
    for (std::size_t i = 0; i < x.size(); ++i) l.ssq += std::pow(y[i] - l.a - l.b * x[i], 2);
    const double s2 = l.ssq / (n - 2);
    l.se_a = std::sqrt(s2 * sxx / det);
    l.se_b = std::sqrt(s2 * n / det);
    l.corr = -sx / std::sqrt(n * sxx);
    return l;
}

// Decay data y = 2 exp(-0.5 x) with a small fixed disturbance, x = 0.5..4.
inline FitProblem decay_problem() {
    FitProblem problem;
    problem.formula = "P1*EXP(P2*X1)";
    const double noise[8] = {0.01, -0.02, 0.015, -0.01, 0.005, -0.015, 0.02, -0.005};
    for (int k = 1; k <= 8; ++k) {
        const double xv = 0.5 * k;
        problem.x.push_back(xv);
        problem.y.push_back(2.0 * std::exp(-0.5 * xv) + noise[k - 1]);
    }
    problem.p = {1.2, -0.2};
    problem.lo = {0.5, -2.0};
    problem.hi = {5.0, -0.05};
    return problem;
}

// 100 (P2 - P1^2)^2 + (1 - P1)^2 as the residuals of two rows, from the
// classic start (-1.2, 1).
inline FitProblem rosenbrock_problem() {
    FitProblem problem;
    problem.formula = "X1*10*(P2-P1^2)+(1-X1)*P1";
    problem.x = {1.0, 0.0};
    problem.y = {0.0, 1.0};
    problem.p = {-1.2, 1.0};
    return problem;
}

// The straight line of the statistics tests: y = a + b x, x = 1..8.
inline FitProblem line_problem() {
    FitProblem problem;
    problem.formula = "P1+P2*X1";
    problem.x = {1, 2, 3, 4, 5, 6, 7, 8};
    problem.y = {2.1, 3.9, 6.2, 7.8, 10.1, 12.2, 13.8, 16.1};
    problem.p = {0.03571428571428292, 1.9976190476190478};
    return problem;
}

}  // namespace sharc_test
