#pragma once
// Sequential-quadratic least-squares optimiser with bound constraints.
//
// vmsqp_mod::vmsqp minimises the plain sum of squared residuals of the
// compiled model over the active parameters (mask nonzero).  Each bound is
// an inequality constraint c(x) <= 0; the model Hessian is a running blend
// of Gauss-Newton matrices and BFGS updates whose step and gradient change
// are smoothed by adaptive-moment (ADAM) corrections; steps are projected
// off the bounds in force and taken by a backtracking line search on a
// penalty merit.  Three cycles, each from a fresh identity matrix.
//
// The routine returns the lowest in-bounds point it evaluated (the entry
// point included) with that point's own sum of squares, fitted values and
// residuals, so the result is never worse than the start.  Held parameters
// never move.
//
// Arrays are 0-based (parameter k is element k-1); matrices column-major.
// The model is evaluated through funct::fun on the X columns of the shared
// fit data (common_data::xd, xd2, xd3), which every evaluation rewrites
// (ydf, ysig, ndwt).  Not reentrant.

#include <span>

#include "foundations/matrix.h"

namespace initialize_vmsqp {

// f = sum over rows of (y - yfit)^2 at the parameters b (np entries), with
// yfit from funct::fun under weighting mode wmode (written back with the mode
// the evaluation used); w = 1 for every row, res = y - yfit.  xarg is not
// read.  nd < 1: f = 0.
void model_function(int nd, int np, int nx, int& wmode, std::span<const double> b, std::span<double> w,
                    std::span<const double> xarg, std::span<const double> y, std::span<double> yfit,
                    std::span<double> res, double& f);

// c(i) = lo(i) - x(i) and c(n + i) = x(i) - hi(i) for every parameter; the
// remaining entries up to m are 0.
void evaluate_constraints(std::span<const double> x, int n, std::span<double> c, int m, std::span<const double> lo,
                          std::span<const double> hi);

// a (m x n): row i = -e_i and row n + i = +e_i for an active parameter i,
// zero rows for a held one and for constraints beyond 2n.
void compute_constraint_gradients(kalvor::Matrix& a, int m, int n, std::span<const int> mask);

}  // namespace initialize_vmsqp

namespace vmsqp_mod {

// Nonzero: the iteration table and the final reports go to standard output.
extern int bprint;

// Central-difference step of parameter value b.
double difference_step(double b);

// Central differences at b (restored on return) over the steps of
// difference_step: g = gradient of model_function's sum, 0 for a held
// parameter; when jac is given, also its nd x np Jacobian of the residuals,
// -(dyfit/db), with zero columns for held parameters.  Every difference of
// magnitude at most 2e-12 becomes 1.02e-10 with its sign.  Returns the
// number of model evaluations (2 per active parameter).
int central_differences(std::span<double> b, std::span<const double> y, int nd, int np, int nx, int wmode,
                        std::span<const int> mask, std::span<double> g, kalvor::Matrix* jac);

// The gradient alone; nfev grows by 2 per active parameter.
void compute_gradient_numerical(std::span<double> b, std::span<const double> xarg, std::span<const double> y,
                                std::span<double> w, std::span<double> g, int nd, int np, int nx, int wmode,
                                int& nfev, std::span<const int> mask);

// ADAM corrections of x (n entries) in place, driven by grad at iteration t
// (t = 1 restarts the moments); only parameters active in
// common_data::pmask change.  Rates 0.001 (s) and 0.0001 (y).  n above the
// ten parameter slots throws std::out_of_range.
void adam_update_s(std::span<double> x, std::span<const double> grad, int n, int t);
void adam_update_y(std::span<double> x, std::span<const double> grad, int n, int t);

// The BFGS update of h (n x n) from the step b -> b_new, the gradients g and
// g_new, the multiplier change lambda - lambda_old along the constraint
// Jacobian a (m x n) and the iteration number t; rows of held parameters
// stay.  The update is skipped when s'Hs <= 2e-12 or an entry would not be
// finite.  Returns whether h changed.
bool quasi_newton_update(kalvor::Matrix& h, std::span<const double> b, std::span<const double> b_new,
                         std::span<const double> g, std::span<const double> g_new, std::span<const double> lambda,
                         std::span<const double> lambda_old, const kalvor::Matrix& a, int n, int m,
                         std::span<const int> mask, int t);

// The optimiser.  maxit iterations per cycle; n parameters, nd rows, nx X
// variables, m constraints (at least 2n); wmode the weighting mode handed to
// the model evaluation; w per-row weights (out, all 1); xarg not read; y the
// observed values; yfit and res (out) the fitted values and residuals of the
// returned point; b the parameters (in/out); lo, hi the bounds; mask nonzero
// for an active parameter; f the caller's lowest value in, the value of the
// returned b out.  Counts beyond the arrays (over 10 parameters, over 1000
// rows, m below 2n, a vector shorter than its count) throw std::out_of_range
// before any work.
void vmsqp(int maxit, int n, int nd, int nx, int m, int& wmode, std::span<double> w, std::span<const double> xarg,
           std::span<const double> y, std::span<double> yfit, std::span<double> res, std::span<double> b,
           std::span<const double> lo, std::span<const double> hi, std::span<const int> mask, double& f);

// Evaluation cap of one cycle.
int max_evaluations(int maxit);

// ---- reports (standard output) ----

// Iterations, evaluations, the final value, RMS error, the largest
// violation, the parameters, the constraint values and multipliers.
void print_final_results(std::span<const double> b, double f, std::span<const double> c,
                         std::span<const double> lambda, int iterations, int evaluations, int nd, int n, int m);

// Fit statistics from the Jacobian j (nd x n, derivatives of the fitted values):
// degrees of freedom, MSE, RMSE, R-squared, the parameter table with
// standard errors, the covariance and correlation matrices and a residual
// summary.  MSE and RMSE print N/A when no degree of freedom is left, R-squared
// when the observations do not vary.
void regression_statistics(std::span<const double> b, std::span<const double> res, std::span<const double> x,
                           const kalvor::Matrix& j, std::span<const double> w, int nd, int n,
                           std::span<const int> mask);

// One line per lower and per upper bound saying whether b satisfies it.
void detailed_constraint_check(std::span<const double> b, int n, std::span<const double> lo,
                               std::span<const double> hi);

}  // namespace vmsqp_mod
