#pragma once
// The cheap random pre-search that opens every fit.
//
// Each active parameter is scaled by a small random factor around its
// current value, 15 trials per pass in three passes of growing step (1e-6,
// 1e-4, 1e-2 relative); a trial is kept only when it lowers the objective
// strictly.  Every call resets the seedable generator to the driver's
// repeatable state, so two calls from the same point give the same result.
// Exactly 45 objective calls per call.
//
// Parameter k (1..n) is element k-1; a mask entry of 0 holds its parameter.

#include <span>

#include "model/objective.h"

namespace tunnelsearch {

// Parameters of the model at most (the random table holds 15 n values).
inline constexpr int max_parameters = 10;

// p: start point in, best point out (only active entries change); ssq: the
// objective at p in, the lowest value found out.  Every trial is clamped
// into [lo, hi], held entries included.
void tunnelsearch(const kalvor::Objective& f, int n, std::span<double> p, double& ssq, std::span<const double> lo,
                  std::span<const double> hi, std::span<const int> mask);

}  // namespace tunnelsearch
