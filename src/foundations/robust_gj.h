#pragma once
// Gauss-Jordan inverse with scaled partial pivoting that reports whether the
// inverse can be trusted, with an optional conditioning step that shifts the
// diagonal of a nearly singular matrix before it is inverted.

#include "foundations/matrix.h"

namespace robust_gj_matinv {

// Inverts the leading n x n block of a in place by Gauss-Jordan elimination
// of [a | I] with row-scaled partial pivoting.  With precondition != 0 the
// block is first replaced by ssor_precondition_matrix's result (relaxation
// factor 1.2), and the inverse is that matrix's inverse.
// ok = 1 when the inverse is trusted: every pivot at least 2^-52 in
// magnitude and the smallest over the largest pivot at least 2^-26.
// ok = 0 with a holding the inverse all the same when only the pivot ratio
// fails; ok = 0 with a as it stood before the elimination (the conditioned
// matrix when asked for) when a row is (nearly) zero or a pivot falls below
// 2^-52 or is not finite.
void robust_gj_mat_inv(kalvor::Matrix& a, int n, int& ok, int precondition);

// Writes into p (resized to n x n when smaller) the matrix to invert in
// place of a: a copy of a whose LU factorisation with partial pivoting is
// used to judge its conditioning.  When a pivot vanishes (at most 2^-52) or
// the estimated reciprocal condition falls below 2^-52, the diagonal of the
// copy is raised by |mean of a's diagonal| * 1.5625000173284136e-10; every
// other matrix is passed on unchanged.  a is not changed.  omega is the
// relaxation factor of the interface (1.2); the shift alone does not use it.
void ssor_precondition_matrix(const kalvor::Matrix& a, kalvor::Matrix& p, int n, double omega);

}  // namespace robust_gj_matinv
