#pragma once
// The small variable-metric minimiser of the fitting cascade.
//
// vmet::varmetric minimises a scalar objective with a BFGS update of the
// inverse Hessian, a backtracking line search and central-difference
// gradients, inside the shared bounds common_data::pboundlo/pboundhi and
// moving only the parameters that common_data::pmask leaves free.  Three
// passes run with gradient tolerances 1e-10, 1e-12 and 1e-15, each restarted
// from the best point so far; each pass may spend about 1000 evaluations,
// and all stop once timeit_mod::elapsed() passes globals::timemax.
//
// Parameter k (1..n) is element k-1.

#include <functional>
#include <span>

namespace vmet {

// The objective: f at the parameters x (n entries), as funct::vmfun.
using Objective = std::function<void(int n, std::span<const double> x, double& f)>;

// End codes of a pass.
inline constexpr int code_normal = 0;
inline constexpr int code_flat = 2;           // every gradient difference vanished
inline constexpr int code_failed_trials = 3;  // more than 25 non-finite trial values in a row
inline constexpr int code_evaluations = 4;    // the evaluation limit of the pass was reached

// Minimises fcn from p.  f: the objective at p in; out the lower of that
// value and the value found, with p the point it belongs to.  code: the end
// code of the last pass.  A result below 1e-12 is not trusted: that pass is
// discarded.  More than common_data::param_slots parameters, or p shorter
// than n, throws std::out_of_range before any evaluation.
void varmetric(const Objective& fcn, int n, std::span<double> p, double& f, int& code);

}  // namespace vmet
