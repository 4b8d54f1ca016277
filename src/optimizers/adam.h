#pragma once
// A short descent by adaptive moment estimates (ADAM with bias correction)
// that opens every fit between the two tunnel searches.
//
// At most 30 steps of learning rate 0.001 on the active parameters, each
// clamped into the bounds; from step 11 on the descent stops once the
// objective changes by less than a relative 1e-6.  The gradient is a
// central difference refined by Richardson extrapolation over up to ten
// shrinking steps (Ridders' scheme).
//
// Parameter k (1..n) is element k-1; a mask entry of 0 holds its parameter.

#include <span>

#include "model/objective.h"

namespace adam {

// Descends from p (n parameters; m data rows, which the descent does not
// use).  p: the active entries of the final point out; iter: the step count
// at the stop (11..30 by the relative test, 31 after 30 steps); ssq: the
// objective at the final point, which is evaluated last.
void adam(const kalvor::Objective& f, int n, int m, std::span<double> p, std::span<const int> mask,
          std::span<const double> lo, std::span<const double> hi, int& iter, double& ssq);

// g = the extrapolated central-difference gradient of f at x (0 for held
// parameters, no evaluation for them); never 0 for an active parameter.
// x is not changed.
void gradient(const kalvor::Objective& f, int n, std::span<const double> x, std::span<const int> mask,
              std::span<double> g);

}  // namespace adam
