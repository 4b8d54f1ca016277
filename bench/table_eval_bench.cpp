// One evaluation of the objective (funct::fun) on the largest table the
// program takes (bench/Large1000.DAT's model: 8 parameters, 3 X variables)
// for several table sizes, weightings and thread counts, to see from which
// size sharing the rows among threads pays.
//
// Arguments of each case: rows, weighting mode (0 none, 3 robust), threads
// (0: as many as measuring finds to pay).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "foundations/fixed_text.h"
#include "foundations/matrix.h"
#include "model/formula_check.h"
#include "model/funct.h"
#include "model/globals.h"
#include "model/row_threads.h"

namespace {

constexpr std::string_view formula = "P1*EXP(-P2*X1)+P3*SIN(P4*X2)+P5*X3^2+P6*LOG(X1+1)+P7*X1*X2/(1+X3)+P8";
const std::vector<double> p = {5.0, 0.7, 2.0, 1.3, 0.5, 1.5, 0.8, 3.0};

void BM_Objective(benchmark::State& state) {
    const auto rows = static_cast<std::size_t>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    row_threads::set_thread_count(static_cast<int>(state.range(2)));
    globals::reset_run_state();
    const kalvor::Text<512> text(formula);
    double y0 = fnparse2_recompile;
    if (!fnparse2(p, std::vector<double>(3, 1.0), 8, 3, 1, text.view(), y0)) std::abort();
    common_udf::cudf = formula;
    kalvor::Matrix x(rows, 3);
    std::vector<double> y(rows), sig(rows, 1.0), fitted(rows);
    for (std::size_t i = 0; i < rows; ++i) {
        x(i, 0) = 5.0 * std::fmod(0.37 * static_cast<double>(i), 1.0);
        x(i, 1) = 6.0 * std::fmod(0.61 * static_cast<double>(i), 1.0);
        x(i, 2) = 2.0 * std::fmod(0.29 * static_cast<double>(i), 1.0);
        y[i] = 10.0 + std::sin(static_cast<double>(i));
    }
    double f = 0.0;
    for (auto _ : state) {
        funct::fun(x, y, p, 8, 3, static_cast<int>(rows), mode, fitted, sig, f);
        benchmark::DoNotOptimize(f);
    }
    row_threads::set_thread_count(0);
    state.counters["ns_per_row"] =
        benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Objective)
    ->ArgsProduct({{64, 128, 256, 512, 1000}, {0, 3}, {0, 1, 2, 4, 8}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
