#pragma once
// Machine precision of double, measured by arithmetic.

namespace prec_mod {

// The spacing of double at 1 (2^-52 = 2.220446049250313e-16); its
// reciprocal 4503599627370496 when iflag = 1.
double prec(int iflag);

}  // namespace prec_mod
