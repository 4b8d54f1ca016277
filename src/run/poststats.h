#pragma once
// Statistics of a finished fit: standard errors and correlations of the
// parameters, leverages and normalised Studentized residuals of the rows,
// the eigen analysis of the correlations, the runs-up-and-down test of the
// residual sequence, and the two-sided 95% Student t value.
//
// Matrices are column-major kalvor::Matrix; parameter k (1..np) is element
// k-1, data row i element i-1.

#include <array>
#include <span>
#include <vector>

#include "foundations/matrix.h"

namespace sharc_mod {

// Runs-up-and-down test of a sequence of n values (n - 1 successive
// differences).
struct RunsTest {
    int npos = 0;   // positive differences
    int nneg = 0;   // negative differences
    int nzero = 0;  // zero differences
    int lup = 0;    // longest run up, in differences
    int ldown = 0;  // longest run down
    // table[k-1]: runs (up and down) of exactly k differences, k = 1..15;
    // table[15]: runs longer than 15, which are also added into table[14].
    std::array<double, 16> table{};
    // z[k-1]: continuity-corrected z-score of table[k-1] against its
    // expectation; 0 where the variance is not positive.
    std::array<double, 15> z{};
};

void runs_statistic(std::span<const double> r, int n, RunsTest& out);

// Two-sided 95% Student t value for ndf degrees of freedom (ndf < 1 counts as
// 1), found by stepping down a 0.01 grid and rounded to three decimals in
// single precision: 12.711, 4.308, 2.573 (5), 2.233 (10), 2.043 (30).
double tval95(int ndf);

}  // namespace sharc_mod

namespace sharc {

// Standard-error mark of a parameter whose standard error cannot be computed.
inline constexpr double se_unknown = 9999.0;

// Everything stderr_corr hands back.  The matrices are np x np with the
// na x na block of the active parameters (in order) leading; the rest is 0.
struct FitStatistics {
    std::vector<double> se;           // np: standard error, 0 for a held parameter
    kalvor::Matrix work;              // inverse of the balanced, slightly regularised information matrix
    kalvor::Matrix corr;              // correlations of the active estimates
    kalvor::Matrix influence;         // parameter influence of the eigen analysis of corr
    std::vector<double> eigenvalues;  // np: eigenvalues of corr (na of them), descending
    std::vector<double> studentized;  // nd: normalised Studentized residuals within [-5.9, 5.9]
    sharc_mod::RunsTest runs;         // runs test of the residuals
    bool inverse_failed = false;      // J'J singular: standard errors marked se_unknown
};

// Statistics of the fit at p: the Jacobian of the model values (central
// differences, unit weights) at p, then jacobian_statistics.  ycalc receives
// the model values at p; the fit data (common_data) are left at p with the
// weighting mode 0.
void stderr_corr(const kalvor::Matrix& x, std::span<const double> y, std::span<double> ycalc,
                 std::span<const double> sig, int ncol, int nd, std::span<const double> p, int np,
                 std::span<const int> mask, double sse, FitStatistics& out);

// The statistics from a Jacobian jac (nd x na, one column per active
// parameter in order), the residuals r (nd) and the sum of squares sse.  The
// covariance is the inverse of J'J, computed with J'J scaled to unit
// diagonal and without any ridge.  When that scaled matrix is singular to
// working precision (redundant parameters), the active standard errors are
// marked se_unknown, a WARNING line goes to the run log, and the
// correlations, eigen outputs and leverages come from J'J with a ridge added,
// so that they still show which parameters are tied (the identity and zero
// eigen outputs when even that cannot be inverted).
void jacobian_statistics(const kalvor::Matrix& jac, std::span<const double> r, int nd, int np,
                         std::span<const int> mask, double sse, FitStatistics& out);

}  // namespace sharc
