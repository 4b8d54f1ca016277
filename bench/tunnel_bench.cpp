// Cost of the opening searches (tunnel search, ADAM descent) and of the
// damped least-squares optimiser with and without its random polishing, on
// a compiled three-parameter decay model with 20 or 1000 data rows.
//
// Each benchmark reports the time per call and, as the counter
// "evaluations", the model evaluations (funct::fun calls) per call; for
// a23mrt also the final sum of squares ("ssq").

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/adam.h"
#include "optimizers/mrt_a23.h"
#include "optimizers/tunnelsearch.h"
#include "fit_data.h"

namespace {

const std::vector<double> start = {4.0, 0.3, 0.5};

// y = 5 exp(-0.4 x) + 1 with a fixed ripple, x over [0, 10], in the fit data.
void set_up(int rows) {
    std::vector<double> x(static_cast<std::size_t>(rows)), y(x.size());
    for (int i = 0; i < rows; ++i) {
        const auto r = static_cast<std::size_t>(i);
        x[r] = 10.0 * i / (rows - 1);
        y[r] = 5.0 * std::exp(-0.4 * x[r]) + 1.0 + 0.01 * std::sin(7.0 * i);
    }
    bench_fit::use_fit("P1*EXP(-P2*X1)+P3", 3, 100.0, x, y);
}

double objective_at(std::span<const double> p) {
    std::vector<double> r(static_cast<std::size_t>(common_data::nd));
    double f = 0.0;
    mrt_a23_mod::mrtfun(3, p, r, f);
    return f;
}

const kalvor::Objective objective = [](std::span<const double> p, int, double& f) { f = objective_at(p); };
const std::vector<double> lo(3, -100.0), hi(3, 100.0);
const std::vector<int> mask(3, 1);

void report(benchmark::State& state, long long evaluations) {
    state.counters["evaluations"] =
        benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kAvgIterations);
}

void BM_tunnelsearch(benchmark::State& state) {
    set_up(static_cast<int>(state.range(0)));
    const long long before = funct::evaluation_count();
    for (auto _ : state) {
        std::vector<double> p = start;
        double ssq = objective_at(p);
        tunnelsearch::tunnelsearch(objective, 3, p, ssq, lo, hi, mask);
        benchmark::DoNotOptimize(ssq);
    }
    report(state, funct::evaluation_count() - before);
}

void BM_adam(benchmark::State& state) {
    set_up(static_cast<int>(state.range(0)));
    const long long before = funct::evaluation_count();
    for (auto _ : state) {
        std::vector<double> p = start;
        int iter = 0;
        double ssq = 0.0;
        adam::adam(objective, 3, common_data::nd, p, mask, lo, hi, iter, ssq);
        benchmark::DoNotOptimize(ssq);
    }
    report(state, funct::evaluation_count() - before);
}

void BM_a23mrt(benchmark::State& state) {
    set_up(static_cast<int>(state.range(0)));
    const int mode = static_cast<int>(state.range(1));
    const long long before = funct::evaluation_count();
    double ssq = 0.0;
    for (auto _ : state) {
        std::vector<double> p = start;
        int cap = 500;
        mrt_a23_mod::a23mrt(3, p, common_data::nd, 0.001f, ssq, cap, 0, mode);
        benchmark::DoNotOptimize(ssq);
    }
    report(state, funct::evaluation_count() - before);
    state.counters["ssq"] = ssq;
}

BENCHMARK(BM_tunnelsearch)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_adam)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_a23mrt)->Args({20, 0})->Args({20, 1})->Args({1000, 0})->Args({1000, 1})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
