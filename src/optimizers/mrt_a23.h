#pragma once
// A derivative-free damped least-squares optimiser of the Marquardt kind
// with a random polishing phase, on the shared fit data.
//
// Each iteration solves the damped normal system 2 J'J (1 + lambda on the
// diagonal) d = -g over the active parameters (common_data::pmask nonzero),
// with J the Jacobian of the weighted residuals e = (y - model) / weight:
// odd iterations take g from Richardson-extrapolated central differences
// and J from their first probe pair, even iterations update J by Broyden's
// rank-one rule and take g = 2 J'e.  lambda shrinks by 0.4 every iteration
// and grows by 2.5 after every trial that does not lower the sum.  Trials
// are clamped into [common_data::pboundlo, common_data::pboundhi].  The
// iterations end on the trial cap, on a step that no longer moves any
// parameter, or when timeit_mod::elapsed() passes globals::timemax.  A
// random search with per-parameter step widths tuned by their acceptance
// ratios may follow.
//
// Parameter k (1..n) is element k-1, data row i element i-1.  Not
// reentrant: every evaluation writes the shared fit data.

#include <span>

namespace mrt_a23_mod {

// Fits the model at p (n parameters, m data rows = common_data::nd).
//  step:  the initial damping lambda (at least 1.1920928955078125e-07);
//  ssq:   out, the weighted sum of squares at the returned p;
//  maxfn: in, the cap on trial evaluations (at least 100); out, the number
//         of evaluations the iterations made (start value and trials);
//  iprint: a positive value writes one progress line per iteration to
//         standard output; 0 is silent;
//  mode:  nonzero runs the random polishing phase after the iterations.
// The result is never worse than the start point; otherwise the start
// point comes back.  Held parameters never change.
void a23mrt(int n, std::span<double> p, int m, double step, double& ssq, int& maxfn, int iprint, int mode);

// The objective: the model at p (n parameters) on the shared fit data under
// weighting mode common_data::ndwt; r[i] = y - model of row i for the first
// min(r.size(), nd) rows, and f = the sum of (r[i] / w[i])^2 over them with
// w the weights of this same evaluation (common_data::ysig after it).
void mrtfun(int n, std::span<const double> p, std::span<double> r, double& f);

}  // namespace mrt_a23_mod
