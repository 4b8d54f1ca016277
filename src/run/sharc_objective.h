#pragma once
// The objective of the fitting driver, in layers around funct::fun.
//
// sharc_mod::funcs evaluates the model once and keeps the fit data current;
// sharc::func adds the guards against NaN and overflow and, for a bounded fit
// that is not a Restart, maps the parameters into the working bounds;
// sharc::f1dim and sharc::f1dim2 are the short forms handed to the searches
// and optimisers; sharc::minmax is the value clamp of the Gauss-Newton search.
//
// Data row i is element i-1, parameter k element k-1.  Not reentrant: every
// evaluation writes the shared fit data.

#include <span>

#include "foundations/matrix.h"
#include "model/objective.h"
#include "run/sharc_state.h"

namespace sharc_mod {

// globals::nmdl from which on no model is evaluated (the built-in model branch).
inline constexpr int no_model_selector = 4000;

// f = the objective of the model at p over rows 0..nrow-1 (mode: weighting
// mode of funct::fun), ycalc = the model values.  Stores common_data::fssqr
// (the value of funct::fun itself), xnx, xd, yd, ydf, ysig (= sig), pfinal;
// f comes back clamped to +-vmax with NaN and huge values replaced by vmax.
// With globals::nmdl >= no_model_selector no model is evaluated: ycalc(1) is
// the least observed value, the rest 0, f the unweighted sum of squares, and
// nothing shared is written.
void funcs(const kalvor::Matrix& x, std::span<const double> y, std::span<double> ycalc,
           std::span<const double> sig, int ncol, int nrow, int mode, std::span<double> p, int np,
           double& f);

}  // namespace sharc_mod

namespace sharc {

// The guarded objective on the driver's data at p (np entries).  NaN or huge
// observed values count as vmax for this evaluation; p is first mapped into
// [s.alobnd, s.ahibnd] by tanh_bounds5 and comes back mapped, in every fit
// (first or second, Start or Restart), so that every vector a stage hands
// back to the driver keeps the user's bounds.  s.ycalc receives the guarded
// model values.
void func(DriverState& s, std::span<double> p, int np, double& f);

// func on a copy of p: p is not changed.
void f1dim(DriverState& s, std::span<const double> p, int np, double& f);

// f1dim, and yi = the model value of row i (0-based).
void f1dim2(DriverState& s, int i, std::span<const double> p, double& yi, double& f, int np);

// f1dim as the objective callback of the searches and optimisers; valid while
// s lives.
kalvor::Objective f1dim_objective(DriverState& s);

// x kept finite and away from 0: NaN gives 1e-15, |x| < 1e-30 gives 1e-30
// with the sign of x, magnitudes of 2^53 and more (after a cut at 1e30) give
// +1e15.
double minmax(double x);

}  // namespace sharc
