#pragma once
// Levenberg-Marquardt optimiser with singular-value steps.
//
// marq_mod::marq minimises the weighted sum of squared residuals of the
// compiled model over the active parameters (common_data::pmask nonzero).
// Every step comes from a singular value decomposition of the finite-
// difference Jacobian of the fitted values; the damping shapes the singular
// values instead of the diagonal of the normal matrix.  Trial vectors are
// kept inside the bounds by the shared tanh transform, a short random
// scaling search follows rejected steps and the last iterate, and the
// parameter statistics (covariance, correlations, standard errors,
// confidence half-widths, curvature shares) are formed at the end.
//
// The model is evaluated row by row through my_func::eval_func with this
// optimiser's own weighting kinds (marq::funy).  The time budget is the
// plain elapsed reading timeit_mod::elapsed() against globals::timemax; the
// run clock's sum (globals::totaltime) is left to the fitting driver.
//
// Arrays are 0-based: data row i (1..nd) is element i-1, parameter k
// (1..npr) element k-1.  Not reentrant: every evaluation writes
// common_data::ydf.

#include <optional>
#include <span>
#include <vector>

#include "foundations/matrix.h"

namespace marq_mod {

// 1e-6 times the largest conditioned singular value of the last step, and
// after the statistics 1e-15 times the largest filtered inverse value.
extern double deigen;

// Fits the parameters p (npr entries, start values in, improved values out)
// to the observed values in column ycol (1-based) of y, X values x (nd x nxd).
//   yfit      fitted values at the returned parameters (also common_data::ydf)
//   nostat    0: form the statistics below; nonzero: skip them
//   cov, corr covariance and correlation matrices of the parameters (npr x
//             npr, resized and zeroed; rows of fixed parameters stay 0)
//   kind      weighting kind 0..3 of marq::funy; any other value counts as 0
//   sigma     per-row sigma for kind 1
//   lo, hi    bounds of the parameters
//   se, ci    standard errors and 95% confidence half-widths (npr)
//   shares    curvature shares in percent of the active parameters, in
//             their order, then zeros (marq::curvature)
//   reference sum of squares the progress tests start from (the driver
//             passes 1.1 times the current sum)
//   cycles    cycle cap (30 when absent)
//   ssq       in: the caller's current value; out: the sum at the returned
//             parameters
//   search_switch  odd: a scaling search also follows accepted steps of the
//             first ten cycles
//   level     difficulty level, the patience of a pass (1 and 2 count as 3)
//   status    0 on return
// With no active parameter p is returned unchanged with its sum of squares.
void marq(int nd, int nxd, int ycol, int npr, const kalvor::Matrix& x, const kalvor::Matrix& y,
          std::span<double> yfit, int nostat, kalvor::Matrix& cov, kalvor::Matrix& corr, int kind,
          std::span<const double> sigma, std::span<double> p, std::span<const double> lo,
          std::span<const double> hi, std::span<double> se, std::span<double> ci, std::span<double> shares,
          double reference, std::optional<int> cycles, double& ssq, int search_switch, int level, int& status);

}  // namespace marq_mod

// The procedures of the optimiser, usable on their own.
namespace marq {

// What every objective evaluation of one call reads.
struct Data {
    int nd = 0;                     // data rows
    int nxd = 0;                    // X columns used
    int ycol = 1;                   // column of ymat with the observed values (1-based; 0: all zero)
    const kalvor::Matrix& x;        // nd x nxd X values
    const kalvor::Matrix& ymat;     // observed values
    int kind = 0;                   // weighting kind
    std::span<const double> sigma;  // per-row sigma (kind 1)
};

// One evaluation of the objective.
struct Eval {
    std::vector<double> yfit;  // fitted values (nd)
    std::vector<double> w;     // row weights (nd)
    double ssq = 0.0;          // weighted sum of squares, in [1e-30, 4.5036e19]
    double relfit = 0.0;       // relative-fit index 1 - 1/(1 + rms relative residual)
};

// Weighting kinds.
inline constexpr int kind_none = 0;      // unit weights
inline constexpr int kind_sigma = 1;     // the given sigmas
inline constexpr int kind_fitted = 2;    // the fitted values
inline constexpr int kind_robust = 3;    // Andrews sine weights of the absolute residuals
inline constexpr int kind_residual = 4;  // root of the scaled residual (sum unweighted)

// The model at p (np entries) on every row: fitted values (also into
// common_data::ydf), weights, sum of squares and relative-fit index.  Kinds
// 1-3 divide each residual by its weight; 0, 4 and others sum them plainly.
void funy(const Data& d, std::span<const double> p, int np, Eval& e);

// Median of x[0..n-1] counted into 1000 bins around the mean (n >= 1).
double binmedian(std::span<const double> x, int n);

// One weighting pass of the robust kind around the centre: row weights rw
// of the absolute residuals a at scale s, and the step of the centre.  The
// weight is sin(u/a) a/u of the scaled distance u (1 at u = 0); rows where
// it is not positive count as beyond the cut-off.
double andrews_pass(std::span<const double> a, double centre, double s, std::span<double> rw);

// Jacobian of the fitted values at p (nd x npr central differences, columns
// of fixed parameters 0; one objective evaluation per probe serves every
// row) and the evaluation at p itself into at.  p is restored.
void fjac21(const Data& d, std::span<double> p, int npr, kalvor::Matrix& jac, Eval& at);

// The Jacobian of the statistics: Richardson extrapolation of central
// differences with steps h, 2h and 4h.  p is restored.
void fjac_richardson(const Data& d, std::span<double> p, int npr, kalvor::Matrix& jac);

// Curvature share in percent (three decimals) of every active parameter,
// in their order into shares[0..], the rest 0.  p is restored; the
// evaluations are unweighted.
void curvature(const Data& d, std::span<double> p, int npr, std::span<double> shares);

// A = U diag(w) V' of the m x n matrix a (A unchanged, m may be below n),
// the singular values in decreasing order.  U becomes m x n, V n x n.
void svd(const kalvor::Matrix& a, int m, int n, std::span<double> w, kalvor::Matrix& u, kalvor::Matrix& v);

// Orders w by decreasing magnitude with the columns of U (m x n) and V.
void svd_sort(kalvor::Matrix& u, int m, int n, kalvor::Matrix& v, std::span<double> w);

// sqrt(a^2 + b^2) without overflow.
double pythagz(double a, double b);

// Scales the active parameters of p together by 1 + k u 1e-4 (u uniform,
// k = -5..5), each trial clamped into [lo, hi], keeping every improvement.
// best: in, the evaluation at p whose sum a trial must beat; out, the
// lowest one found.  last = the sum of the last trial.  The seedable
// generator restarts from its zero seed at every call, so calls repeat.
// Returns whether p moved.
bool search(const Data& d, int npr, std::span<const int> mask, std::span<const double> lo,
            std::span<const double> hi, std::span<double> p, Eval& best, double& last);

}  // namespace marq
