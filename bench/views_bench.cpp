// Cost of the result views' text work: the CSV export of a full data set,
// the condition-index report, the x/y data text and axis scaling.

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "shell/resultviews.h"
#include "views/axisscale.h"
#include "views/resultsbox.h"
#include "views/xydatabox.h"

namespace {

// 1000 rows with three x columns in ten curves of 100 rows.
void BM_CsvText1000Rows(benchmark::State& state) {
    std::vector<double> x1(1000), x2(1000), x3(1000), y(1000), yc(1000), r(1000);
    std::vector<int> id(1000);
    for (int i = 0; i < 1000; ++i) {
        x1[i] = i / 7.0;
        x2[i] = 1.0 + i / 3.0;
        x3[i] = -i / 11.0;
        y[i] = 2.0 * i / 13.0;
        yc[i] = y[i] + 1e-3 / (i + 1);
        r[i] = 0.1 * (i % 17) - 0.8;
        id[i] = i / 100;
    }
    const xydatabox::CsvData d{1000, 3, x1, x2, x3, y, yc, r, id};
    for (auto _ : state) benchmark::DoNotOptimize(xydatabox::csv_text(d));
}
BENCHMARK(BM_CsvText1000Rows)->Unit(benchmark::kMillisecond);

void BM_ConditionReport8(benchmark::State& state) {
    kalvor::Matrix m(11, 11);
    for (std::size_t i = 0; i < 9; ++i)
        for (std::size_t j = 0; j < 9; ++j) m(i, j) = j == 0 ? 1.0 + 150.0 * static_cast<double>(i) : 0.1;
    const std::array<int, 10> mask{1, 1, 1, 1, 1, 1, 1, 1};
    for (auto _ : state) benchmark::DoNotOptimize(resultsbox::condition_report(8, mask, m));
}
BENCHMARK(BM_ConditionReport8)->Unit(benchmark::kMicrosecond);

void BM_XYDataText62Lines(benchmark::State& state) {
    std::array<kalvor::Text<220>, 62> lines;
    for (auto& l : lines) l.assign("   1.2500000E+01   3.4567890E+00   3.4500000E+00   1.2345678E-01");
    for (auto _ : state) benchmark::DoNotOptimize(resultviews::xydata_text(lines, 62));
}
BENCHMARK(BM_XYDataText62Lines)->Unit(benchmark::kMicrosecond);

void BM_Neatscale(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        double a = -3.0 - (i % 50), b = 7.0 + (i % 1000), step = 0.0;
        ++i;
        benchmark::DoNotOptimize(axisscale::neatscale(a, b, step, 40));
    }
}
BENCHMARK(BM_Neatscale);

}  // namespace

BENCHMARK_MAIN();
