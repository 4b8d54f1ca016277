#pragma once
// Factorised quasi-Newton minimiser of the weighted sum of squares.
//
// va10_mod::va10d minimises the objective va10_mod::mrtfun over the
// parameters active in common_data::pmask, within common_data::pboundlo and
// pboundhi.  The Hessian approximation is held as L D L' factors in packed
// form and corrected by BFGS rank-one modifications; gradients come from
// forward differences, central ones after a failure.  At most three passes,
// each at a halved difference step; a time budget of globals::timemax
// seconds on the run clock's elapsed reading (which it never adds to).
//
// Packed storage of a symmetric n x n matrix: the lower triangle column by
// column (column k holds rows k..n).  In factored form the diagonal places
// hold D and the others the subdiagonal of the unit lower triangular L.
//
// Arrays are 0-based (parameter k is element k-1).  Not reentrant: every
// evaluation rewrites the shared fit data (pfinal, ydf, ysig).

#include <span>

namespace va10_mod {

// Residuals r = y - yfit over rows 1..m of the shared fit data at the
// parameters p (n entries) and their weighted sum of squares f under
// common_data::ndwt (left as it was).  Zero sigmas in common_data::ysig
// become 1 for good; common_data::pfinal takes p and ydf the fitted values.
// More than 10 parameters or 1000 rows throw std::out_of_range.
void mrtfun(int m, int n, std::span<const double> p, std::span<double> r, double& f);

// Exit codes of va10d.
inline constexpr int converged = 1;
inline constexpr int no_descent = 2;
inline constexpr int limit_reached = 3;  // evaluations or step size
inline constexpr int not_converged = 4;

// Minimises from x over m rows.  f: the value of the entry point in (trusted,
// not recomputed), the value of the returned x out.  h (n(n+1)/2 entries):
// mode 2 a matrix to factorise (once), mode 3 its factors, any other mode
// the identity at every pass; the factors come back.  maxfn caps the
// evaluations of a pass.  Returns the lowest in-bounds point evaluated when
// it is lower than the entry value, else the entry x and f.  Held
// parameters never move.  Counts beyond the arrays throw std::out_of_range
// before any work.
void va10d(int m, int n, std::span<double> x, double& f, std::span<double> h, int mode, int maxfn, int& iexit);

}  // namespace va10_mod
