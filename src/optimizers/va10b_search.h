#pragma once
// The two procedures of the variable-metric least-squares optimiser that
// move its parameters: the bounded line search and the trial search.  Both
// evaluate va10b_mod::objective_function and move only active parameters,
// never outside their bounds.

#include <span>

#include "optimizers/va10b_box.h"

namespace va10b_optimizer {

// Line-search codes.
inline constexpr int search_done = 0;       // accepted, or attempts used up
inline constexpr int search_too_short = 2;  // the step fell below its minimum
inline constexpr int search_budget = 3;     // ifn reached maxfn

// Searches along s from b (f its value): the first step is the pass's
// expected reduction df times a progress factor over -gs (gs = g's < 0),
// capped by 1, by 95% of the way to the nearest bound and floored at the
// minimum step; an Armijo test with halving, and doubling after success.
// Every evaluation counts in ifn.  f_pass is the value at the pass start and
// itn the iteration in the pass (they set the progress factor).  alpha: the
// last step length.  b and f hold the last accepted point in every case.
int line_search(std::span<double> b, double& f, std::span<const double> s, std::span<const double> s_typ, double df,
                double gs, int maxfn, int& ifn, double& alpha, const Box& box, double f_pass, int itn);

// Eleven trials that rescale the active parameters by factors within 5e-4
// of 1, each kept when it lowers f.  The rescalings come from a fixed table
// of its own, so every trial search from the same b and f makes the same
// trials, and the run's random generators are left alone.
void tsearch(std::span<double> b, double& f, const Box& box);

}  // namespace va10b_optimizer
