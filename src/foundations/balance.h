#pragma once
// Balancing of a square matrix before eigen and inversion work.

#include "foundations/matrix.h"

namespace balance_mod {

// Replaces the leading n x n block of a by a diagonally similar matrix whose
// off-diagonal row and column norms are balanced (Parlett-Reinsch, radix 2:
// only powers of two scale, so no rounding is introduced).  An index whose
// row or column sum is not finite is left alone; n < 1 does nothing.
void balance(kalvor::Matrix& a, int n);

}  // namespace balance_mod
