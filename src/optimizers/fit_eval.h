#pragma once
// The model on the shared fit data, as the Gauss-Newton solver and the
// differential evolution evaluate it.

#include <span>

#include "foundations/matrix.h"

namespace fit_eval {

// The weighted sum of squares funct::fun gives for the parameters p (n
// entries) over the first rows data rows of common_data (X columns by
// common_data::nxd, weighting mode common_data::ndwt).  Leaves the fit data
// at p: pfinal = p, ydf = the fitted values, yres = yd - ydf, and
// common_data::ysig as it was.  x receives the X columns used.  With rows < 1
// only pfinal is written and the sum is 0.
double evaluate(int rows, int n, std::span<const double> p, kalvor::Matrix& x);

}  // namespace fit_eval
