// Inversion and eigen decomposition of the matrix sizes a fit uses (8 and 10
// parameters), timed per call.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "foundations/condindex.h"
#include "foundations/eigen.h"
#include "foundations/matrix.h"
#include "foundations/matrixinverse.h"
#include "foundations/robust_gj.h"
#include "foundations/runtime.h"

using kalvor::Matrix;

namespace {

// A symmetric positive definite matrix like a curvature matrix J'J.
Matrix spd_matrix(int n) {
    std::vector<std::int32_t> seed(runtime::random_seed_size(), 42);
    runtime::random_seed_put(seed);
    Matrix j(3 * n, n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < 3 * n; ++r) j(r, c) = 2.0 * runtime::random_number() - 1.0;
    Matrix a(n, n);
    for (int c = 0; c < n; ++c)
        for (int r = 0; r < n; ++r) {
            double s = 0.0;
            for (int k = 0; k < 3 * n; ++k) s += j(k, r) * j(k, c);
            a(r, c) = s;
        }
    return a;
}

void BM_lumatinv(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Matrix a = spd_matrix(n);
    for (auto _ : state) {
        Matrix w = a;
        int info = 0;
        matrixinverse::lumatinv(n, w, info);
        benchmark::DoNotOptimize(w.data());
    }
}

void BM_kaiser(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Matrix a = spd_matrix(n);
    const std::vector<double> sv(n, 1.0);
    for (auto _ : state) {
        Matrix w = a;
        int ifault = 0;
        matrixinverse::kaiser(w, n, sv, 1e-6, ifault);
        benchmark::DoNotOptimize(w.data());
    }
}

void BM_robust_gj_mat_inv(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Matrix a = spd_matrix(n);
    for (auto _ : state) {
        Matrix w = a;
        int ok = 0;
        robust_gj_matinv::robust_gj_mat_inv(w, n, ok, 1);
        benchmark::DoNotOptimize(w.data());
    }
}

void BM_eigenjacobi(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Matrix a = spd_matrix(n);
    Matrix v(n, n);
    for (auto _ : state) {
        Matrix w = a;
        eigenvlvc::eigenjacobi(w, v, n, 1e-12);
        benchmark::DoNotOptimize(v.data());
    }
}

void BM_eigenvv(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Matrix a = spd_matrix(n);
    std::vector<double> eval(n), pct(n);
    Matrix evec(n, n), evec2(n, n), infl(n, n);
    for (auto _ : state) {
        eigenvlvc::eigenvv(n, n, a, eval, pct, evec, evec2, infl);
        benchmark::DoNotOptimize(infl.data());
    }
}

void BM_eigen_cond_index(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Matrix a = spd_matrix(n);
    Matrix c(n + 1, n + 1);
    for (auto _ : state) {
        int maxit = 100;
        condindex::eigen_cond_index(a, c, n, 1e-8, maxit);
        benchmark::DoNotOptimize(c.data());
    }
}

}  // namespace

BENCHMARK(BM_lumatinv)->Arg(8)->Arg(10);
BENCHMARK(BM_kaiser)->Arg(8)->Arg(10);
BENCHMARK(BM_robust_gj_mat_inv)->Arg(8)->Arg(10);
BENCHMARK(BM_eigenjacobi)->Arg(8)->Arg(10);
BENCHMARK(BM_eigenvv)->Arg(8)->Arg(10);
BENCHMARK(BM_eigen_cond_index)->Arg(8)->Arg(10);

BENCHMARK_MAIN();
