#pragma once
// Spearman's rank correlation and the ranking behind it.

#include <span>

namespace spearcorr_mod {

// Largest sample the routines rank; longer ones give ranks 0 and rho 0.
inline constexpr int max_count = 7500;

// Rank (from 1) of each of x[0..n-1] in r, tied values sharing their average
// rank.  Values that all equal x[0] + 1e-15 (single-precision constant)
// share (n + 1) / 2.  Not-a-number ranks above every number.
void rank(std::span<const double> x, int n, std::span<double> r);

// Spearman's rank correlation of x[0..n-1] and y[0..n-1]; 0 unless
// 2 <= n <= max_count, and magnitudes below 1e-5 become 0.  w is not used.
void spcorr(std::span<const double> x, std::span<const double> y, int n, std::span<const double> w,
            double& rho);

}  // namespace spearcorr_mod
