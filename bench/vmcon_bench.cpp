// One call of each constrained variable-metric optimiser on 1000 rows and
// eight parameters: the two-peak model of the NIST problem Gauss1 on data
// made from its certified parameters with a small fixed disturbance, from a
// start near the NIST second start. Counters: model evaluations of the call
// (each funct::fun call evaluates all rows), iterations, outcome code and
// the final sum of squares against the start's.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/vmcwd_vmcon.h"
#include "fit_data.h"

namespace {

constexpr int rows = 1000;
constexpr int np = 8;
constexpr std::array<double, np> certified = {98.778, 0.010497, 100.49, 67.481, 23.129, 71.995, 178.998, 18.389};
constexpr std::array<double, np> start = {96.0, 0.009, 103.0, 64.0, 22.0, 74.0, 177.0, 17.0};

void set_up() {
    std::vector<double> x(rows), y(rows);
    for (int k = 0; k < rows; ++k) {
        const double xv = 0.25 * (k + 1);
        const double a = xv - certified[3], b = xv - certified[6];
        x[k] = xv;
        y[k] = certified[0] * std::exp(-certified[1] * xv) +
               certified[2] * std::exp(-a * a / (certified[4] * certified[4])) +
               certified[5] * std::exp(-b * b / (certified[7] * certified[7])) + 2.0 * std::sin(0.7 * k);
    }
    bench_fit::use_fit("P1*EXP(-P2*X1)+P3*EXP(-(X1-P4)^2/P5^2)+P6*EXP(-(X1-P7)^2/P8^2)", np, 1000.0, x, y);
}

void run(benchmark::State& state, vmcwd_vmcon_mod::Optimiser optimiser) {
    set_up();
    std::vector<double> x(start.begin(), start.end()), g(np), c(2 * np), first(x);
    kalvor::Matrix cnorm;
    double f = 0.0, conv = 0.0, f0 = 0.0;
    std::vector<double> g0(np), c0(3 * np);
    kalvor::Matrix a;
    funct::calcfg(np, first, f0, g0, c0, a);
    int info = 0, niter = 0;
    const long long before = funct::evaluation_count();
    for (auto _ : state) optimiser(np, x, f, g, c, cnorm, 100, 1e-10, -1, info, 40, conv, niter, 1, 0);
    state.counters["evaluations"] = static_cast<double>(funct::evaluation_count() - before);
    state.counters["iterations"] = niter;
    state.counters["info"] = info;
    state.counters["f_start"] = f0;
    state.counters["f_end"] = f;
}

void BM_vmcon(benchmark::State& state) { run(state, vmcwd_vmcon_mod::vmcon); }
void BM_vmcwd(benchmark::State& state) { run(state, vmcwd_vmcon_mod::vmcwd); }

}  // namespace

BENCHMARK(BM_vmcon)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_vmcwd)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
