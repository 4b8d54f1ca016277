#pragma once
// Hotelling's T-squared distance of every row of a data matrix from the
// column means, with its F value and upper-tail probabilities: the outlier
// list of the residuals window.

#include <span>

namespace t2_outlier {

// P(F > f) for the F distribution with df1 and df2 (whole) degrees of
// freedom; 1 for f <= 1e-6.
double pval_f(double f, double df1, double df2);

}  // namespace t2_outlier

namespace tt_outlier {

// out (n x 4, column-major) per row of x (n x p, column-major): the F value,
// c times it, the upper-tail probability of F(p, n - p) at c F (the one an
// outlier list uses), and the tail at F times c and t95(n - p), with
// c = p (n - 1) (n + 1) / (n (n - p)).  A singular covariance writes a line to
// standard output; its rows get probabilities that are not numbers.
void t2_outlier(std::span<const double> x, int n, int p, std::span<double> out);

}  // namespace tt_outlier
