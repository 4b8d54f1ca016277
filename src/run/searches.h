#pragma once
// The fitting driver's derivative-free coordinate searches.
//
// hitnrun and its sibling hitnrun2 are randomised coordinate searches of the
// hit-and-run kind: a random step in a randomly chosen coordinate is kept
// when the objective falls, and a trial outside the working bounds
// [s.alobnd, s.ahibnd] is replaced by a random point inside them.  hooke is a
// bounded Hooke-Jeeves pattern search.  All three evaluate on the driver's
// state (sharc::func, sharc::f1dim) and move only active parameters
// (common_data::pmask nonzero).  p0 and p may be the same vector.

#include <span>

#include "run/sharc_state.h"

namespace sharc {

// Hit-and-run from p0 (value f) with the driver's random pool (60 values,
// rescaled in place into [0.05, 0.95] and shuffled).  Five rounds of up to
// ten passes of `trials` sweeps over the coordinates, the step scale falling
// by 5 every round.  When the value found is below 1.05 f: p = that point and
// f its value; otherwise p = p0 and f = 1.05 f.  nacc = accepted moves.
void hitnrun(DriverState& s, int n, std::span<const double> p0, std::span<double> p, std::span<double> pool,
             int& nacc, double& f, double scale = 0.5, int trials = 100);

// Hit-and-run with its own pool, drawn afresh from [0.05, 0.95], and steps
// that adapt to each coordinate's acceptance rate (never beyond its bound
// range common_data::pboundhi - pboundlo).  When the value found is below f:
// p = that point and f its value; otherwise p = p0 and f unchanged.
void hitnrun2(DriverState& s, int n, std::span<const double> p0, std::span<double> p, int& nacc, double& f,
              double scale = 0.5, int trials = 100);

// Hooke-Jeeves pattern search from p0 with every trial point kept inside
// [lo, hi]: steps rho |p0(j)| (rho for p0(j) = 0), shrunk by rho while no
// exploration improves, until a step length below eps or itermax
// iterations.  p = the point found and f its value when that is below the
// incoming f; otherwise p = p0 and f unchanged.
void hooke(DriverState& s, int n, std::span<const double> p0, std::span<double> p, std::span<const double> lo,
           std::span<const double> hi, double& f, double rho, double eps, int itermax);

}  // namespace sharc
