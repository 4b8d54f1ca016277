#pragma once
// Cholesky factorisation a = L L' of a symmetric matrix (its lower triangle
// is read) and the solve with the factor.

#include <optional>
#include <span>

#include "foundations/matrix.h"

namespace cholesky {

// l = the lower factor of a (n x n).  A pivot whose radicand is not above
// floor (NaN included) fails the factorisation (false), unless a
// replacement is given: then the radicand becomes the replacement.
bool factor(const kalvor::Matrix& a, kalvor::Matrix& l, double floor, std::optional<double> replacement = {});

// x = (L L')^-1 x in place.
void solve(const kalvor::Matrix& l, std::span<double> x);

}  // namespace cholesky
