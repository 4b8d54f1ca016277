#pragma once
// Keeping parameters inside their bounds, and robust residual weights.
//
// check_parameter_bounds::tanh_bounds5 brings the active parameters of an
// unconstrained trial vector back inside their bounds before the model is
// evaluated; smooth_constraints gives the smoothed clamp with its penalty;
// robustwt gives the sine-wave robust weights of weight mode 3 and the medians
// they use. Parameter k (1..n) is element k-1 of every vector; a mask entry
// of 0 holds its parameter fixed (it is never moved).

#include <span>

namespace check_parameter_bounds {

// Status of tanh_bounds5.
inline constexpr int bounds_ok = 0;
inline constexpr int bounds_no_parameters = 1;
inline constexpr int bounds_crossed = 2;      // an active lo(i) > hi(i): nothing moved
inline constexpr int bounds_value_reset = 3;  // a NaN or huge value went to its mid-range
inline constexpr int bounds_degenerate = 4;   // a range below 1e-12 with the value outside

// Moves every active parameter that lies on or outside a bound to the inside
// by a hyperbolic-tangent rule; s (normally the caller's objective) is
// multiplied by 1 + 2S for each moved parameter, S the running sum of the
// relative violations, and capped at 2^52. Parameters strictly inside stay;
// an active parameter with equal bounds is set to that value; the bounds of
// held parameters are not looked at.
void tanh_bounds5(std::span<double> b, int n, std::span<const double> lo, std::span<const double> hi,
                  std::span<const int> mask, double& s, int& status);

// Older bound routine: moves active parameters outside their bounds inside
// (sine/tanh rule) and pulls those within 10% of a bound towards the inside;
// adds a penalty to penalty when any parameter lay outside.
void check_bounds(std::span<double> p, std::span<const double> lo, std::span<const double> hi,
                  std::span<const int> mask, int n, double& penalty);

// Maps parameter i (0-based) back into its bounds by an arctangent when it
// lies outside; changed = 1 when it moved, else 0.
void abounds4(int i, std::span<double> b, int n, std::span<const int> mask, std::span<const double> lo,
              std::span<const double> hi, int& changed);

}  // namespace check_parameter_bounds

namespace smooth_constraints {

// padj = the active parameters smoothly clamped to their bounds (held ones
// copied), penalty = 10 exp(distance) summed over the bound violations.
void smooth_constraint_adjustment(std::span<const double> p, std::span<const double> lo,
                                  std::span<const double> hi, std::span<const int> mask, int n,
                                  std::span<double> padj, double& penalty);

}  // namespace smooth_constraints

namespace robustwt {

// Sine-wave robust weight of each residual r[0..n-1] into w (n >= 1).
void robust_wt(int n, std::span<const double> r, std::span<double> w);
// Median of x[0..n-1] by counting into 1000 bins around the mean (n >= 1).
double binmedian(std::span<const double> x, int n);
// Median of x[0..n-1] from a sorted copy, clamped to [1e-15, 1e15].
void median2(std::span<const double> x, int n, double& med);

}  // namespace robustwt
