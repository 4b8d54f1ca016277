// Time and model evaluations of one Gauss-Newton solve and one differential
// evolution (generation cap 350) on 1000 rows and 4 parameters, and the cost
// of one freshly reseeded uniform draw of the evolution.
//
// The model is y = P1 exp(-P2 X1) + P3 X1 + P4 with a fixed disturbance;
// every call starts from the same point.  The evolution draws its numbers
// the way a fit does (freshly reseeded, from repeatable clock readings); its
// counters give its evaluations and generations.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "foundations/runtime.h"
#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/evolutions.h"
#include "optimizers/gn_module.h"
#include "fit_data.h"

namespace {

constexpr int rows = 1000;
// The Gauss-Newton start lies far from the optimum; the evolution's within
// a hundredfold of its sum (a larger drop is not trusted and gives the start back).
const std::vector<double> gn_start = {1.5, 0.5, 0.2, 1.0};
const std::vector<double> evol_start = {2.6, 1.0, 0.35, 2.1};

// The model compiled and its 1000 rows in the shared fit data; returns the
// weighted sum of squares at start.
double set_up(const std::vector<double>& start) {
    std::vector<double> xs(rows), ys(rows);
    for (int i = 0; i < rows; ++i) {
        xs[i] = 0.01 * i;
        ys[i] = 3.0 * std::exp(-1.2 * xs[i]) + 0.4 * xs[i] + 2.0 + 0.01 * std::sin(7.0 * i);
    }
    bench_fit::use_fit("P1*EXP(-P2*X1)+P3*X1+P4", 4, 100.0, xs, ys);
    using namespace common_data;
    kalvor::Matrix x(rows, 1);
    for (int i = 0; i < rows; ++i) x(i, 0) = xd[i];
    std::vector<double> fitted(rows);
    double f = 0.0;
    funct::fun(x, yd, start, 4, 1, rows, 0, fitted, ysig, f);
    return f;
}

void BM_GaussNewton(benchmark::State& state) {
    const std::vector<double>& start = gn_start;
    const double f0 = set_up(start);
    double value = 0.0;
    long long evaluations = 0;
    for (auto _ : state) {
        std::vector<double> p = start;
        value = f0;
        int info = 0;
        const long long before = funct::evaluation_count();
        gn_module::gn_main(rows, 4, p, value, info);
        evaluations += funct::evaluation_count() - before;
    }
    state.counters["evaluations"] = benchmark::Counter(static_cast<double>(evaluations) / state.iterations());
    state.counters["start"] = f0;
    state.counters["value"] = value;
}
BENCHMARK(BM_GaussNewton)->Unit(benchmark::kMillisecond);

void BM_Evolution(benchmark::State& state) {
    const std::vector<double>& start = evol_start;
    const double f0 = set_up(start);
    // The real reseeded draws, from the clock readings of repeatable runs.
    runtime::set_hooks(runtime::repeatable_clock());
    double value = 0.0;
    long long evaluations = 0, generations = 0;
    for (auto _ : state) {
        std::vector<double> p = start;
        value = f0;
        int gens = 0;
        const long long before = funct::evaluation_count();
        evolutions::evol(rows, 4, p, value, gens, 350);
        evaluations += funct::evaluation_count() - before;
        generations += gens;
    }
    runtime::reset_hooks();
    const double calls = static_cast<double>(state.iterations());
    state.counters["evaluations"] = benchmark::Counter(static_cast<double>(evaluations) / calls);
    state.counters["generations"] = benchmark::Counter(static_cast<double>(generations) / calls);
    state.counters["start"] = f0;
    state.counters["value"] = value;
}
BENCHMARK(BM_Evolution)->Unit(benchmark::kMillisecond);

void BM_ReseededDraw(benchmark::State& state) {
    double u = 0.0;
    for (auto _ : state) {
        evolutions::randomu(u);
        benchmark::DoNotOptimize(u);
    }
}
BENCHMARK(BM_ReseededDraw);

}  // namespace

BENCHMARK_MAIN();
