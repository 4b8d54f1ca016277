// The residuals window's work at 1000 rows: each of its six tests (text
// included) and one drawing of the residual plot with a trend line.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/globals.h"
#include "platform/appgraphics.h"
#include "views/residual_reports.h"
#include "views/residualsbox.h"
#include "window_bench.h"

namespace ag = appgraphics;

namespace {

constexpr int rows = 1000;

struct Fit {
    std::vector<double> x, y, yfit, ydr;
    Fit() : x(rows), y(rows), yfit(rows), ydr(rows) {
        std::mt19937 engine(1);
        std::normal_distribution<double> normal;
        for (int i = 0; i < rows; ++i) {
            const auto k = static_cast<std::size_t>(i);
            x[k] = i;
            y[k] = 5.0 + 0.01 * i;
            ydr[k] = normal(engine);
            yfit[k] = y[k] + 0.1 * ydr[k];
        }
    }
};
const Fit fit;

void BM_Runs(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(residual_reports::runs(fit.y, fit.yfit));
}
void BM_FTest(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(residual_reports::f_test(fit.y, fit.yfit));
}
void BM_DurbinWatson(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(residual_reports::durbin_watson(fit.ydr));
}
void BM_KolmogorovSmirnov(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(residual_reports::kolmogorov_smirnov(fit.y, fit.yfit));
}
void BM_KuiperV(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(residual_reports::kuiper(fit.y, fit.yfit));
}
void BM_TSquared(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(residual_reports::t_squared(fit.x, fit.y, fit.yfit));
}

void BM_DrawLine(benchmark::State& state) {
    common_data::nd = rows;
    for (int i = 0; i < rows; ++i) {
        const auto k = static_cast<std::size_t>(i);
        common_data::ydr[k] = fit.ydr[k];
        common_data::xdr[k] = i + 1.0;
    }
    common_data::resxaxislable = {0.0, static_cast<double>(rows)};
    const window_bench::BenchWindow window;
    for (auto _ : state) residualsscreen::draw_line();
}

BENCHMARK(BM_Runs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FTest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DurbinWatson)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KolmogorovSmirnov)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KuiperV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TSquared)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawLine)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return window_bench::run(argc, argv); }
