#pragma once
// The common paths of operators::qexp and operators::aln, and
// operators::sqroot, as inline steps shared by the one-value functions
// (operators.cpp) and the block forms (operators_rows.cpp, the block
// evaluator), so that both run the same operations in the same order.
// Internal to the guarded functions and the formula engine.

#include <cmath>

#include "model/operators.h"

// The block loops are built for AVX2 as well, chosen at load time when the
// processor has it.  A ThreadSanitizer build leaves that choice out: the
// loader runs the choosing function before the sanitizer has started.
#ifdef KALVOR_NO_TARGET_CLONES
#define KALVOR_AVX2_CLONES
#else
#define KALVOR_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#endif

namespace operators::steps {

// Whether qexp(x) is found from the table: 1e-16 < |x| <= 40.
inline bool qexp_by_table(double x) {
    const double ax = std::fabs(x);
    return (ax > 1e-16) & (ax <= 40.0);
}

// qexp(x) where qexp_by_table(x), with table = e^n from the table for n the
// integer part of |x|: table times (1 + f/4096)^4096 by twelve squarings
// with a second-order correction for the fraction f (nothing below 1e-6),
// inverted for x < 0.  Both sides of each choice are computed and one is
// picked, which lets the block form run without branches.
inline double qexp_with(double x, double table) {
    const double ax = std::fabs(x);
    const double inverse = 1.0 / table;
    const double t = x < 0.0 ? inverse : table;
    const double f = ax - static_cast<int>(ax);
    double g = 1.0 + f / 4096.0;
#pragma GCC unroll 12
    for (int k = 0; k < 12; ++k) g *= g;
    g *= 1.0 + f * f / 8192.0 * (1.0 + (f * f / 4.0 - f / 2.0) / 4096.0);
    const double g_inverse = 1.0 / g;
    const double tg = t * (x < 0.0 ? g_inverse : g);
    return f <= 1e-6 ? t : tg;
}

inline double qexp_table_entry(double x) { return exp_table[static_cast<int>(std::fabs(x))]; }

inline double qexp_table(double x) { return qexp_with(x, qexp_table_entry(x)); }

// Whether aln(x) is found by its series and Newton steps:
// 2.22e-16 < |x| < 4.5e15 (NaN and infinities have fixed values).
inline bool aln_by_series(double x) {
    const double ax = std::fabs(x);
    return (ax > 2.22e-16) & (ax < 4.5e15);
}

// The start of aln for x > 0: 2 atanh(t) up to t^19, t = (x - 1) / (x + 1).
inline double aln_series(double x) {
    const double t = (x - 1.0) / (x + 1.0);
    const double t2 = t * t;
    double power = t, y = 0.0;
#pragma GCC unroll 10
    for (int k = 1; k <= 19; k += 2) {
        y += power / k;
        power *= t2;
    }
    return y * 2.0;
}

// Newton's step on e^y = x from y, with e = qexp(y).
inline double aln_step(double y, double e, double x) { return y - 2.0 * (e - x) / (e + x); }

// sqroot, inline so that the block evaluator's loop over a block runs it in
// vector registers.
inline double sqroot(double x) {
    constexpr double tiny = 4.930380658e-32;
    const double root = std::copysign(std::sqrt(std::fabs(x + tiny)), x);
    return std::fabs(x) <= tiny ? 0.0 : root;
}

}  // namespace operators::steps
