// The variable-metric optimisers on Rosenbrock's function plus 1 (as three
// residual rows: 10 (P2 - P1^2), 1 - P1 and 1) and on the NIST problem Misra1a from its first start, and the
// residual bootstrap band on Example 1 and on 1000 rows: time per call, and
// counters for the objective evaluations and the sum of squares reached.
//
// The NIST table with and without these services is bench/nist_table.sh run
// with the fit runner of each build.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/va10b.h"
#include "optimizers/varmetric.h"
#include "run/bootstrap_data.h"
#include "fit_data.h"

namespace {

using Vector = std::vector<double>;

struct Problem {
    std::string formula;
    Vector x, y, start;
};

// Rows x = 1, 2, 3 select the residual by the weights (2-x)(3-x)/2 and
// (x-1)(3-x); the third residual is the constant 1, so that the minimum sum
// 1 is not mistaken for an untrustworthy perfect fit.
Problem rosenbrock() {
    return {"(2-X1)*(3-X1)/2*10*(P1*P1-P2)+(X1-1)*(3-X1)*P1", {1, 2, 3}, {0, 1, 1}, {-1.2, 1.0}};
}

Problem misra1a() {
    return {"P1*(1-EXP(-P2*X1))",
            {77.6, 114.9, 141.1, 190.8, 239.9, 289.0, 332.8, 378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0},
            {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02, 44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78},
            {500.0, 1e-4}};
}

Problem example1() {
    Problem p{"P2*X1/(P1+X1)", {}, {3.2,  15.9, 35.8, 45.1, 69.1, 75.6, 76.6, 83.7,  80.5, 90.0,
                                    87.2, 94.3, 99.0, 90.7, 88.6, 97.0, 101.9, 90.8, 90.5, 105.0},
              {32.4983202, 136.9477322}};
    for (int k = 1; k <= 20; ++k) p.x.push_back(5.0 * k);
    return p;
}

// Example 1's curve on 1000 rows with a fixed saw-tooth disturbance.
Problem thousand_rows() {
    Problem p{"P2*X1/(P1+X1)", {}, {}, {32.5, 137.0}};
    for (int k = 1; k <= 1000; ++k) {
        const double x = 0.1 * k;
        p.x.push_back(x);
        p.y.push_back(137.0 * x / (32.5 + x) + 0.5 * ((k * 7) % 11 - 5));
    }
    return p;
}

// The problem as the current fit, unweighted, every parameter free.
void set_fit(const Problem& problem) {
    bench_fit::use_fit(problem.formula, static_cast<int>(problem.start.size()), 1e6, problem.x, problem.y);
}

void report(benchmark::State& state, long long evaluations, double ssq) {
    state.counters["evaluations"] = benchmark::Counter(static_cast<double>(evaluations) / state.iterations());
    state.counters["ssq"] = ssq;
}

void BM_va10b(benchmark::State& state, Problem (*make)()) {
    const Problem problem = make();
    set_fit(problem);
    const long long before = funct::evaluation_count();
    double f = 0.0;
    for (auto _ : state) {
        Vector p = problem.start, h(3, 1.0);
        int code = 0;
        va10b_mod::va10b_optimizer(common_data::nd, 2, p, f, h, 1, 1, 1000, code);
    }
    report(state, funct::evaluation_count() - before, f);
}

void BM_varmetric(benchmark::State& state, Problem (*make)()) {
    const Problem problem = make();
    set_fit(problem);
    const vmet::Objective vmfun = [](int n, std::span<const double> x, double& f) { funct::vmfun(n, x, f); };
    const long long before = funct::evaluation_count();
    double f = 0.0;
    for (auto _ : state) {
        Vector p = problem.start;
        funct::vmfun(2, p, f);
        int code = 0;
        vmet::varmetric(vmfun, 2, p, f, code);
    }
    report(state, funct::evaluation_count() - before, f);
}

// The band of 100 replicates after a fit at the problem's start vector.
void BM_bootstrap(benchmark::State& state, Problem (*make)()) {
    const Problem problem = make();
    set_fit(problem);
    const auto rows = problem.y.size();
    double f = 0.0;
    funct::vmfun(2, problem.start, f);
    std::copy(problem.start.begin(), problem.start.end(), common_data::pfinal.begin());
    common_data::fssqr = f;
    Vector mean(rows), lcl(rows), ucl(rows);
    const long long before = funct::evaluation_count();
    for (auto _ : state)
        bootstrap_data_mod::residual_bootstrap_regression(common_data::xd, common_data::yd, common_data::nd, 0.05,
                                                          100, 2, 1, mean, lcl, ucl);
    report(state, funct::evaluation_count() - before, f);
    state.counters["half_width_row1"] = ucl[0] - common_data::ydf[0];
}

}  // namespace

BENCHMARK_CAPTURE(BM_va10b, rosenbrock, rosenbrock)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_va10b, misra1a, misra1a)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_varmetric, rosenbrock, rosenbrock)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_varmetric, misra1a, misra1a)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_bootstrap, example1, example1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_bootstrap, rows1000, thousand_rows)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
