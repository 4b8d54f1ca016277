#pragma once
// The fitting driver's own Gauss-Newton search.
//
// gnllsqr makes one Gauss-Newton step on the driver's state: the Jacobian of
// the model values by four-point central differences, the weighted normal
// equations (weights 1 / sigma^2) with a small ridge, and the new point kept
// inside the working bounds [s.alobnd, s.ahibnd].  calcch2 is the value of a
// trial vector.  Both evaluate through sharc::f1dim; only active parameters
// (common_data::pmask nonzero) move.

#include <span>

#include "run/sharc_state.h"

namespace sharc {

// One step from p (value f).  When the new point's value is lower: p = the
// new point, f = max(its value, 1e-20); otherwise (and for a singular system)
// p and f come back unchanged.
void gnllsqr(DriverState& s, int n, std::span<double> p, double& f);

// The objective at p through sharc::minmax; minmax(0) = 1e-30 without rows.
double calcch2(DriverState& s, std::span<const double> p, int n);

}  // namespace sharc
