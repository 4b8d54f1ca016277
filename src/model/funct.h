#pragma once
// The objective every optimiser minimises, and the routines around it.
//
// funct::fun evaluates the model for every data row, applies one of the five
// weighting modes and returns the weighted sum of squared residuals, guarded
// against NaN and overflow; the fitted values and the weights are left in the
// fit data (model/globals.h). vmfun, derivat, derivatv and calcfg evaluate it
// on the shared fit data for the variable-metric and constrained optimisers.
//
// Data table X: nd rows by nx columns (column j = X variable j+1); any matrix
// with at least nd rows serves (common_data::xnx included). Parameter k
// (1..np) is element k-1. Not reentrant: callers evaluate one parameter
// vector at a time.

#include <functional>
#include <span>

#include "foundations/matrix.h"

namespace funct {

// Guards of the objective.
inline constexpr double objective_floor = 2.2204460492503132e-20;
inline constexpr double objective_ceiling = 45035997272620007424.0;

// Weighting modes (globals::iwt - 1).
inline constexpr int mode_none = 0;      // unit weights
inline constexpr int mode_sigma = 1;     // the given per-row sigmas
inline constexpr int mode_fitted = 2;    // relative to the fitted value
inline constexpr int mode_robust = 3;    // sine-wave robust weights
inline constexpr int mode_residual = 4;  // residual scale

// f = weighted sum of squared residuals of the model at p over rows 0..nd-1,
// ycalc = the fitted values. Stores common_data::nd = nd, ydf = ycalc,
// ysig = the weights used and ndwt = the mode used (0 once a fitted value hit
// the ceiling, 0 for a mode above 4). sig may be common_data::ysig itself.
// With nd < 1: f = the floor and only ndwt is stored.
void fun(const kalvor::Matrix& x, std::span<const double> y, std::span<const double> p, int np, int nx,
         int nd, int mode, std::span<double> ycalc, std::span<const double> sig, double& f);

// Number of the rows 0..nd-1 of X at which the model has no value at p: NaN,
// infinite, or an argument outside a function's domain (my_func::eval_func
// puts a guard value in its place).
int unevaluable_rows(const kalvor::Matrix& x, std::span<const double> p, int np, int nx, int nd);

// Number of calls of fun since the program started (for run statistics).
long long evaluation_count();

// Objective of the variable-metric optimiser: fun on the shared fit data at
// parameters x[0..n-1] with mode common_data::ndwt; stores ydf and yres. Zero
// sigmas in common_data::ysig become 1 first.
void vmfun(int n, std::span<const double> x, double& f);

// f = objective at p, g = its central-difference gradient (0 for held
// parameters, common_data::pmask = 0). p is restored; afterwards the shared
// data are those of the base point (pfinal = p).
void derivat(std::span<double> g, double& f, std::span<double> p, int n);
// As derivat with a step floor of 2.979932929550268e-08 and 8.88e-16 added to
// every active gradient component.
void derivatv(std::span<double> g, double& f, std::span<double> p, int n);

// Callback of the constrained variable-metric optimisers: objective f and
// gradient g at x, constraints c (held parameters equal their value, then
// x - lower bound, then upper bound - x) and their gradients a (25 x 50,
// column = constraint, row = parameter). Returns false, with the message
// "PROGRAM ABORTED, MODEL NUMBER EXCEEDED" written to standard output, when a
// built-in model is selected; the caller ends the run.
bool calcfg(int n, std::span<double> x, double& f, std::span<double> g, std::span<double> c,
            kalvor::Matrix& a);

// Tabulates the fitted curve: m points per interval between the n data
// points of X (the last interval m + 1), the first interval's X1 scaled by
// 0.99 and the last one's by 1.01; count = (n - 1) m + 1 (0 when n <= 1).
void funcurve(const kalvor::Matrix& x, int n, int np, std::span<const double> p, int nx,
              std::span<double> xc, std::span<double> yc, int& count, int m);

// n equally spaced values from a to b; the midpoint for n = 1.
void r8vec_linspace(int n, double a, double b, std::span<double> x);
// 5-point quadratic smoothing of y[0..n-1]; zeros for n < 5.
void savitzkygolay(std::span<const double> y, int n, std::span<double> ys);
// Moving average over a window of w values; zeros for n < w (or n < 3).
void movingaver(std::span<const double> y, int n, std::span<double> ys, int w);

// Source of the uniform numbers in [0, 1) that jitter a perfect fit; an empty
// function restores the run time's simple generator.
void set_jitter_source(std::function<double()> uniform);

}  // namespace funct
