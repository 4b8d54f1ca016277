#pragma once
// Residual bootstrap band of a fitted curve with one X variable.
//
// residual_bootstrap_regression makes replicate data sets from the fitted
// values (common_data::ydf) plus draws from a shrunken, winsorised and
// centred set of the fit's residuals (common_data::yres), refits each
// replicate with va10b_mod::va10b_optimizer and simplex_robust starting from
// where the previous refit ended, and forms per row the replicates' mean and
// a 95% band: fitted value +- t sqrt(sd^2 + s0^2), sd the replicates' spread
// at the row, s0 that of the residuals, t by the replicate count.
//
// While it runs, common_data::yd holds the current replicate and ndwt is 0;
// on return yd, ydf, yres, ydr, pfinal(1..npr), fssqr and ndwt hold their
// values from before the call (yd receives the caller's y).  A band that
// cannot be trusted (spread vanishing, refits far off, band wider than 125%
// of the mean fitted value after a second sweep, no replicates) is replaced
// by the degenerate result: mean and both limits equal the fitted values.
//
// Row i (1..n) is element i-1.

#include <span>

namespace bootstrap_data_mod {

// Replicate draws: method_permute reuses every residual once per replicate,
// any other method draws with replacement.
inline constexpr int method_permute = 1;

// x is not read (the refits read the shared X columns); alpha is not read
// (the band is the two-sided 95% band); option nonzero adds the residual
// spread s0 to the half-width.  More than common_data::max_rows rows or
// common_data::param_slots parameters (npr), or y or an output shorter than
// n, throws std::out_of_range before anything is touched.
void residual_bootstrap_regression(std::span<const double> x, std::span<const double> y, int n, double alpha,
                                   int nboot, int method, int option, std::span<double> ymean,
                                   std::span<double> ylcl, std::span<double> yucl);

// e = a random permutation of c(1..n) (Fisher-Yates on runtime::random_number).
void random_resample_residuals(std::span<const double> c, std::span<double> e, int n);

// Sample standard deviation of v(1..n) (divisor n - 1); 0 for n < 2.
double compute_std_dev(std::span<const double> v, int n);

// Two-sided 95% t value for df degrees of freedom as the band uses it:
// 0 for df < 1, the exact table to 20, smooth interpolation beyond, 1.96
// from 1000 on.
double t_quantile(int df);

}  // namespace bootstrap_data_mod
