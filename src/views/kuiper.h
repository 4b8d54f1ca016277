#pragma once
// Kuiper's test of normality with a unimodal estimate of the distribution
// function: the residuals are standardised and sorted, their distribution
// function is estimated under a unimodal shape constraint, and the Kuiper
// statistic (the largest distances above and below the standard normal
// distribution function) gets its p-value from the asymptotic series.

#include <span>

namespace unimodalecdf_mod {

// f = the unimodal estimate of the distribution function at the sorted
// values of x[0..n-1] (f[0] = 0); mode = the midpoint of the modal interval.
void ecdf(int n, std::span<const double> x, double& mode, std::span<double> f);

}  // namespace unimodalecdf_mod

namespace kuiper_mod {

// v = the scaled statistic lambda and prob its p-value for the sample
// x[0..n-1] (unchanged); f = the estimate at the sorted standardised values.
// Samples of at most 8 values get a line on standard output.
void kuiper(std::span<const double> x, int n, std::span<double> f, double& v, double& prob);

}  // namespace kuiper_mod

namespace kuiper_main_mod {

// kuiper with its own copy of x and its own estimate array.
void kuiper_wrapper(int n, std::span<const double> x, double& v, double& prob);

}  // namespace kuiper_main_mod
