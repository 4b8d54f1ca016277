#pragma once
// Dense inverses of small double matrices (a fit has at most 10 parameters).
//
// Every routine works on the leading n x n block of a column-major
// kalvor::Matrix; a matrix with fewer rows or columns than n throws
// std::invalid_argument.  Status values that name a pivot count from 1
// (info = k: the k-th pivot).  Work arrays live for one call only.
//
// lumatinv and kaiser are the two inverses the post-fit statistics use; the
// others are further inverses of the same shape, plus three helpers that
// reorder a singular value decomposition.

#include <span>

#include "foundations/matrix.h"

namespace matrixinverse {

// Throws std::invalid_argument (naming the routine) when a has fewer than n
// rows or columns.
void require_order(const kalvor::Matrix& a, int n, const char* routine);
// The leading n x n block of a as a matrix of its own (require_order first).
kalvor::Matrix leading_block(const kalvor::Matrix& a, int n, const char* routine);
// [a | I] over the leading n x n block of a (n rows, 2n columns).
kalvor::Matrix augmented(const kalvor::Matrix& a, int n);
// Copies the right half of an augmented matrix g into the leading block of a.
void store_right_half(const kalvor::Matrix& g, kalvor::Matrix& a, int n);
// Exchanges rows r1 and r2 over all columns of b.
void swap_rows(kalvor::Matrix& b, int r1, int r2);

// In-place inverse by LU decomposition with partial pivoting (factor, invert
// the upper factor, then apply the inverse lower factor and the row swaps).
// info = 0: a holds its inverse; info = k > 0: pivot k is exactly zero and a
// is unchanged.  Nothing to do for n < 1.
void lumatinv(int n, kalvor::Matrix& a, int& info);

// Regularised inverse of the symmetric matrix in a(0:n-1, 0:n-1) through a
// one-sided Jacobi orthogonalisation of its columns (Kaiser's method).
// sv holds n positive scale factors (the result is divided by sv(i) sv(j)),
// tol is the ridge added to every eigenvalue (1e-6 in the statistics; tol = 0
// drops columns of norm <= 1e-7, tol < 0 gives a zero result).
// ifault: 0 normal, 1 when n < 1 or a has fewer than n rows or columns
// (nothing done), 2 when all 20 sweeps ran (the result is computed anyway).
void kaiser(kalvor::Matrix& a, int n, std::span<const double> sv, double tol, int& ifault);

// Gauss elimination of [a | I] with partial pivoting.  A pivot that is
// exactly zero writes "b(k,k) = zero: singular matrix" on standard output
// and returns with a unchanged.
void gaussmatinv(kalvor::Matrix& a, int n);

// Crout LU decomposition with partial pivoting, then the inverse from the
// factors.  No singularity test: a zero pivot yields infinite values.
void crout(kalvor::Matrix& a, int n);

// LU decomposition with implicit row scaling and partial pivoting (a zero
// pivot replaced by 1e-20), then the inverse column by column.  A row of
// zeros sets info = 1; the inverse is still written back, then
// nrutil::NrError "nrerror: MATINVERSE: singular matrix" is thrown.
void matinverse(kalvor::Matrix& a, int n, int& info);

// Inverse of a symmetric positive-definite matrix through its Cholesky
// factor.  info = 1 (a unchanged) when a pivot is not positive or the
// determinant's power-of-two exponent passes 31.
void chlsky_chlsoi(kalvor::Matrix& a, int n, int& info);

// LU decomposition without pivoting, then the inverse column by column.
// info = k when pivot k is exactly zero (a unchanged), else 0.
void inverse(kalvor::Matrix& a, int n, int& info);

// Gauss-Jordan with partial pivoting.  A zero pivot throws nrutil::NrError
// "nrerror: InvMatGauss: singular matrix" with a unchanged.
void invmatgauss(kalvor::Matrix& a, int n);

// Gauss-Jordan with full pivoting.  info = 1 for n < 1, info = 2 for a
// singular matrix (a zero pivot, or a pivot column needed twice), else 0.
void my_mat_inv(kalvor::Matrix& a, int n, int& info);

// Exchanges columns i and j (0-based) over the first n rows.
void swapcol(kalvor::Matrix& a, int n, int i, int j);

// Sorts the singular values s(0:n-1) into decreasing order (equal values keep
// their order) and moves the columns of u (m rows) and v (n rows) with them.
void svd_reorder(int m, int n, kalvor::Matrix& u, kalvor::Matrix& v, std::span<double> s);
// The same ordering, done on work copies that are written back.
void svd_sort(kalvor::Matrix& u, int m, int n, kalvor::Matrix& v, std::span<double> s);

}  // namespace matrixinverse
