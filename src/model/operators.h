#pragma once
// Guarded special functions of the formula language and the optimisers.
//
// None of these routines fails or signals: a dangerous argument (zero,
// negative, NaN, overflowing) gives a fixed finite value instead.
//
// The formula evaluator uses omegawo ("OMEGW", Lambert W), operators::aln
// ("LOG") and operators::sqroot ("SQRT"); operators::qexp is the guarded
// exponential behind operators::aln and several optimisers.  The remaining
// Lambert W variants, exponentials, logarithms and powers are available to any
// caller.

#include <cstdint>
#include <span>

// ---- Lambert W, principal branch (w * e^w = x) ----

// W(x) with fixed values at the special points: 0 below and at -1/e < x <= 0
// (-1 at x = -1/e), W(1) and W(e) exact, 100 for x >= 3e45, x(1 - x) for
// 0 < x < 1e-8; otherwise a start value, three fixed-point steps and one
// fourth-order correction.
double omegawo(double x);
// W(x) for x >= 0 (a negative x counts as 0): start value, up to three
// fourth-order corrections, then up to three Halley steps.
double omegaw(double x);
// The start of omegaw from max(x, 0), followed by fourth-order corrections
// only.
double omgaw(double x);
// The start of omegaw clamped to [-65, 65]; a correction is kept only when
// it is a number, not negative and at most 1.01 times the start.
double omagaw(double x);
// W(x) for x >= 0: 0.999998 x for tiny x, else rounds of one correction and
// one Halley step.
double w(double x);
// As w, with the correction computed in a second algebraic form.
double wtwo(double x);

namespace operators {

// e^n for n = 0..40.
extern const double exp_table[41];

// Guarded exponential: 1 for NaN and |x| <= 1e-16, 1e32 / 1e-32 beyond
// +-70 (and for arguments too large to add 1e16 to), the library exponential
// for 40 < |x| < 70, else the table times a twelve-fold squaring.
double qexp(double x);
// Natural logarithm of |x|: -36 for NaN and |x| <= 2.22e-16, 36 for
// infinity and |x| >= 4.5e15, else a series refined by Newton steps on qexp.
double aln(double x);
// Square root of |x| carrying the sign of x; 0 for |x| <= 4.930380658e-32.
double sqroot(double x);

// Block forms: out[i] is bit for bit qexp(x[i]), aln(x[i]) for every i, the
// values computed side by side in vector registers (aln's Newton steps go on
// lane by lane until each value has converged, and its stopping test needs
// tanh only where bounds on it cannot decide).  out may be x itself.
void qexp_rows(std::span<const double> x, std::span<double> out);
void aln_rows(std::span<const double> x, std::span<double> out);

// Lambert W: the special values of omegawo, then the start of omagaw and up
// to three corrections kept only when not negative and not above 1.01 times
// the start.
double omega_w(double x);
// x^n by repeated squaring; 1 for n = 0, 1 / x^|n| for negative n.
double pwri(double x, std::int32_t n);
// Guarded exponential: table and a 64-64 squaring for |x| <= 40.
double fxp(double x);
// Guarded exponential: table and a polynomial for |x| <= 40.
double aexp(double x);
// Logarithm of |x| within [-80, 80]; tiny for NaN, huge for infinity.
double dln(double x);
// As dln, with a series and one correction for 0.1 <= |x| <= 15.
double lln(double x);
// x^y with an integer part by squaring and a fraction through qexp and aln;
// the magnitude is kept within [tiny, huge].
double rpwrr(double x, double y);
// |x|^y through qexp (or e^+-65 beyond +-690 in the exponent), magnitude kept
// within [tiny, huge].
double dpwr(double x, double y);
// Cube root carrying the sign of x.
double cuberoot(double x);

}  // namespace operators
