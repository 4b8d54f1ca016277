#pragma once
// Derivative information of the variable-metric least-squares optimiser:
// forward-difference gradient, the rank-one correction of the packed metric
// L D L', and the central-difference Hessian of the closing analysis.
// Finite differences touch only active parameters and never step outside
// the bounds: at a bound they step inwards and divide by the step taken.

#include <span>

#include "foundations/matrix.h"
#include "optimizers/va10b_box.h"

namespace va10b_optimizer {

// Difference step for the reference value v: max(|v|, 1e-7) 1e-5, or
// (|v| + 1) 1e-7 when that is at most 1e-15, with the sign of v.
double difference_step(double v);

// Packed metric: D(j) then L(j+1..n, j), column after column (0-based).
std::size_t packed_size(int n);
std::size_t diagonal_position(int n, int j);

// Value of the invalid-value flag once a difference quotient was not a
// number; it starts at 0 and is never cleared within a call.
inline constexpr int invalid_quotient = -1;

// g = forward-difference gradient at b (f its value), steps from s_typ;
// held parameters get 0; a quotient that is not a number becomes tol with
// the opposite sign and sets flag to invalid_quotient.  ifn grows by the
// number of active parameters.
void compute_gradient_forward(std::span<double> b, double f, std::span<double> g, double tol,
                              std::span<const double> s_typ, int& ifn, int& flag, const Box& box);

// g = central-difference gradient at b: for each active parameter, f at
// min(b + h, hi) and at max(b - h, lo), h the difference step of s_typ,
// divided by the distance of the two points; held parameters get 0.
// Quotients that are not numbers as above.  Two evaluations per active
// parameter, which no budget counts.
void compute_gradient_central(std::span<double> b, std::span<double> g, double tol, std::span<const double> s_typ,
                              int& flag, const Box& box);

// Update statuses.
inline constexpr int update_skipped = 1;  // the curvature s'(g1 - g0) was not positive
inline constexpr int update_made = 2;

// Corrects the packed factors h after a step alpha along s with gradients
// g0 before and g1 after it (gs = g0's).  d_min: the smallest diagonal so
// far; a diagonal that would turn non-positive takes it instead.
int update_hessian(std::span<double> h, std::span<const double> s, std::span<const double> g0,
                   std::span<const double> g1, double alpha, double gs, double& d_min, const Box& box);

// H = central-difference Hessian of the objective at b (n x n); rows and
// columns of held parameters are 0.  b is unchanged.
void compute_numerical_hessian(std::span<double> b, kalvor::Matrix& H, const Box& box);

}  // namespace va10b_optimizer
