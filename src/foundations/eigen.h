#pragma once
// Eigen solvers for real symmetric matrices (Jacobi rotations and Householder
// with QL) and the principal-component summary of the fit report.
//
// Matrices are column-major kalvor::Matrix; every routine works on the
// leading n x n block, so a matrix may have more rows (a leading dimension)
// than its order.  A matrix with fewer rows or columns than n throws
// std::invalid_argument; output matrices that are too small are resized.

#include <span>

#include "foundations/matrix.h"

namespace eigenvlvc {

// Threshold cyclic Jacobi.  a: symmetric in its leading n x n block (the
// upper triangle is rotated, the lower one only read).  On return the
// diagonal of a holds the eigenvalues in descending order (ties: the later
// position first) and column j of v the eigenvector of the j-th one.  When
// the strictly lower triangle's absolute sum is already at most tol no
// rotation is made and v is the identity.  The threshold starts at that sum
// / n and is divided by n whenever a sweep rotates nothing, until it falls
// below sum / n^2 * 5e-6; the iteration also ends when the threshold is not
// finite or stops decreasing.
void eigenjacobi(kalvor::Matrix& a, kalvor::Matrix& v, int n, double tol);

// Principal components of the symmetric n x n matrix x (its lower triangle
// is read; the caller passes m = n).  Outputs (cleared first): eval the
// eigenvalues in descending order and pct each as a percentage of the sum
// of their magnitudes; evec the eigenvectors (columns), evec2 each column
// divided by its entry of largest magnitude; infl(i, k) the share in percent
// of component k in parameter i's squared loadings.  Eigenvalues and evec
// entries are kept within magnitudes 3.162277660168379e-8 .. 31622776.601683795
// (not-a-number becomes the lower bound).
void eigenvv(int n, int m, const kalvor::Matrix& x, std::span<double> eval, std::span<double> pct,
             kalvor::Matrix& evec, kalvor::Matrix& evec2, kalvor::Matrix& infl);

// Threshold Jacobi on a copy of a with tol as the threshold below which it
// stops.  On return a holds the rotated matrix (eigenvalues on the
// diagonal, unsorted; symmetric) and v the eigenvectors.
void jacobieigen(kalvor::Matrix& a, kalvor::Matrix& v, int n, double tol);

// Largest-pivot Jacobi (threshold max(1e-12, tol * sum of squares / 2)).
// iter: the iteration limit on entry (at most 1000 is used), the number of
// rotations on return (0 when nothing was done).  On return a holds the
// rotated matrix (eigenvalues on the diagonal, unsorted) and v the
// eigenvectors.
void eigenjacob(kalvor::Matrix& a, kalvor::Matrix& v, int n, double tol, int& iter);

// Eigenvalues only: at most 100 Jacobi sweeps in place on the n x n matrix a,
// then its diagonal (the eigenvalues) is sorted into descending order.
void eigen_symm_jacobi(int n, kalvor::Matrix& a);

// The largest-pivot Jacobi iteration shared by eigenjacob and the condition
// indices.  a (n x n, symmetric) is rotated in place; v receives the
// accumulated rotations.  With T the sum of squares of a on entry it stops
// when the off-diagonal squares T - sum(diag^2) fall below h =
// max(1e-12, tol * T / 2), when the largest off-diagonal entry is 0, once
// soft_limit rotations have been made and the strictly lower triangle's
// absolute sum is at most (1 + sqrt(T)) * h, or after hard_limit rotations.
// Returns the number of iterations used as those rules count them.
int largest_pivot_jacobi(kalvor::Matrix& a, kalvor::Matrix& v, int n, double tol, int soft_limit,
                         int hard_limit);

}  // namespace eigenvlvc
