// The Levenberg-Marquardt optimiser on 1000 rows and 8 parameters: one
// objective evaluation, one Jacobian (their time ratio is the number of
// whole-data evaluations per Jacobian, 1 + 2 x 8 = 17) and one call as the
// fitting driver makes it (cycle cap 10, level 2).

#include <benchmark/benchmark.h>

#include <cmath>
#include <string_view>
#include <vector>

#include "foundations/matrix.h"
#include "model/globals.h"
#include "optimizers/marq.h"
#include "fit_data.h"

namespace {

constexpr int rows = 1000;
constexpr int params = 8;
constexpr std::string_view formula = "P1*EXP(-P2*X1)+P3*EXP(-P4*X1)+P5*SIN(P6*X1)+P7+P8*X1";
const std::vector<double> truth = {5.0, 0.8, 2.0, 0.1, 0.5, 3.0, 1.0, 0.05};

// The model of formula at p and X1 = x.
double model(const std::vector<double>& p, double x) {
    return p[0] * std::exp(-p[1] * x) + p[2] * std::exp(-p[3] * x) + p[4] * std::sin(p[5] * x) + p[6] + p[7] * x;
}

// The fit data: X1 = 0.01..10, y = the model at truth plus a fixed ripple
// the formula compiled, all parameters active.
struct Problem {
    kalvor::Matrix x{rows, 1}, y{rows, 1};
    std::vector<double> sigma = std::vector<double>(rows, 1.0);

    explicit Problem(double ripple) {
        bench_fit::use_model(formula, params, 100.0);
        for (std::size_t i = 0; i < rows; ++i) {
            x(i, 0) = 0.01 * static_cast<double>(i + 1);
            y(i, 0) = model(truth, x(i, 0)) + ripple * std::sin(37.0 * static_cast<double>(i));
        }
    }
    marq::Data data() const { return {rows, 1, 1, x, y, marq::kind_none, sigma}; }
};

void BM_evaluation(benchmark::State& state) {
    const Problem problem(0.05);
    marq::Eval e;
    for (auto _ : state) {
        marq::funy(problem.data(), truth, params, e);
        benchmark::DoNotOptimize(e.ssq);
    }
}

void BM_jacobian(benchmark::State& state) {
    const Problem problem(0.05);
    std::vector<double> p = truth;
    kalvor::Matrix jac;
    marq::Eval at;
    for (auto _ : state) {
        marq::fjac21(problem.data(), p, params, jac, at);
        benchmark::DoNotOptimize(jac.data());
    }
}

void BM_marq_call(benchmark::State& state) {
    const Problem problem(0.05);
    const std::vector<double> start = {5.5, 0.75, 1.8, 0.11, 0.45, 3.02, 1.1, 0.045};
    marq::Eval e;
    marq::funy(problem.data(), start, params, e);
    const double start_ssq = e.ssq;
    double ssq = 0.0;
    for (auto _ : state) {
        std::vector<double> p = start, yfit(rows), se(params), ci(params), shares(params);
        const std::vector<double> lo(params, -100.0), hi(params, 100.0);
        kalvor::Matrix cov, corr;
        ssq = start_ssq;
        int status = 0;
        marq_mod::marq(rows, 1, 1, params, problem.x, problem.y, yfit, 0, cov, corr, 0, problem.sigma, p, lo, hi, se,
                       ci, shares, 1.1 * start_ssq, 10, ssq, 0, 2, status);
        benchmark::DoNotOptimize(p.data());
    }
    state.counters["start_ssq"] = start_ssq;
    state.counters["final_ssq"] = ssq;
}

}  // namespace

BENCHMARK(BM_evaluation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_jacobian)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_marq_call)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
