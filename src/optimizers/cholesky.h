#pragma once
// Cholesky factorisation a = L L' of a symmetric matrix (its lower triangle
// is read) and the solve with the factor.

#include <span>

#include "foundations/matrix.h"

namespace cholesky {

// l = the lower factor of a (n x n); false when a pivot before its square
// root is not above floor (NaN included).
bool factor(const kalvor::Matrix& a, kalvor::Matrix& l, double floor);

// x = (L L')^-1 x in place.
void solve(const kalvor::Matrix& l, std::span<double> x);

}  // namespace cholesky
