#pragma once
// The iteration of the trust-region Gauss-Newton solver and its routines.
//
// gnm minimises the plain sum of squared residuals over the active
// parameters (common_data::pmask nonzero) in scaled units: a finite-difference
// Jacobian refreshed in full or by Broyden rank-1 updates, Newton steps from
// the shifted normal equations, a trust radius adapted from actual against
// predicted change, hook steps, a nearby search before each trial and a soft
// pull into the bounds.  gn_module::gn_main is its entry.
//
// Parameter k (1..n) is element k-1; matrices are kalvor::Matrix.

#include <functional>
#include <span>

#include "foundations/matrix.h"

namespace gn_main {

// Status codes of gnm (info); 1, 2 and 8 add up.
inline constexpr int status_step = 1;          // step length at or below gn_mod::stptol
inline constexpr int status_relative = 2;      // relative change of the sum within tolerance
inline constexpr int status_exact = 8;         // sum below gn_mod::abstol; 8 or more ends the run
inline constexpr int status_input = 128;       // limit, m or n below 1; bad fixed scale
inline constexpr int status_zero_normal = 129; // the normal matrix is zero
inline constexpr int status_evaluations = 130; // counted evaluations reached gn_mod::limit
inline constexpr int status_hook = 133;        // the hook iteration reached its 15th pass
inline constexpr int status_diverged = 200;    // a trial diverged: the run ends at the last accepted point

// The residual routine: r (m entries) and the weighted sum f at the full
// parameter vector x (n entries).
using Residuals = std::function<void(int m, int n, std::span<const double> x, std::span<double> r, double& f)>;

// Residuals r = y - fitted of the model at x over the m shared data rows and
// f = the weighted sum of squares funct::fun returns (mode common_data::ndwt).
// Leaves the fit data at x: xnx, yd, ydf, yres and pfinal written,
// common_data::ysig as it was.  With m < 1: pfinal = x, f = 0, r untouched.
void gnfun(int m, int n, std::span<const double> x, std::span<double> r, double& f);

// xfull = tmpl with its masked-in entries (mask nonzero, in order) replaced
// by the entries of xact, at most nact of them.  Nothing for n < 1.
void xmaskedarray(int n, int nact, std::span<const int> mask, std::span<const double> xact,
                  std::span<const double> tmpl, std::span<double> xfull);

// The iteration from the full vector x (n entries) over m rows; f in: the
// start sum of squares, out: the weighted sum at the returned x, which is the
// last accepted point.  info: the status above (0 when it ran to the
// iteration limit without a finding).
void gnm(int m, int n, int& info, std::span<double> x, double& f);

// Solves (H + mu I) s = -g through the Cholesky factor l of H + mu I, raising
// mu by gn_mod::hnorm while the factorisation fails; after nact failed
// shifts mu becomes the largest column sum of |H|, which always factors.
// mu returns the shift used.  Nothing for nact < 1.
void gn_chol(int nact, double& mu, const kalvor::Matrix& h, std::span<const double> g, kalvor::Matrix& l,
             std::span<double> s);

// length = 0.6 |g|^3 / (g' L L' g) bounded to [0.5, 250 nact] (gn_mod's
// Cauchy constants); untouched when gnorm = 0.
void gn_cauchy(int nact, const kalvor::Matrix& l, std::span<const double> g, double gnorm, double& length);

// Probes each active entry of xt at +-2 x 0.000122 |w + xt| in up to 10
// passes, keeping every probe whose sum of squares is below the lowest so far
// (which starts at f), until more than 5 probes were kept.  fmin = the lowest
// sum found (f when nothing was kept); xt the point it belongs to.
void nearbysearch(const Residuals& residuals, int m, int nact, int n, std::span<double> xt,
                  std::span<const double> tmpl, std::span<const double> w, double f, double& fmin);

}  // namespace gn_main
