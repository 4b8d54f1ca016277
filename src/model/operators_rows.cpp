// Block forms of the guarded exponential and logarithm.  Every value takes
// the operations of the one-value function in the same order; the loops
// over a chunk of values are written so that the compiler runs them in
// vector registers, and the rare values off the common path are finished
// by the one-value function.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/operators.h"
#include "model/operators_steps.h"

namespace operators {

namespace {

constexpr std::size_t chunk = 64;

// e[i] = qexp(y[i]) for i < m: the table entries one by one, the rest
// side by side.
[[gnu::always_inline]] inline void qexp_chunk(const double* y, double* e, std::size_t m) {
    double x[chunk], table[chunk];
    for (std::size_t i = 0; i < m; ++i) {
        x[i] = steps::qexp_by_table(y[i]) ? y[i] : 2.0;
        table[i] = steps::qexp_table_entry(x[i]);
    }
    for (std::size_t i = 0; i < m; ++i) e[i] = steps::qexp_with(x[i], table[i]);
    for (std::size_t i = 0; i < m; ++i)
        if (!steps::qexp_by_table(y[i])) e[i] = qexp(y[i]);
}

KALVOR_AVX2_CLONES void qexp_rows_chunk(const double* x, double* out, std::size_t m) {
    double e[chunk];
    qexp_chunk(x, e, m);
    std::copy_n(e, m, out);
}

KALVOR_AVX2_CLONES void aln_rows_chunk(const double* x, double* out, std::size_t m) {
    // Lanes off the series path take x = 2 (a value on every common path)
    // until the end.
    double a[chunk], y[chunk], e[chunk], distance[chunk];
    std::int64_t active[chunk], undecided[chunk];
    for (std::size_t i = 0; i < m; ++i) {
        const bool series = steps::aln_by_series(x[i]);
        a[i] = series ? std::fabs(x[i]) : 2.0;
        active[i] = series ? 1 : 0;
        y[i] = steps::aln_series(a[i]);
    }
    // The Newton steps stop once |d| <= tanh(a) 1e-8.  As tanh(a) lies
    // between a / (1 + a) and min(a, 1), bounds a little outside those
    // decide nearly every test; tanh itself is only computed for a |d|
    // between them, and the tests come out as the one-value function's.
    double low[chunk], high[chunk], tolerance[chunk];
    for (std::size_t i = 0; i < m; ++i) {
        low[i] = a[i] / (1.0 + a[i]) * 0.999999e-8;
        high[i] = std::min(a[i], 1.0) * 1.000001e-8;
        tolerance[i] = -1.0;  // tanh(a) 1e-8 once computed
    }
    for (int k = 0; k < 21; ++k) {
        std::int64_t any = 0;
        for (std::size_t i = 0; i < m; ++i) any |= active[i];
        if (any == 0) break;
        qexp_chunk(y, e, m);
        for (std::size_t i = 0; i < m; ++i) {
            const double d = e[i] - a[i];
            const double next = steps::aln_step(y[i], e[i], a[i]);
            y[i] = active[i] != 0 ? next : y[i];
            distance[i] = std::fabs(d);
            const std::int64_t converged = distance[i] <= low[i] ? 1 : 0;
            const std::int64_t beyond = distance[i] > high[i] ? 1 : 0;
            undecided[i] = active[i] & (1 - converged) & (1 - beyond);
            active[i] &= 1 - converged;
        }
        for (std::size_t i = 0; i < m; ++i) {
            if (undecided[i] == 0) continue;
            if (tolerance[i] < 0.0) tolerance[i] = std::tanh(a[i]) * 1e-8;
            if (distance[i] <= tolerance[i]) active[i] = 0;
        }
    }
    for (std::size_t i = 0; i < m; ++i)
        if (!steps::aln_by_series(x[i])) y[i] = aln(x[i]);
    std::copy_n(y, m, out);
}

template <class Chunk>
void by_chunks(std::span<const double> x, std::span<double> out, Chunk run) {
    const std::size_t n = std::min(x.size(), out.size());
    for (std::size_t first = 0; first < n; first += chunk) run(x.data() + first, out.data() + first, std::min(chunk, n - first));
}

}  // namespace

void qexp_rows(std::span<const double> x, std::span<double> out) { by_chunks(x, out, qexp_rows_chunk); }

void aln_rows(std::span<const double> x, std::span<double> out) { by_chunks(x, out, aln_rows_chunk); }

}  // namespace operators
