#pragma once
// Condition indices of a symmetric (covariance) matrix: how close the fitted
// parameters come to being redundant.

#include "foundations/matrix.h"

namespace condindex {

// Eigen analysis of the leading n x n block of a (not changed) by
// largest-pivot Jacobi, on a copy divided by its largest finite magnitude
// whose entries are then moved 1e-6 away from zero (zeros upwards) and whose
// diagonal is raised by 1e-12; the table depends only on ratios, so the
// scaling keeps it the same for a matrix of tiny entries.
//
// c receives the (n + 1) x (n + 1) table (resized when smaller):
//   c(0, 0) = 0, c(0, k) = k (the parameter number, for column labels);
//   c(i, 0) = sqrt(lambda_max / lambda_i), the condition index of
//             eigenvalue i (lambda = |diagonal| after the rotations);
//   c(i, k) = the variance-decomposition proportion of parameter k on
//             component i: phi_ki / sum_j phi_kj with
//             phi_kj = V(k, j)^2 / lambda_j, so each column sums to 1.
// Rows 1..n are ordered by ascending condition index (first on ties).
//
// tol (at least 1e-12) sets the convergence threshold max(1e-12, tol * T / 2)
// on the off-diagonal squares (T: sum of squares of the scaled copy).
// maxit: on entry the iteration count after which a nearly diagonal matrix
// may stop (below 51 it is set to 100, also in the caller's variable); on
// return the iterations used (1000 at the cap).  n < 1: maxit = 0 and c
// untouched.
void eigen_cond_index(const kalvor::Matrix& a, kalvor::Matrix& c, int n, double tol, int& maxit);

}  // namespace condindex
