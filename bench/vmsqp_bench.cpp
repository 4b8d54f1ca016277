// One call of the sequential-quadratic optimiser as the fitting driver makes
// it, on 1000 rows and 8 parameters: an exponential decay and two Gaussian
// peaks (the Gauss1 form) from a start 10% off.  The time of one call bounds
// how long a Cancel waits for the stage to end; the counters give the model
// evaluations of a call (funct::fun calls) and the start and end sums of
// squares.

#include <benchmark/benchmark.h>

#include <cmath>
#include <span>
#include <vector>

#include "model/funct.h"
#include "model/globals.h"
#include "optimizers/vmsqp.h"
#include "fit_data.h"

namespace {

constexpr int rows = 1000;
constexpr int params = 8;
const std::vector<double> truth = {98.8, 0.0105, 100.5, 67.5, 23.1, 71.99, 178.99, 18.39};

void set_up() {
    std::vector<double> x(rows), y(rows);
    for (int i = 0; i < rows; ++i) {
        const double xv = 0.25 * (i + 1);
        const double a = xv - truth[3], b = xv - truth[6];
        x[i] = xv;
        y[i] = truth[0] * std::exp(-truth[1] * xv) + truth[2] * std::exp(-a * a / (truth[4] * truth[4])) +
               truth[5] * std::exp(-b * b / (truth[7] * truth[7])) + 2.5 * std::sin(0.7 * i);
    }
    bench_fit::use_fit("P1*EXP(-P2*X1)+P3*EXP(-(X1-P4)^2/P5^2)+P6*EXP(-(X1-P7)^2/P8^2)", params, 1e4, x, y);
}

void BM_VmsqpCall(benchmark::State& state) {
    set_up();
    std::vector<double> start = truth;
    for (int k = 0; k < params; ++k) start[k] *= k % 2 == 0 ? 1.1 : 0.9;
    const std::vector<double> lo(params, 1e-6), hi(params, 1e4);
    const std::vector<int> mask(params, 1);
    const std::vector<double> y(common_data::yd.begin(), common_data::yd.begin() + rows), work(rows, 0.0);
    std::vector<double> w(rows), yfit(rows), res(rows), p;
    double f = 0.0, f_start = 0.0;
    long long evaluations = 0;
    for (auto _ : state) {
        p = start;
        f = 4.503599727262001e19;
        int mode = 0;
        const long long before = funct::evaluation_count();
        vmsqp_mod::vmsqp(100, params, rows, 1, 2 * params, mode, w, work, y, yfit, res, p, lo, hi, mask, f);
        evaluations = funct::evaluation_count() - before;
        benchmark::DoNotOptimize(f);
    }
    int mode = 0;
    initialize_vmsqp::model_function(rows, params, 1, mode, start, w, {}, y, yfit, res, f_start);
    state.counters["evaluations"] = static_cast<double>(evaluations);
    state.counters["ssq_start"] = f_start;
    state.counters["ssq_end"] = f;
}
BENCHMARK(BM_VmsqpCall)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
