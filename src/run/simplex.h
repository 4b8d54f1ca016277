#pragma once
// Nelder-Mead simplex searches on the shared fit data.
//
// simplex_robust is the bounded simplex of the fitting driver and of the
// residual bootstrap: adaptive coefficients, stall counters, greedy shrinks
// and random restarts, every trial point clamped into
// [common_data::pboundlo, common_data::pboundhi]; the caller's reference value
// is never made worse.  simplex_proc is the plain variant without bounds.
// Both minimise the weighted sum of squares of the current fit data
// (common_data nd, nxd, ndwt, xd, xd2, xd3, yd, ydf, ysig) and move only the
// active parameters (common_data::pmask nonzero).
//
// Parameter k (1..n) is element k-1.  Not reentrant: every evaluation
// writes the shared fit data.

#include <span>

#include "foundations/matrix.h"

namespace simplex_robust {

// Bounded simplex from p0.  p receives the active entries of the lowest
// vertex when its value is at most fref (held entries keep p0), else p0;
// fmin the lesser of the two values.  p may be p0 itself.  status: 1 when a
// convergence rule stopped the search, 0 when maxit iterations did.  With
// maxit <= 0 only the start simplex is evaluated.
void simplex_robust(std::span<const double> p0, std::span<double> p, int n, double fref, double& fmin, int maxit,
                    int& status);

// f = sum over the rows of ((yd - model) / weight)^2 at the parameters x,
// with the weights funct::fun used (common_data::ysig after the evaluation).
void smplexfun(std::span<const double> x, int n, double& f);

}  // namespace simplex_robust

namespace simplex_proc {

// The regular simplex centred on the origin with every vertex at distance 1
// from the centre: c becomes n x (n + 1), one vertex per column.
void simplex_coord(int n, kalvor::Matrix& c);

// Plain simplex (reflection 1, contraction 0.5, shrink 0.5) around p with
// steps scale * p(j).  f: the reference value in, the result out; when the
// search ends above the reference, p and f come back unchanged.
void simplex_proc(std::span<double> p, int n, double& f, double scale, int maxit = 500);

// The objective of simplex_proc, the same as simplex_robust::smplexfun.
inline void smplxfun(std::span<const double> x, int n, double& f) { simplex_robust::smplexfun(x, n, f); }

}  // namespace simplex_proc
