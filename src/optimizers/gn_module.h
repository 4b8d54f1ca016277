#pragma once
// Entry of the trust-region Gauss-Newton solver (iteration: gn_main::gnm).

#include <span>

namespace gn_module {

// Runs the solver from p (n parameters, m data rows) on the shared fit data
// and keeps the better of start and result: p and ssq become the result and
// the weighted sum of squares funct::fun gives there when that is below the
// caller's ssq; otherwise (and for a NaN result, or when the iteration ended
// at the start) p and ssq stay as they came.
// info: the iteration's status (gn_main::status_*).
void gn_main(int m, int n, std::span<double> p, double& ssq, int& info);

}  // namespace gn_module
