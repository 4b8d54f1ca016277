#pragma once
// Covariance analysis of the variable-metric least-squares optimiser: the
// Hessian H of the sum of squares (about 2 J'J) becomes the covariance
// 2 s2 H^-1 of the active parameters, with diagonal regularisation when H
// is ill-conditioned, and the standard errors and correlations from it.
// Held parameters (mask 0) get zero rows, columns and standard errors.

#include <span>
#include <vector>

#include "foundations/matrix.h"

namespace va10b_optimizer {

// Smallest pivot magnitude of the inversion.
inline constexpr double pivot_floor = 1.4901161193847656e-8;

// cov (n x n), se (n) from H with the residual variance s2.  Returns 0, or
// nonzero when even the stronger regularisation left a pivot below
// pivot_floor: cov and se are then 0.
int compute_robust_covariance(const kalvor::Matrix& H, std::span<const int> mask, int n, double s2,
                              kalvor::Matrix& cov, std::vector<double>& se);

// Inverts the symmetric matrix in packed row-wise lower-triangle storage
// (entry (i, j), j <= i, 0-based at i(i+1)/2 + j) in place and writes
// cov = 2 s2 inverse in full.  A pivot below pivot_floor in magnitude is
// replaced by pivot_floor with its sign and the result is 1, else 0.
int compute_covariance_matrix(std::vector<double>& packed, int n, double s2, kalvor::Matrix& cov);

// sub = H at the active rows and columns, index = their positions in order.
void extract_active_submatrix(const kalvor::Matrix& H, std::span<const int> mask, int n, kalvor::Matrix& sub,
                              std::vector<int>& index);

// se(i) = sqrt(cov(i, i)) for active i with a positive variance, else 0.
void extract_standard_errors(const kalvor::Matrix& cov, std::span<const int> mask, int n, std::vector<double>& se);

// corr(i, j) = cov(i, j) / (se(i) se(j)) where both se are positive, 0
// elsewhere, 1 on the diagonal of a zero se; se as extract_standard_errors.
void compute_correlation_matrix(const kalvor::Matrix& cov, int n, std::span<const int> mask, kalvor::Matrix& corr,
                                std::vector<double>& se);

}  // namespace va10b_optimizer
