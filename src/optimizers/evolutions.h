#pragma once
// Differential evolution over the full parameter vector.
//
// evol keeps a population of NP = min(20 n, 100) members of the active
// parameters (common_data::pmask nonzero; held ones never move), mixes four
// mutation schemes that alternate between odd and even members, searches
// around one point every generation, replaces weak members by it, re-seeds
// half the population every 50 generations and tests convergence every 10.
// Parameter k (1..n) is element k-1.

#include <span>

namespace evolutions {

// Nonzero (-1, set by every evol): the objective pulls parameters beyond
// +-wide_bound back inside.
extern int wide_bounds;
inline constexpr double wide_bound = 45035997272620007424.0;

// Searches from p (n parameters, nd data rows) with f the caller's value at
// p.  p and f become the best point evaluated and the weighted sum of
// squares funct::fun gives there; the start comes back (with f unchanged)
// when that value is above f or below 0.01 f, and when the run clock shows
// globals::timemax spent at a generation's start.  gens_run: the generations
// run (0 for a spent budget); gen_cap: the generation cap, 0 meaning 500
// with the search ending after its first generation.
void evol(int nd, int n, std::span<double> p, double& f, int& gens_run, int gen_cap);

// fx = the weighted sum of squares at x over nd rows, guarded: below
// 1.4901161193847657e-10 (a suspiciously perfect fit) it counts as
// wide_bound, and it is clamped to [2.2204460492503132e-20, wide_bound].
// With wide_bounds on, active entries of x (mask nonzero) that are not finite
// or lie on or beyond +-wide_bound are pulled inside first.  Leaves the fit
// data at x (pfinal, ydf, yres).
void regfunc(std::span<double> x, std::span<const int> mask, double& fx, int n, int nd);

// A uniform number in [0, 1): one of eleven draws of the run-time generator,
// freshly reseeded, picked by the truncated sum of the first ten.
void randomu(double& u);

}  // namespace evolutions
